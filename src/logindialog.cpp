#include "logindialog.h"

#include "apiclient.h"
#include "settings.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QUrl>

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
    try {
        attempt->login(user, password, clientName);
    } catch (const ApiError& e) {
        QMessageBox::critical(this, QStringLiteral("Inloggningen misslyckades"), e.message);
        return;
    }
    if (attempt->token().isEmpty()) {
        QMessageBox::critical(
            this, QStringLiteral("Inloggningen misslyckades"), QStringLiteral("Servern svarade utan token."));
        return;
    }
    url = address;
    client = std::move(attempt);
    accept();
}
