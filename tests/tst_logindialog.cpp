#include "apiclient.h"
#include "logindialog.h"
#include "standinserver.h"
#include "testsupport.h"

#include <QDialogButtonBox>
#include <QHostInfo>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

using standin::Fault;
using testsupport::child;

namespace {

struct Shown {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

} // namespace

class TestLoginDialog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(server.listen()); }
    void init()
    {
        server.clearFaults();
        server.clearRequests();
    }

    void layoutAndDefaults();
    void successHandsOverClientAndUrl();
    void emptyFields_data();
    void emptyFields();
    void failingLoginKeepsDialogOpen_data();
    void failingLoginKeepsDialogOpen();
    void lockedUrlIsStillTrimmed();
    void credentialsInTheAddressAreDropped();

private:
    // Fills the fields and presses OK while the dialog runs; a message box that comes up is read and closed.
    // Returns the dialog's result.
    int run(LoginDialog& dialog, const QString& url, const QString& user, const QString& password, Shown* shown);
    standin::StandinServer server;
};

int TestLoginDialog::run(
    LoginDialog& dialog, const QString& url, const QString& user, const QString& password, Shown* shown)
{
    bool boxSeen = false;
    testsupport::whenModal([&](QWidget* modal) {
        if (!url.isNull())
            child<QLineEdit>(modal, "urlEdit")->setText(url);
        child<QLineEdit>(modal, "userEdit")->setText(user);
        child<QLineEdit>(modal, "passwordEdit")->setText(password);
        // Whatever the OK press brings up is handled while OK's click is still being processed.
        QPointer<QTimer> boxWatcher = testsupport::whenMessageBox([&](QMessageBox* message) {
            *shown = {message->windowTitle(), message->text(), message->icon()};
            boxSeen = true;
            message->accept();
        });
        QTest::mouseClick(modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        delete boxWatcher;
        if (boxSeen || dialog.result() != QDialog::Accepted) {
            // Still open after a failure: what the user typed is kept.
            shown->text += QStringLiteral("|%1|%2").arg(
                child<QLineEdit>(modal, "userEdit")->text(), child<QLineEdit>(modal, "passwordEdit")->text());
            dialog.reject();
        }
    });
    return dialog.exec();
}

void TestLoginDialog::layoutAndDefaults()
{
    LoginDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Logga in – Norv"));
    QCOMPARE(child<QLineEdit>(&dialog, "urlEdit")->text(), QStringLiteral("https://"));
    QVERIFY(!child<QLineEdit>(&dialog, "urlEdit")->isReadOnly());
    QCOMPARE(child<QLineEdit>(&dialog, "passwordEdit")->echoMode(), QLineEdit::Password);
    QCOMPARE(dialog.focusWidget(), child<QLineEdit>(&dialog, "userEdit"));
    QVERIFY(!dialog.client);
}

void TestLoginDialog::successHandsOverClientAndUrl()
{
    LoginDialog dialog;
    Shown shown;
    const int result = run(dialog, QStringLiteral("  %1/// ").arg(server.url()), QStringLiteral(" operator "),
        QStringLiteral("operator"), &shown);
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(shown.title, QString());
    QCOMPARE(dialog.url, server.url());
    QVERIFY(dialog.client);
    QVERIFY(!dialog.client->token().isEmpty());
    QCOMPARE(dialog.client->baseUrl(), server.url());
    const QJsonObject body = QJsonDocument::fromJson(server.requests().first().body).object();
    QCOMPARE(body.value(QLatin1String("username")).toString(), QStringLiteral("operator"));
    QCOMPARE(body.value(QLatin1String("client")).toString(), QHostInfo::localHostName().left(60));
    // The client handed over is logged in.
    QCOMPARE(
        dialog.client->me()[QLatin1String("user")][QLatin1String("username")].toString(), QStringLiteral("operator"));
}

void TestLoginDialog::emptyFields_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    // clang-format off
    QTest::newRow("user of spaces") << "http://x" << "   " << "p";
    QTest::newRow("no password") << "http://x" << "u" << "";
    QTest::newRow("only slashes") << " /// " << "u" << "p";
    // clang-format on
}

void TestLoginDialog::emptyFields()
{
    QFETCH(QString, url);
    QFETCH(QString, user);
    QFETCH(QString, password);
    LoginDialog dialog;
    Shown shown;
    QCOMPARE(run(dialog, url, user, password, &shown), int(QDialog::Rejected));
    QCOMPARE(shown.title, QStringLiteral("Norv"));
    QCOMPARE(shown.icon, QMessageBox::Warning);
    QCOMPARE(shown.text, QStringLiteral("Fyll i server, användarnamn och lösenord.|%1|%2").arg(user, password));
    QVERIFY(server.requests().isEmpty());
    QVERIFY(!dialog.client);
}

void TestLoginDialog::failingLoginKeepsDialogOpen_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    // clang-format off
    QTest::newRow("wrong password") << "wrong" << "fel" << "Fel användarnamn eller lösenord";
    QTest::newRow("answer without token") << "no token" << "admin" << "Servern svarade utan token.";
    QTest::newRow("html error page") << "html" << "admin" << "HTTP 502";
    QTest::newRow("password of spaces sent as typed") << "wrong" << "   " << "Fel användarnamn eller lösenord";
    QTest::newRow("pre-filled address only") << "https" << "admin" << "Kan inte nå servern: ";
    // clang-format on
}

void TestLoginDialog::failingLoginKeepsDialogOpen()
{
    QFETCH(QString, situation);
    QFETCH(QString, password);
    QFETCH(QString, message);
    if (situation == QLatin1String("no token"))
        server.setFault(QStringLiteral("/api/auth/login"), Fault::raw(200, R"({"user":{"username":"admin"}})"));
    else if (situation == QLatin1String("html"))
        server.setFault(QStringLiteral("/api/auth/login"), Fault::raw(502, "<html>Bad gateway</html>", "text/html"));
    LoginDialog dialog;
    Shown shown;
    const QString url = situation == QLatin1String("https") ? QString() : server.url();
    QCOMPARE(run(dialog, url, QStringLiteral("admin"), password, &shown), int(QDialog::Rejected));
    QCOMPARE(shown.title, QStringLiteral("Inloggningen misslyckades"));
    QCOMPARE(shown.icon, QMessageBox::Critical);
    QVERIFY2(shown.text.startsWith(message), qPrintable(shown.text));
    QVERIFY(shown.text.endsWith(QStringLiteral("|admin|%1").arg(password)));
    QVERIFY(!dialog.client);
    if (situation == QLatin1String("wrong"))
        QCOMPARE(
            QJsonDocument::fromJson(server.requests().first().body)[QLatin1String("password")].toString(), password);
}

void TestLoginDialog::lockedUrlIsStillTrimmed()
{
    LoginDialog dialog(nullptr, server.url() + QStringLiteral("// "), true);
    QVERIFY(child<QLineEdit>(&dialog, "urlEdit")->isReadOnly());
    QCOMPARE(child<QLineEdit>(&dialog, "urlEdit")->text(), server.url() + QStringLiteral("// "));
    Shown shown;
    QCOMPARE(
        run(dialog, QString(), QStringLiteral("viewer"), QStringLiteral("viewer"), &shown), int(QDialog::Accepted));
    QCOMPARE(dialog.url, server.url());
    QCOMPARE(server.requests().first().path, QStringLiteral("/api/auth/login"));
}

// A password typed into the address would end up in the settings file, the window title and messages.
void TestLoginDialog::credentialsInTheAddressAreDropped()
{
    LoginDialog dialog;
    Shown shown;
    const QString url = server.url().replace(QStringLiteral("http://"), QStringLiteral("http://bob:hemligt@"));
    QCOMPARE(run(dialog, url + QStringLiteral("/"), QStringLiteral("admin"), QStringLiteral("admin"), &shown),
        int(QDialog::Accepted));
    QCOMPARE(dialog.url, server.url());
    QCOMPARE(dialog.client->baseUrl(), server.url());
    QVERIFY(!server.requests().first().hasHeader("authorization"));
}

NORV_TEST_MAIN(TestLoginDialog)
#include "tst_logindialog.moc"
