#include "testsupport.h"
#include "version.h"
#include "versionnotice.h"

#include <QDesktopServices>
#include <QPushButton>
#include <QUrl>

// This test writes VERSION beside its own executable, which the build puts in a folder of its own.
class TestVersionNotice : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QFile::remove(versionFile()); }

    void clientVersion_data();
    void clientVersion();
    void shownOncePerDifferingVersion();
    void unusableVersionsNeverOpen_data();
    void unusableVersionsNeverOpen();
    void downloadButtonOpensThePage();

public Q_SLOTS:
    void openUrl(const QUrl& url) { opened.append(url); }

private:
    static QString versionFile() { return QCoreApplication::applicationDirPath() + QStringLiteral("/VERSION"); }
    QList<QUrl> opened;
};

void TestVersionNotice::clientVersion_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::addColumn<QString>("version");
    // clang-format off
    QTest::newRow("no file") << QByteArray() << "1.0.28";
    QTest::newRow("version and line feed") << QByteArray("1.2.0\n") << "1.2.0";
    QTest::newRow("surrounding blanks") << QByteArray("  2.0-beta \r\n") << "2.0-beta";
    QTest::newRow("only blanks") << QByteArray(" \n\t") << "1.0.28";
    QTest::newRow("utf-8") << QByteArray("1.0 \xc3\xa5r\n") << "1.0 år";
    // clang-format on
}

void TestVersionNotice::clientVersion()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, version);
    if (!content.isNull())
        testsupport::writeFile(versionFile(), content);
    QCOMPARE(appversion::clientVersion(), version);
}

void TestVersionNotice::shownOncePerDifferingVersion()
{
    QWidget owner;
    owner.show();
    VersionNotice notice(&owner);
    notice.checkVersion(QStringLiteral(" 1.1.0 "));
    QVERIFY(notice.isVisible());
    QCOMPARE(notice.windowModality(), Qt::WindowModal);
    const QString host = QUrl(QStringLiteral(NORV_DOWNLOAD_URL)).host();
    QCOMPARE(notice.text(),
        QStringLiteral("GUI-klienten har version 1.0.28 och servern har version 1.1.0.\n\nVersionerna "
                       "skiljer sig åt. Vill du öppna %1 för att hämta en uppdaterad klient?\n\nDu "
                       "kan också fortsätta med den nuvarande klienten.")
            .arg(host));
    notice.reject();
    for (int i = 0; i < 3; ++i)
        notice.checkVersion(QStringLiteral("1.1.0"));
    QVERIFY(!notice.isVisible());

    // An upgrade to another differing version is told once more, with the server's label.
    notice.serverLabel = QStringLiteral("Drift Syd");
    notice.checkVersion(QStringLiteral("1.2.0"));
    QVERIFY(notice.isVisible());
    QVERIFY(notice.text().contains(QStringLiteral("och servern Drift Syd har version 1.2.0.")));
    // Back to an earlier version: that one was shown before.
    notice.checkVersion(QStringLiteral("1.1.0"));
    QVERIFY(!notice.isVisible());

    // A new notice (a reopened tab) tells it again; no usable version changes nothing; the client's own hides it.
    VersionNotice again(&owner);
    again.serverLabel = QStringLiteral("%1 %3"); // percent signs are not expanded
    again.checkVersion(QStringLiteral("%2"));
    QVERIFY(again.isVisible());
    QVERIFY(
        again.text().startsWith(QStringLiteral("GUI-klienten har version 1.0.28 och servern %1 %3 har version %2.")));
    again.checkVersion(QStringLiteral("?"));
    QVERIFY(again.isVisible());
    again.checkVersion(QStringLiteral("1.0.28"));
    QVERIFY(!again.isVisible());
}

void TestVersionNotice::unusableVersionsNeverOpen_data()
{
    QTest::addColumn<QByteArray>("client");
    QTest::addColumn<QString>("server");
    // clang-format off
    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("question mark") << QByteArray() << " ? ";
    QTest::newRow("same as client") << QByteArray() << "1.0.28";
    QTest::newRow("same with blanks") << QByteArray() << "\t1.0.28 ";
    QTest::newRow("client unknown") << QByteArray("?\n") << "9.9";
    // clang-format on
}

void TestVersionNotice::unusableVersionsNeverOpen()
{
    QFETCH(QByteArray, client);
    QFETCH(QString, server);
    if (!client.isNull())
        testsupport::writeFile(versionFile(), client);
    VersionNotice notice(nullptr);
    notice.checkVersion(server);
    QVERIFY(!notice.isVisible());
}

void TestVersionNotice::downloadButtonOpensThePage()
{
    const QUrl page(QStringLiteral(NORV_DOWNLOAD_URL));
    QDesktopServices::setUrlHandler(page.scheme(), this, "openUrl");
    VersionNotice notice(nullptr);
    notice.checkVersion(QStringLiteral("3.0"));
    for (QAbstractButton* button : notice.buttons()) {
        if (notice.buttonRole(button) == QMessageBox::AcceptRole)
            button->click();
    }
    QDesktopServices::unsetUrlHandler(page.scheme());
    QCOMPARE(opened, QList<QUrl>({page}));
    QVERIFY(!notice.isVisible());
}

NORV_TEST_MAIN(TestVersionNotice)
#include "tst_versionnotice.moc"
