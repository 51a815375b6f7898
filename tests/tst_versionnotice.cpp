#include "buildconfig.h"
#include "testsupport.h"
#include "version.h"
#include "versionnotice.h"

#include <QDesktopServices>

// This test writes VERSION beside its own executable, which the build puts in a folder of its own.
class TestVersionNotice : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { builtIn = appversion::clientVersion(); }
    void cleanup() { QFile::remove(versionFile()); }

    void clientVersion_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("version"); // empty: the built-in one
        QTest::newRow("surrounding blanks") << QByteArray("  2.0-beta \r\n") << "2.0-beta";
        QTest::newRow("only blanks") << QByteArray(" \n\t") << "";
        QTest::newRow("utf-8") << QByteArray("1.0 \xc3\xa5r\n") << "1.0 år";
    }
    void clientVersion()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, version);
        testsupport::writeFile(versionFile(), content);
        QCOMPARE(appversion::clientVersion(), version.isEmpty() ? builtIn : version);
    }

    // Told once per differing version and view, with both versions and where to get the client; an unusable
    // version (empty, "?") changes nothing; the client's own version hides an open notice.
    void shownOncePerDifferingVersion()
    {
        QWidget owner;
        owner.show();
        VersionNotice notice(&owner);
        for (const QString& unusable : {QString(), QStringLiteral(" ? "), QStringLiteral("\t%1 ").arg(builtIn)}) {
            notice.checkVersion(unusable);
            QVERIFY(!notice.isVisible());
        }
        notice.checkVersion(QStringLiteral(" 1.1.0 "));
        QVERIFY(notice.isVisible());
        QCOMPARE(notice.windowModality(), Qt::WindowModal);
        QVERIFY(notice.text().startsWith(
            QStringLiteral("GUI-klienten har version %1 och servern har version 1.1.0.").arg(builtIn)));
        QVERIFY(notice.text().contains(QUrl(QStringLiteral(NORV_DOWNLOAD_URL)).host()));
        notice.reject();
        notice.checkVersion(QStringLiteral("1.1.0"));
        QVERIFY(!notice.isVisible());
        notice.serverLabel = QStringLiteral("%1 %3"); // percent signs are not expanded
        notice.checkVersion(QStringLiteral("%2"));
        QVERIFY(notice.text().contains(builtIn + QStringLiteral(" och servern %1 %3 har version %2.")));
        notice.checkVersion(QStringLiteral("?"));
        QVERIFY(notice.isVisible());
        notice.checkVersion(builtIn);
        QVERIFY(!notice.isVisible());
    }

    void downloadButtonOpensThePage()
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

public Q_SLOTS:
    void openUrl(const QUrl& url) { opened.append(url); }

private:
    static QString versionFile() { return QCoreApplication::applicationDirPath() + QStringLiteral("/VERSION"); }
    QString builtIn;
    QList<QUrl> opened;
};

NORV_TEST_MAIN(TestVersionNotice)
#include "tst_versionnotice.moc"
