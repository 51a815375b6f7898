#include "buildconfig.h"
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
    QTest::newRow("surrounding blanks") << QByteArray("  2.0-beta \r\n") << "2.0-beta";
    QTest::newRow("only blanks") << QByteArray(" \n\t") << "1.0.28";
    QTest::newRow("utf-8") << QByteArray("1.0 \xc3\xa5r\n") << "1.0 år";
    // clang-format on
}

void TestVersionNotice::clientVersion()
{
    QFETCH(QByteArray, content);
    if (!content.isNull())
        testsupport::writeFile(versionFile(), content);
    QTEST(appversion::clientVersion(), "version");
}

// Told once per differing version and view; an unusable version (empty, "?") changes nothing; the client's own
// version hides an open notice.
void TestVersionNotice::shownOncePerDifferingVersion()
{
    QWidget owner;
    owner.show();
    VersionNotice notice(&owner);
    for (const char* unusable : {"", " ? ", "\t1.0.28 "}) {
        notice.checkVersion(QLatin1String(unusable));
        QVERIFY(!notice.isVisible());
    }
    notice.checkVersion(QStringLiteral(" 1.1.0 "));
    QVERIFY(notice.isVisible());
    QCOMPARE(notice.windowModality(), Qt::WindowModal);
    QCOMPARE(notice.text(),
        QStringLiteral("GUI-klienten har version 1.0.28 och servern har version 1.1.0.\n\nVersionerna "
                       "skiljer sig åt. Vill du öppna %1 för att hämta en uppdaterad klient?\n\nDu "
                       "kan också fortsätta med den nuvarande klienten.")
            .arg(QUrl(QStringLiteral(NORV_DOWNLOAD_URL)).host()));
    notice.reject();
    notice.checkVersion(QStringLiteral("1.1.0"));
    QVERIFY(!notice.isVisible());
    notice.serverLabel = QStringLiteral("%1 %3"); // percent signs are not expanded
    notice.checkVersion(QStringLiteral("%2"));
    QVERIFY(
        notice.text().startsWith(QStringLiteral("GUI-klienten har version 1.0.28 och servern %1 %3 har version %2.")));
    notice.checkVersion(QStringLiteral("?"));
    QVERIFY(notice.isVisible());
    notice.checkVersion(QStringLiteral("1.0.28"));
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
