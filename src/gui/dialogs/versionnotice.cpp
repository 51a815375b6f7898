// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/dialogs/versionnotice.h"

#include "buildconfig.h"
#include "core/version.h"

#include <QDesktopServices>
#include <QPushButton>
#include <QUrl>

namespace {

// The message names this page's host.
const QUrl DownloadPage(QStringLiteral(NORV_DOWNLOAD_URL));

} // namespace

VersionNotice::VersionNotice(QWidget* parent)
    : QMessageBox(parent)
    , clientVersion(appversion::clientVersion().trimmed())
{
    setWindowTitle(QStringLiteral("Olika versioner av Norv"));
    setIcon(QMessageBox::Information);
    setTextFormat(Qt::PlainText);
    QPushButton* download = addButton(QStringLiteral("Öppna nedladdningssidan"), QMessageBox::AcceptRole);
    QPushButton* keep = addButton(QStringLiteral("Fortsätt"), QMessageBox::RejectRole);
    setDefaultButton(keep);
    setEscapeButton(keep);
    connect(download, &QPushButton::clicked, this, [] { QDesktopServices::openUrl(DownloadPage); });
}

void VersionNotice::checkVersion(const QString& version)
{
    const QString trimmed = version.trimmed();
    if (trimmed.isEmpty() || trimmed == QLatin1String("?"))
        return;
    if (clientVersion.isEmpty() || clientVersion == QLatin1String("?"))
        return;
    if (trimmed != serverVersion)
        hide(); // a notice still open for the server's previous version is out of date
    serverVersion = trimmed;
    if (serverVersion == clientVersion || shownVersions.contains(serverVersion))
        return;
    shownVersions.insert(serverVersion);

    const QString server
        = serverLabel.isEmpty() ? QStringLiteral("servern") : QStringLiteral("servern %1").arg(serverLabel);
    setText(QStringLiteral("GUI-klienten har version %1 och %2 har version %3.\n\nVersionerna skiljer sig åt. "
                           "Vill du öppna %4 för att hämta en uppdaterad klient?\n\nDu kan också fortsätta med den "
                           "nuvarande klienten.")
                .arg(clientVersion, server, serverVersion, DownloadPage.host()));
    open();
}
