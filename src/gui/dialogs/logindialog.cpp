// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/dialogs/logindialog.h"

#include "core/settings.h"
#include "net/apiclient.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace {

// Shows a certificate the system does not trust, and whether the operator trusts it. "Avbryt" is the default.
bool askToTrust(QWidget* parent, const QString& url, const CertificateError& error, const QString& trustedBefore)
{
    const QSslCertificate& c = error.certificate;
    auto names = [](const QStringList& list) {
        return list.isEmpty() ? QStringLiteral("?") : list.join(QStringLiteral(", "));
    };
    QString text = QStringLiteral("Servern visar ett certifikat som datorn inte litar på: %1.\n\n")
                       .arg(error.reasons.join(QStringLiteral(", ")));
    text += QStringLiteral("Adress: %1\nUtfärdat till: %2\nUtfärdat av: %3\nGiltigt: %4 – %5\nSHA-256: %6")
                .arg(url, names(c.subjectInfo(QSslCertificate::CommonName)),
                    names(c.issuerInfo(QSslCertificate::CommonName)),
                    c.effectiveDate().toLocalTime().toString(QStringLiteral("yyyy-MM-dd")),
                    c.expiryDate().toLocalTime().toString(QStringLiteral("yyyy-MM-dd")),
                    displayedFingerprint(certificateSha256(c)));
    if (!trustedBefore.isEmpty())
        text += QStringLiteral("\n\nTidigare betrott certifikat: %1").arg(displayedFingerprint(trustedBefore));
    text += QStringLiteral("\n\nLita bara på certifikatet om du vet att det är serverns eget.");
    QMessageBox box(
        QMessageBox::Warning, QStringLiteral("Okänt certifikat – Norv"), text, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    QPushButton* trust = box.addButton(QStringLiteral("Lita på certifikatet"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Avbryt"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == trust;
}

} // namespace

LoginDialog::LoginDialog(QWidget* parent, const QString& url, bool lockUrl)
    : QDialog(parent)
    , urlEdit(new QLineEdit(url.isEmpty() ? QStringLiteral("https://") : url, this))
    , userEdit(new QLineEdit(this))
    , passwordEdit(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Logga in – Norv"));
    urlEdit->setObjectName(QStringLiteral("urlEdit"));
    userEdit->setObjectName(QStringLiteral("userEdit"));
    passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
    urlEdit->setReadOnly(lockUrl);
    passwordEdit->setEchoMode(QLineEdit::Password);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* form = new QFormLayout(this);
    form->addRow(new QLabel(QStringLiteral("Anslut till Norv-servern och logga in."), this));
    form->addRow(QStringLiteral("Server-URL"), urlEdit);
    form->addRow(QStringLiteral("Användarnamn"), userEdit);
    form->addRow(QStringLiteral("Lösenord"), passwordEdit);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &LoginDialog::attemptLogin);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    userEdit->setFocus();
}

LoginDialog::~LoginDialog() = default;

void LoginDialog::attemptLogin()
{
    QString address = urlEdit->text().trimmed();
    // A name and password typed into the address would be stored in the settings file and shown in titles and
    // messages; the login uses the fields below, so they are dropped from the address.
    const QUrl typed(address, QUrl::TolerantMode);
    if (!typed.userInfo().isEmpty())
        address = typed.adjusted(QUrl::RemoveUserInfo).toString();
    address = settings::stripTrailingSlashes(address);
    const QString user = userEdit->text().trimmed();
    const QString password = passwordEdit->text();
    if (address.isEmpty() || user.isEmpty() || password.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Norv"), QStringLiteral("Fyll i server, användarnamn och lösenord."));
        return;
    }

    auto attempt = std::make_unique<ApiClient>(address, QString());
    const QString clientName = QHostInfo::localHostName().left(60);
    for (;;) {
        try {
            attempt->login(user, password, clientName);
            break;
        } catch (const CertificateError& e) {
            // The handshake failed before anything was sent. A certificate that is merely untrusted may be
            // trusted, for this server only, by an explicit choice; then the login is tried again with it.
            const QString trusted = ApiClient::pinnedCertificate(address);
            if (!e.trustable || !askToTrust(this, address, e, trusted)) {
                if (!e.trustable)
                    QMessageBox::critical(this, QStringLiteral("Inloggningen misslyckades"), e.message);
                return;
            }
            if (!pinBefore)
                pinBefore = trusted;
            ApiClient::pinCertificate(address, certificateSha256(e.certificate));
        } catch (const ApiError& e) {
            QMessageBox::critical(this, QStringLiteral("Inloggningen misslyckades"), e.message);
            return;
        }
    }
    if (attempt->token().isEmpty()) {
        QMessageBox::critical(
            this, QStringLiteral("Inloggningen misslyckades"), QStringLiteral("Servern svarade utan token."));
        return;
    }
    url = address;
    certSha256 = ApiClient::pinnedCertificate(address);
    client = std::move(attempt);
    accept();
}

void LoginDialog::done(int result)
{
    // Trust given in a login that did not succeed is not kept.
    if (result != QDialog::Accepted && pinBefore)
        ApiClient::pinCertificate(
            settings::stripTrailingSlashes(urlEdit->text().trimmed()), *std::exchange(pinBefore, {}));
    QDialog::done(result);
}
