// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QSet>
#include <QString>

// Tells the user, once per server version and server tab, that the server runs another version than the client,
// and offers the download page. Owned by its server view, which calls checkVersion on every poll.
class VersionNotice : public QMessageBox {
    Q_OBJECT
public:
    explicit VersionNotice(QWidget* parent);

    void checkVersion(const QString& serverVersion);

    // The server's display label, written by the owning view.
    QString serverLabel;

private:
    QString clientVersion;
    QString serverVersion;
    QSet<QString> shownVersions;
};
