#include "buildconfig.h"
#include "testsupport.h"
#include "version.h"
#include "versionnotice.h"

class TestVersionNotice : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Told once per differing version and view, with both versions and where to get the client; an unusable
    // version (empty, "?") changes nothing; the client's own version hides an open notice.
    void shownOncePerDifferingVersion()
    {
        const QString builtIn = appversion::clientVersion();
        QCOMPARE(builtIn, QStringLiteral(NORV_VERSION)); // no VERSION file beside the tests: the build's own
        const QString other = builtIn + QStringLiteral(".1");
        QWidget owner;
        owner.show();
        VersionNotice notice(&owner);
        for (const QString& unusable : {QString(), QStringLiteral(" ? "), QStringLiteral("\t%1 ").arg(builtIn)}) {
            notice.checkVersion(unusable);
            QVERIFY(!notice.isVisible());
        }
        notice.checkVersion(QLatin1Char(' ') + other + QLatin1Char(' '));
        QVERIFY(notice.isVisible());
        QCOMPARE(notice.windowModality(), Qt::WindowModal);
        QVERIFY(notice.text().startsWith(
            QStringLiteral("GUI-klienten har version %1 och servern har version %2.").arg(builtIn, other)));
        QVERIFY(notice.text().contains(QUrl(QStringLiteral(NORV_DOWNLOAD_URL)).host()));
        notice.reject();
        notice.checkVersion(other);
        QVERIFY(!notice.isVisible());
        notice.serverLabel = QStringLiteral("%1 %3"); // percent signs are not expanded
        notice.checkVersion(QStringLiteral("%2"));
        QVERIFY(notice.text().contains(builtIn + QStringLiteral(" och servern %1 %3 har version %2.")));
        notice.checkVersion(QStringLiteral("?"));
        QVERIFY(notice.isVisible());
        notice.checkVersion(builtIn);
        QVERIFY(!notice.isVisible());
    }
};

NORV_TEST_MAIN(TestVersionNotice)
#include "tst_versionnotice.moc"
