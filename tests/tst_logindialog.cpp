// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/dialogs/logindialog.h"
#include "net/apiclient.h"
#include "testsupport.h"

using standin::Fault;
using testsupport::child;
Q_DECLARE_METATYPE(standin::Fault)

class TestLoginDialog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { server.reset(); }

    void successHandsOverClientAndUrl_data()
    {
        // In the typed address, %1 is the stand-in's host and port.
        testsupport::columns<QString, bool>("typed", "locked");
        QTest::newRow("spaces and slashes") << "  http://%1/// " << false;
        QTest::newRow("locked address, still trimmed") << "http://%1// " << true;
        // A name and password in the address would end up in the settings file, titles and messages.
        QTest::newRow("credentials in the address dropped") << "http://bob:hemligt@%1/" << false;
    }
    void successHandsOverClientAndUrl()
    {
        QFETCH(bool, locked);
        const QString address = testsupport::fetch<QString>("typed").arg(QUrl(server.url()).authority());
        LoginDialog dialog(nullptr, locked ? address : QString(), locked);
        QCOMPARE(child<QLineEdit>(&dialog, "urlEdit")->isReadOnly(), locked);
        QCOMPARE(run(dialog, locked ? QString() : address, QStringLiteral(" operator "), QStringLiteral("operator")),
            int(QDialog::Accepted));
        QCOMPARE(dialog.url, server.url());
        QCOMPARE(dialog.client->baseUrl(), server.url());
        QVERIFY(!server.requests().first().hasHeader("authorization")); // the login itself carries no token
        QCOMPARE(dialog.client->me()[QLatin1String("user")][QLatin1String("username")].toString(),
            QStringLiteral("operator"));
    }

    void failureKeepsTheDialogOpen_data()
    {
        // In url, %1 is the stand-in; a null url is left as the dialog fills it in.
        testsupport::columns<QString, QString, QString, Fault, QString>("url", "user", "password", "fault", "shown");
        const QString failed = QStringLiteral("Inloggningen misslyckades|");
        const QString empty = QStringLiteral("Norv|Fyll i server, användarnamn och lösenord.");
        // clang-format off
        QTest::newRow("user of spaces") << "%1" << "   " << "p" << Fault() << empty;
        QTest::newRow("only slashes") << " /// " << "u" << "p" << Fault() << empty;
        QTest::newRow("password of spaces, sent as typed") << "%1" << "admin" << "   " << Fault() << failed + "Fel användarnamn eller lösenord";
        QTest::newRow("answer without token") << "%1" << "admin" << "admin" << Fault::raw(200, R"({"user":{}})") << failed + "Servern svarade utan token.";
        QTest::newRow("pre-filled address only") << QString() << "admin" << "admin" << Fault() << failed + "Kan inte nå servern: okänd värd";
        // clang-format on
    }
    // The message box tells why, and the fields keep what was typed.
    void failureKeepsTheDialogOpen()
    {
        QFETCH(QString, url);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, shown);
        QFETCH(Fault, fault);
        server.setFault(QStringLiteral("/api/auth/login"), fault); // the default one changes nothing
        LoginDialog dialog(nullptr, QString(), false);
        QCOMPARE(run(dialog, url.isNull() ? url : url.arg(server.url()), user, password), int(QDialog::Rejected));
        QCOMPARE(this->shown, shown + QStringLiteral("|%1|%2").arg(user, password));
        QVERIFY(!dialog.client);
        for (const standin::RecordedRequest& login : server.requests())
            QCOMPARE(QJsonDocument::fromJson(login.body)[QLatin1String("password")].toString(), password);
    }

private:
    // Fills the fields and presses OK while the dialog runs; the text of a message box that comes up is kept and
    // the box closed, and a dialog still open after that is cancelled. The dialog's result.
    int run(LoginDialog& dialog, const QString& url, const QString& user, const QString& password)
    {
        shown.clear();
        testsupport::whenModal([&](QWidget* modal) {
            QPointer<QTimer> boxWatcher = testsupport::whenMessageBox([&](QMessageBox* message) {
                shown = message->windowTitle() + QLatin1Char('|') + message->text();
                message->accept();
            });
            testsupport::logIn(modal, url, user, password);
            delete boxWatcher;
            if (dialog.result() != QDialog::Accepted) {
                shown += QStringLiteral("|%1|%2").arg(
                    child<QLineEdit>(modal, "userEdit")->text(), child<QLineEdit>(modal, "passwordEdit")->text());
                dialog.reject();
            }
        });
        return dialog.exec();
    }
    testsupport::Standin server;
    QString shown; // title|text of the message box, and what the fields held after it
};

NORV_TEST_MAIN(TestLoginDialog)
#include "tst_logindialog.moc"
