#include "apiclient.h"
#include "logindialog.h"
#include "testsupport.h"

#include <QDialogButtonBox>
#include <QHostInfo>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPushButton>

using standin::Fault;
using testsupport::child;
Q_DECLARE_METATYPE(standin::Fault)

class TestLoginDialog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { server.reset(); }

    void successHandsOverClientAndUrl_data();
    void successHandsOverClientAndUrl();
    void failureKeepsTheDialogOpen_data();
    void failureKeepsTheDialogOpen();

private:
    // Fills the fields and presses OK while the dialog runs; the text of a message box that comes up is kept and
    // the box closed, and a dialog still open after that is cancelled. The dialog's result.
    int run(LoginDialog& dialog, const QString& url, const QString& user, const QString& password);
    testsupport::Standin server;
    QString shown; // title|text of the message box, and what the fields held after it
};

int TestLoginDialog::run(LoginDialog& dialog, const QString& url, const QString& user, const QString& password)
{
    shown.clear();
    testsupport::whenModal([&](QWidget* modal) {
        if (!url.isNull())
            child<QLineEdit>(modal, "urlEdit")->setText(url);
        child<QLineEdit>(modal, "userEdit")->setText(user);
        child<QLineEdit>(modal, "passwordEdit")->setText(password);
        QPointer<QTimer> boxWatcher = testsupport::whenMessageBox([&](QMessageBox* message) {
            shown = message->windowTitle() + QLatin1Char('|') + message->text();
            message->accept();
        });
        QTest::mouseClick(modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        delete boxWatcher;
        if (dialog.result() != QDialog::Accepted) {
            shown += QStringLiteral("|%1|%2").arg(
                child<QLineEdit>(modal, "userEdit")->text(), child<QLineEdit>(modal, "passwordEdit")->text());
            dialog.reject();
        }
    });
    return dialog.exec();
}

void TestLoginDialog::successHandsOverClientAndUrl_data()
{
    QTest::addColumn<QString>("url"); // %1: the stand-in's address
    QTest::addColumn<bool>("locked");
    // clang-format off
    QTest::newRow("spaces and slashes") << "  %1/// " << false;
    QTest::newRow("locked address, still trimmed") << "%1// " << true;
    // A name and password in the address would end up in the settings file, titles and messages.
    QTest::newRow("credentials in the address dropped") << "%1/" << false;
    // clang-format on
}

void TestLoginDialog::successHandsOverClientAndUrl()
{
    QFETCH(QString, url);
    QFETCH(bool, locked);
    QString address = url.arg(server.url());
    if (QByteArray(QTest::currentDataTag()).startsWith("credentials"))
        address.replace(QStringLiteral("http://"), QStringLiteral("http://bob:hemligt@"));
    LoginDialog dialog(nullptr, locked ? address : QString(), locked);
    QCOMPARE(child<QLineEdit>(&dialog, "urlEdit")->isReadOnly(), locked);
    QCOMPARE(run(dialog, locked ? QString() : address, QStringLiteral(" operator "), QStringLiteral("operator")),
        int(QDialog::Accepted));
    QCOMPARE(dialog.url, server.url());
    QCOMPARE(dialog.client->baseUrl(), server.url());
    const standin::RecordedRequest login = server.requests().first();
    QVERIFY(!login.hasHeader("authorization"));
    QCOMPARE(
        QJsonDocument::fromJson(login.body)[QLatin1String("client")].toString(), QHostInfo::localHostName().left(60));
    QCOMPARE(
        dialog.client->me()[QLatin1String("user")][QLatin1String("username")].toString(), QStringLiteral("operator"));
}

void TestLoginDialog::failureKeepsTheDialogOpen_data()
{
    QTest::addColumn<QString>("url"); // empty: the stand-in; "-": left as the dialog fills it in
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("shown");
    const QString failed = QStringLiteral("Inloggningen misslyckades|");
    const QString empty = QStringLiteral("Norv|Fyll i server, användarnamn och lösenord.");
    // clang-format off
    QTest::newRow("user of spaces") << "" << "   " << "p" << Fault() << empty;
    QTest::newRow("no password") << "" << "u" << "" << Fault() << empty;
    QTest::newRow("only slashes") << " /// " << "u" << "p" << Fault() << empty;
    QTest::newRow("password of spaces, sent as typed") << "" << "admin" << "   " << Fault() << failed + "Fel användarnamn eller lösenord";
    QTest::newRow("answer without token") << "" << "admin" << "admin" << Fault::raw(200, R"({"user":{}})") << failed + "Servern svarade utan token.";
    QTest::newRow("pre-filled address only") << "-" << "admin" << "admin" << Fault() << failed + "Kan inte nå servern: okänd värd";
    // clang-format on
}

void TestLoginDialog::failureKeepsTheDialogOpen()
{
    QFETCH(QString, url);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(Fault, fault);
    QFETCH(QString, shown);
    if (fault.answer)
        server.setFault(QStringLiteral("/api/auth/login"), fault);
    LoginDialog dialog;
    QCOMPARE(child<QLineEdit>(&dialog, "urlEdit")->text(), QStringLiteral("https://"));
    QCOMPARE(run(dialog,
                 url == QLatin1String("-") ? QString()
                     : url.isEmpty()       ? server.url()
                                           : url,
                 user, password),
        int(QDialog::Rejected));
    QCOMPARE(this->shown, shown + QStringLiteral("|%1|%2").arg(user, password));
    QVERIFY(!dialog.client);
    if (shown.endsWith(QLatin1String("lösenord")))
        QCOMPARE(
            QJsonDocument::fromJson(server.requests().first().body)[QLatin1String("password")].toString(), password);
}

NORV_TEST_MAIN(TestLoginDialog)
#include "tst_logindialog.moc"
