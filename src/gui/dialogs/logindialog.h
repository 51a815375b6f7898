// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>

#include <memory>
#include <optional>

class ApiClient;
class QLineEdit;

// Asks for a server URL, a user name and a password and logs in. On success the caller takes over the logged-in
// client and the normalised URL; the dialog itself stores nothing.
class LoginDialog : public QDialog {
    Q_OBJECT
public:
    LoginDialog(QWidget* parent, const QString& url, bool lockUrl);
    ~LoginDialog() override;

    // Results after exec() returned Accepted.
    std::unique_ptr<ApiClient> client;
    QString url;
    QString certSha256; // the certificate the operator trusts for the server, or none; for the caller to store

private:
    void attemptLogin();
    void done(int result) override;

    QLineEdit* urlEdit;
    QLineEdit* userEdit;
    QLineEdit* passwordEdit;
    std::optional<QString> pinBefore; // the trust in force before this dialog changed it, restored unless it logs in
};
