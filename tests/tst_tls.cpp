// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/dialogs/logindialog.h"
#include "gui/mainwindow.h"
#include "gui/serverview.h"
#include "net/apiclient.h"
#include "testsupport.h"

#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>

using testsupport::child;

namespace {

// Certificates made with openssl for this run: two self-signed ones for the stand-in's address ("a", "b", each with
// its SHA-256 fingerprint as openssl prints it), an expired one, and a private authority ("ca") with a certificate it
// signed for norv.test and the address ("leaf").
const char* const MakeCertificates = R"(set -e
self() { openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=$1" \
    -addext subjectAltName=IP:127.0.0.1 -keyout $1.key -out $1.pem
    openssl x509 -in $1.pem -noout -fingerprint -sha256 >$1.sha; }
self a; self b; self ca
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj /CN=norv.test -CA ca.pem -CAkey ca.key \
    -addext subjectAltName=DNS:norv.test,IP:127.0.0.1 -keyout leaf.key -out leaf.pem
printf '[ca]\ndefault_ca=d\n[d]\ndatabase=index\nnew_certs_dir=.\nserial=serial\ndefault_md=sha256\npolicy=p\n'\
'copy_extensions=copy\n[p]\ncommonName=supplied\n' >ca.cnf
: >index; echo 1000 >serial
openssl req -new -newkey rsa:2048 -nodes -subj /CN=expired -addext subjectAltName=IP:127.0.0.1 -keyout expired.key \
    -out expired.csr
openssl ca -batch -notext -config ca.cnf -selfsign -keyfile expired.key -in expired.csr -startdate 20200101000000Z \
    -enddate 20200201000000Z -out expired.pem
)";

// A proxy for HTTPS as a corporate one works: CONNECT host:port, then bytes both ways. Every name leads to the
// stand-in; the targets it was asked for are kept.
class TunnelProxy : public QTcpServer {
public:
    explicit TunnelProxy(quint16 target)
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this, target] {
            QTcpSocket* in = nextPendingConnection();
            connect(in, &QTcpSocket::readyRead, this, [this, in, target] {
                if (in->property("out").isValid() || !in->canReadLine())
                    return;
                asked.append(QString::fromLatin1(in->readLine().split(' ').value(1)));
                while (in->readLine() != "\r\n") { }
                auto* out = new QTcpSocket(in);
                in->setProperty("out", QVariant::fromValue<QObject*>(out));
                connect(out, &QTcpSocket::connected, in,
                    [in] { in->write("HTTP/1.1 200 Connection established\r\n\r\n"); });
                connect(out, &QTcpSocket::readyRead, in, [in, out] { in->write(out->readAll()); });
                connect(in, &QTcpSocket::readyRead, out, [in, out] { out->write(in->readAll()); });
                connect(out, &QTcpSocket::disconnected, in, &QTcpSocket::disconnectFromHost);
                out->connectToHost(QHostAddress::LocalHost, target);
            });
        });
    }
    QStringList asked;
};

} // namespace

class TestTls : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        testsupport::shortTimes();
        QProcess openssl;
        openssl.setWorkingDirectory(certs.path());
        openssl.start(QStringLiteral("sh"), {QStringLiteral("-c"), QString::fromLatin1(MakeCertificates)});
        QVERIFY2(openssl.waitForFinished(60000) && openssl.exitCode() == 0, openssl.readAllStandardError().constData());
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(QSslCertificate::fromData(file(QStringLiteral("ca.pem"))));
        QSslConfiguration::setDefaultConfiguration(tls);
        port = server.port();
    }
    void init()
    {
        testsupport::resetForTabs();
        serve(QStringLiteral("a"));
    }
    void cleanup()
    {
        for (QDialog* dialog : testsupport::topLevels<QDialog>())
            dialog->close();
        ApiClient::pinCertificate(server.url(), QString());
    }

    void loginMeetsACertificate_data()
    {
        // The operator's answer when asked whether to trust; the start of what was shown (empty: nothing).
        testsupport::columns<QString, bool, QString, bool, bool>("certificate", "trust", "shown", "loggedIn", "pinned");
        // clang-format off
        QTest::newRow("self-signed, cancelled") << "a" << false << "Okänt certifikat – Norv|" << false << false;
        QTest::newRow("self-signed, trusted") << "a" << true << "Okänt certifikat – Norv|" << true << true;
        QTest::newRow("expired is never offered") << "expired" << true << "Inloggningen misslyckades|" << false << false;
        QTest::newRow("signed by a trusted authority") << "leaf" << true << "" << true << false;
        // clang-format on
    }
    void loginMeetsACertificate()
    {
        QFETCH(QString, certificate);
        QFETCH(bool, trust);
        QFETCH(QString, shown);
        serve(certificate);
        LoginDialog dialog(nullptr, QString(), false);
        testsupport::whenModal([&](QWidget* modal) { logIn(modal, server.url(), trust); });
        QTEST(dialog.exec() == QDialog::Accepted, "loggedIn");
        QVERIFY2(shown.isEmpty() ? asked.isEmpty() : asked.startsWith(shown), qPrintable(asked));
        if (shown.startsWith(QStringLiteral("Okänt"))) {
            QVERIFY2(asked.contains(QStringLiteral("SHA-256: ") + fingerprint(certificate)), qPrintable(asked));
            QVERIFY(asked.contains(QStringLiteral("Adress: ") + server.url()));
            QVERIFY(asked.contains(QStringLiteral("självsignerat")));
            QVERIFY(asked.endsWith(QStringLiteral("|Avbryt")));
        } else if (!shown.isEmpty()) {
            QVERIFY2(asked.contains(QStringLiteral("certifikatet har gått ut")), qPrintable(asked));
        }
        QCOMPARE(dialog.certSha256, testsupport::fetch<bool>("pinned") ? pin(certificate) : QString());
        QCOMPARE(ApiClient::pinnedCertificate(server.url()), dialog.certSha256);
        // The login itself goes out only over a handshake the client accepted.
        QCOMPARE(server.requests().size(), qsizetype(dialog.result() == QDialog::Accepted ? 1 : 0));
    }

    // Trusted once through "Lägg till server…": the pin is stored, and the poller, an action and a chart use it. A
    // server that later shows another certificate at that address hears no token; the tab says so, and only a new
    // explicit trust replaces the pin.
    void trustedCertificateForEveryConnection()
    {
        MainWindow window;
        testsupport::whenModal([&](QWidget* modal) { logIn(modal, server.url(), true); });
        const std::optional<settings::ServerEntry> added = window.addServer();
        QVERIFY(added);
        const QString pinA = pin(QStringLiteral("a"));
        QVERIFY(testsupport::readFile(testsupport::iniPath()).contains("cert_sha256=" + pinA.toLatin1()));
        ServerView* view = window.view(added->id);
        QTRY_VERIFY_WITH_TIMEOUT(view->hasStatus, 10000);

        serve(QStringLiteral("b"));
        view->refreshNow();
        const QString changed = QStringLiteral("Certifikatet för %1 har ändrats.").arg(view->entry.label());
        QTRY_COMPARE(child<QLabel>(view, "bannerLabel")->text(), changed);
        QCOMPARE(view->status, QStringLiteral("unknown"));

        testsupport::whenModal([&](QWidget* modal) { logIn(modal, QString(), false); });
        window.relogin(added->id);
        QVERIFY(asked.contains(fingerprint(QStringLiteral("b"))));
        QVERIFY(asked.contains(QStringLiteral("Tidigare betrott certifikat: ") + fingerprint(QStringLiteral("a"))));
        QCOMPARE(settings::findServer(added->id)->certSha256, pinA);
        QCOMPARE(ApiClient::pinnedCertificate(server.url()), pinA);
        QVERIFY(server.requests().isEmpty());

        testsupport::whenModal([&](QWidget* modal) { logIn(modal, QString(), true); });
        window.relogin(added->id);
        QCOMPARE(settings::findServer(added->id)->certSha256, pin(QStringLiteral("b")));
        QTRY_VERIFY(window.view(added->id)->hasStatus);

        window.closeServer(added->id);
        ApiClient::pinCertificate(server.url(), QString()); // as after a restart: no tab has put the pin to use
        window.removeServer(added->id);
        QCOMPARE(server.requests(QStringLiteral("/api/auth/logout")).size(), 1); // its token ends with it
        QVERIFY(!testsupport::readFile(testsupport::iniPath()).contains("cert_sha256"));
        QVERIFY(ApiClient::pinnedCertificate(server.url()).isEmpty()); // the pin used for the logout let go again
    }

    // A pin is for its own server: the same certificate under another name is unknown there, and hears nothing.
    void pinIsForItsServerOnly()
    {
        ApiClient::pinCertificate(server.url(), pin(QStringLiteral("a")));
        ApiClient other(QStringLiteral("https://localhost:%1").arg(port), QString());
        QVERIFY_THROWS_EXCEPTION(CertificateError,
            other.login(QStringLiteral("operator"), QStringLiteral("operator"), QStringLiteral("test")));
        QVERIFY(server.requests().isEmpty());
    }

    // A corporate proxy from the environment carries requests to other hosts; the machine itself is reached directly.
    void proxyForOtherHosts()
    {
        serve(QStringLiteral("leaf"));
        TunnelProxy proxy(port);
        qputenv("https_proxy", QStringLiteral("http://127.0.0.1:%1").arg(proxy.serverPort()).toLatin1());
        ApiClient direct(server.url(), QString());
        direct.login(QStringLiteral("operator"), QStringLiteral("operator"), QStringLiteral("test"));
        ApiClient proxied(QStringLiteral("https://norv.test:%1").arg(port), QString());
        proxied.login(QStringLiteral("operator"), QStringLiteral("operator"), QStringLiteral("test"));
        qunsetenv("https_proxy");
        QCOMPARE(proxy.asked, QStringList {QStringLiteral("norv.test:%1").arg(port)});
        QCOMPARE(server.requests(QStringLiteral("/api/auth/login")).size(), 2);
    }

private:
    QByteArray file(const QString& name) { return testsupport::readFile(certs.filePath(name)); }
    // As openssl prints it, colon-separated upper-case hex.
    QString fingerprint(const QString& cert) { return QString(file(cert + ".sha")).section('=', 1).trimmed(); }
    QString pin(const QString& name) { return fingerprint(name).remove(QLatin1Char(':')).toLower(); }
    // The same address with another certificate, as a server whose certificate was replaced.
    void serve(const QString& name)
    {
        server.close();
        QVERIFY(server.useTls(file(name + QStringLiteral(".pem")), file(name + QStringLiteral(".key"))));
        QVERIFY(server.listen(port));
        server.reset();
    }
    // Fills in the login dialog and presses OK; the certificate dialog that comes up is kept in `asked` and answered.
    void logIn(QWidget* modal, const QString& url, bool trust)
    {
        asked.clear();
        QPointer<QTimer> watcher = testsupport::whenMessageBox([&](QMessageBox* box) {
            asked = box->windowTitle() + QLatin1Char('|') + box->text();
            if (box->defaultButton())
                asked += QLatin1Char('|') + box->defaultButton()->text();
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == (trust ? QStringLiteral("Lita på certifikatet") : QStringLiteral("Avbryt")))
                    return button->click();
            }
            box->close();
        });
        testsupport::logIn(modal, url, QStringLiteral("operator"), QStringLiteral("operator"));
        delete watcher;
        if (modal->isVisible())
            static_cast<QDialog*>(modal)->reject();
    }

    QTemporaryDir certs;
    testsupport::Standin server;
    quint16 port = 0;
    QString asked; // title|text|default button of the certificate dialog, or the error box's title|text
};

NORV_TEST_MAIN(TestTls)
#include "tst_tls.moc"
