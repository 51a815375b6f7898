#include "settings.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QSettings>
#include <QStyle>

#include <atomic>
#include <sys/stat.h>
#include <thread>

using testsupport::iniPath;
using testsupport::readFile;
using testsupport::writeFile;
using Getter = std::function<QString()>;
using Setter = std::function<void()>;
Q_DECLARE_METATYPE(Getter)
Q_DECLARE_METATYPE(Setter)

namespace {

mode_t modeOf(const QString& path)
{
    struct stat info { };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

bool isServerId(const QString& id)
{
    return QRegularExpression(QStringLiteral("^[0-9a-f]{12}$")).match(id).hasMatch();
}

bool samePalette(const QPalette& a, const QPalette& b)
{
    for (int g = 0; g < QPalette::NColorGroups; ++g) {
        for (int r = 0; r < QPalette::NColorRoles; ++r) {
            const auto group = QPalette::ColorGroup(g);
            const auto role = QPalette::ColorRole(r);
            if (a.color(group, role) != b.color(group, role))
                return false;
        }
    }
    return true;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { testsupport::resetConfig(); }

    void urlsAndNames_data();
    void urlsAndNames();
    void readRules_data();
    void readRules();
    void writeRules_data();
    void writeRules();
    void serverList();
    void legacyConfigurationMigratesOnce();
    void loginUpdatesTheServerOfItsUrl();
    void tokenFileNames_data();
    void tokenFileNames();
    void tokenFileIsPrivate();
    void tokenFileIsPrivateFromTheStart();
    void themeSwitching();
    void fontRules_data();
    void fontRules();
};

void TestSettings::urlsAndNames_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("normalized");
    QTest::addColumn<QString>("name");
    // clang-format off
    QTest::newRow("spaces and slashes") << "  https://Norv.example:8443/api///  " << "https://Norv.example:8443/api" << "norv.example";
    QTest::newRow("inner slashes kept") << "http://h//x/y/" << "http://h//x/y" << "h";
    QTest::newRow("encoded idn host") << "https://xn--rksmrgs-5wao1o.se" << "https://xn--rksmrgs-5wao1o.se" << "räksmörgås.se";
    QTest::newRow("no host") << " norv-lokal/ " << "norv-lokal" << "norv-lokal";
    QTest::newRow("only slashes") << "////" << "" << "Norv";
    // clang-format on
}

void TestSettings::urlsAndNames()
{
    QFETCH(QString, url);
    QTEST(settings::normalizeUrl(url), "normalized");
    QTEST((settings::ServerEntry {QStringLiteral("a"), url, QString(), true}).label(), "name");
    QCOMPARE((settings::ServerEntry {QStringLiteral("a"), url, QStringLiteral("Egen"), true}).label(),
        QStringLiteral("Egen"));
}

// Each row writes raw lines into the INI file and reads them back.
void TestSettings::readRules_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<Getter>("getter");
    QTest::addColumn<QString>("expected");
    const Getter refresh = [] { return QString::number(settings::refreshSeconds()); };
    const Getter soft = [] { return QVariant(settings::alarmOnSoft()).toString(); };
    const Getter fontSize = [] { return QString::number(settings::fontSize()); };
    const Getter theme = [] { return settings::theme(); };
    const Getter autoconnect = [] { return QVariant(settings::servers().value(0).autoconnect).toString(); };
    // clang-format off
    QTest::newRow("refresh absent") << QByteArray() << refresh << QString::number(settings::DefaultRefreshSeconds);
    QTest::newRow("refresh below the floor") << QByteArray("refresh_seconds=3") << refresh << QString::number(settings::MinRefreshSeconds);
    QTest::newRow("refresh text") << QByteArray("refresh_seconds=snabbt") << refresh << QString::number(settings::DefaultRefreshSeconds);
    QTest::newRow("soft Yes") << QByteArray("alarm_on_soft=Yes") << soft << "true";
    QTest::newRow("soft on") << QByteArray("alarm_on_soft=on") << soft << "false";
    QTest::newRow("font size text") << QByteArray("font_size=stor") << fontSize << "0";
    QTest::newRow("font size negative kept") << QByteArray("font_size=-3") << fontSize << "-3";
    QTest::newRow("theme DARK") << QByteArray("theme=DARK") << theme << "dark";
    QTest::newRow("theme unknown") << QByteArray("theme=turkos") << theme << "system";
    QTest::newRow("autoconnect absent") << QByteArray("[servers]\n1\\id=a\n1\\url=http://n\nsize=1") << autoconnect << "true";
    QTest::newRow("autoconnect YES") << QByteArray("[servers]\n1\\id=a\n1\\url=http://n\n1\\autoconnect=YES\nsize=1") << autoconnect << "true";
    QTest::newRow("autoconnect on") << QByteArray("[servers]\n1\\id=a\n1\\url=http://n\n1\\autoconnect=on\nsize=1") << autoconnect << "false";
    // clang-format on
}

void TestSettings::readRules()
{
    QFETCH(QByteArray, ini);
    QFETCH(Getter, getter);
    writeFile(iniPath(), ini.startsWith('[') ? ini : "[General]\n" + ini + "\n");
    QTEST(getter(), "expected");
}

// Each row calls one setter and checks the raw value it left in the file, flushed at once.
void TestSettings::writeRules_data()
{
    QTest::addColumn<Setter>("setter");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    // clang-format off
    QTest::newRow("refresh below the floor") << Setter([] { settings::setRefreshSeconds(3); }) << "refresh_seconds" << QString::number(settings::MinRefreshSeconds);
    QTest::newRow("soft on") << Setter([] { settings::setAlarmOnSoft(true); }) << "alarm_on_soft" << "true";
    QTest::newRow("font size negative") << Setter([] { settings::setFont(QStringLiteral("Mono"), -4); }) << "font_size" << "0";
    QTest::newRow("theme dark") << Setter([] { settings::setTheme(QStringLiteral("dark")); }) << "theme" << "dark";
    QTest::newRow("theme Dark") << Setter([] { settings::setTheme(QStringLiteral("Dark")); }) << "theme" << "system";
    // clang-format on
}

void TestSettings::writeRules()
{
    QFETCH(Setter, setter);
    QFETCH(QString, key);
    setter();
    QTEST(QSettings(iniPath(), QSettings::IniFormat).value(key).toString(), "stored");
}

// The list survives a round trip of odd names and ids; elements without id or URL are skipped; a file cut off
// before its array's size key, or with garbage in it, keeps its servers through later writes.
void TestSettings::serverList()
{
    const QList<settings::ServerEntry> list {
        {QStringLiteral("0123456789ab"), QStringLiteral("https://a.example/ "), QStringLiteral("Drift, Syd"), true},
        {QStringLiteral("åäö"), QStringLiteral("http://c"), QStringLiteral("Kärnnät \"ett\" = 1;#"), false},
    };
    settings::saveServers(list);
    const QList<settings::ServerEntry> back = settings::servers();
    QCOMPARE(back.size(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(
            back[i].id + back[i].url + back[i].name, list[i].id + settings::normalizeUrl(list[i].url) + list[i].name);
        QCOMPARE(back[i].autoconnect, list[i].autoconnect);
    }
    QVERIFY(!settings::findServer(QStringLiteral("ÅÄÖ")));

    writeFile(iniPath(), "[servers]\n1\\id=\n1\\url=http://a\n2\\id=b\n2\\url=///\n3\\id=c\n3\\url=http://c\nsize=3\n");
    QCOMPARE(settings::servers().size(), 1);
    writeFile(iniPath(), "[servers]\n1\\id=aaa\n1\\url=http://a\n2\\id=bbb\n2\\url=http://b\n3\\id=cc");
    settings::addOrUpdateServer(QStringLiteral("http://new"), QStringLiteral("t"));
    QCOMPARE(settings::servers().size(), 3);
    writeFile(iniPath(),
        QByteArray("[General]\n\x01\x02\xff\xfe utan likhetstecken\n[servers\nrefresh_seconds=x\n"
                   "[servers]\n1\\id=abc\n1\\url=http://a\nsize=1\n\xc3"));
    settings::setRefreshSeconds(20);
    QCOMPARE(settings::refreshSeconds(), 20);
    QCOMPARE(settings::servers().size(), 1);
}

void TestSettings::legacyConfigurationMigratesOnce()
{
    writeFile(iniPath(), "[General]\nserver_url=https://gammal.example//\n");
    writeFile(testsupport::configHome() + QStringLiteral("/Trelvik/Norv GUI/token"), "  legacy-token\n\n");
    const settings::ServerEntry first = settings::servers().value(0);
    QVERIFY(isServerId(first.id) && first.name.isEmpty() && first.autoconnect);
    QCOMPARE(first.url, QStringLiteral("https://gammal.example"));
    QCOMPARE(readFile(settings::serverTokenPath(first.id)), QByteArray("legacy-token\n"));
    QCOMPARE(settings::servers().first().id, first.id); // not migrated again
    // After the last server is removed the list stays empty, the legacy key notwithstanding.
    settings::removeServer(first.id);
    QVERIFY(settings::servers().isEmpty());
    QCOMPARE(settings::serverUrl(), QStringLiteral("https://gammal.example//"));
}

void TestSettings::loginUpdatesTheServerOfItsUrl()
{
    const settings::ServerEntry stored
        = settings::addOrUpdateServer(QStringLiteral("https://Norv.Example/"), QStringLiteral("first"));
    QVERIFY(isServerId(stored.id) && stored.autoconnect);
    settings::setServerName(stored.id, QStringLiteral("  Drift  "));
    const QByteArray before = readFile(iniPath());
    const settings::ServerEntry again
        = settings::addOrUpdateServer(QStringLiteral(" https://norv.example/// "), QStringLiteral("second"));
    QCOMPARE(again.id + again.name, stored.id + QStringLiteral("Drift"));
    QCOMPARE(settings::loadServerToken(stored.id), QStringLiteral("second"));
    QCOMPARE(readFile(iniPath()), before); // the list is not rewritten
    const settings::ServerEntry other = settings::addOrUpdateServer(QStringLiteral("http://b"), QString());
    QCOMPARE(settings::loadServerToken(other.id), QString()); // a bare line feed reads as no token
    settings::removeServer(stored.id);
    QVERIFY(!QFile::exists(settings::serverTokenPath(stored.id)));
    QCOMPARE(settings::servers().size(), 1);
}

void TestSettings::tokenFileNames_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("fileName");
    // clang-format off
    QTest::newRow("path characters dropped") << "../a/b.c" << "abc";
    QTest::newRow("only separators") << "/./" << "_";
    QTest::newRow("letters, dash, underscore") << "Åsa-ö_9" << "Åsa-ö_9";
    QTest::newRow("letter outside the basic plane") << "x\U0001D400y" << "x\U0001D400y";
    QTest::newRow("vulgar fraction is no digit") << "\u00bd" << "_";
    // clang-format on
}

void TestSettings::tokenFileNames()
{
    QFETCH(QString, id);
    QFETCH(QString, fileName);
    QCOMPARE(settings::serverTokenPath(id), testsupport::tokenDir() + QLatin1Char('/') + fileName);
    settings::saveServerToken(id, QStringLiteral(" tök "));
    QCOMPARE(settings::loadServerToken(id), QStringLiteral("tök"));
}

void TestSettings::tokenFileIsPrivate()
{
    // An old token file that others could read is tightened, and the directory is closed to others.
    const QString path = settings::serverTokenPath(QStringLiteral("s1"));
    writeFile(path, "old\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    QFile::setPermissions(
        testsupport::tokenDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther);
    settings::saveServerToken(QStringLiteral("s1"), QStringLiteral("ny"));
    QCOMPARE(modeOf(path), mode_t(0600));
    QCOMPARE(modeOf(testsupport::tokenDir()), mode_t(0700));
}

// A watcher thread looks at the new token file's mode the moment it appears, while a long token is still being
// written: the file must never have been readable by others, not even before the write finished.
void TestSettings::tokenFileIsPrivateFromTheStart()
{
    const QString path = settings::serverTokenPath(QStringLiteral("s2"));
    QDir().mkpath(testsupport::tokenDir());
    const mode_t oldMask = ::umask(0);
    std::atomic<int> firstMode {-1};
    std::atomic<bool> stop {false};
    const QByteArray nativePath = QFile::encodeName(path);
    std::thread watcher([&] {
        struct stat info { };
        while (!stop) {
            if (::stat(nativePath.constData(), &info) == 0) {
                firstMode = int(info.st_mode & 0777);
                return;
            }
        }
    });
    settings::saveServerToken(QStringLiteral("s2"), QString(64 * 1024 * 1024, QLatin1Char('t')));
    stop = true;
    watcher.join();
    ::umask(oldMask);
    QCOMPARE(firstMode.load(), 0600);
}

void TestSettings::themeSwitching()
{
    const QPalette start = QApplication::palette();
    writeFile(iniPath(), "[General]\ntheme=DARK\n");
    settings::applySavedTheme();
    QVERIFY(samePalette(QApplication::palette(), settings::darkPalette()));
    QCOMPARE(QApplication::palette().color(QPalette::Mid), start.color(QPalette::Mid)); // roles it leaves alone
    settings::setTheme(QStringLiteral("light"));
    settings::applySavedTheme();
    QVERIFY(samePalette(QApplication::palette(), QApplication::style()->standardPalette()));
    settings::setTheme(QStringLiteral("system"));
    settings::applySavedTheme();
    QVERIFY(samePalette(QApplication::palette(), start));
}

void TestSettings::fontRules_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("size");
    // clang-format off
    QTest::newRow("nothing stored") << "" << 0;
    QTest::newRow("family only") << "Noto Testfamilj" << 0;
    QTest::newRow("size only") << "" << 12;
    QTest::newRow("both") << "Noto Testfamilj" << 15;
    // clang-format on
}

void TestSettings::fontRules()
{
    QFETCH(QString, family);
    QFETCH(int, size);
    QFont baseline(QStringLiteral("Baslinje"));
    baseline.setPointSize(9);
    QApplication::setFont(baseline);
    settings::setFont(family, size);
    settings::applySavedFont();
    const QFont applied = QApplication::font();
    QCOMPARE(applied.family(), family.isEmpty() ? QStringLiteral("Baslinje") : family);
    QCOMPARE(applied.pointSize(), size > 0 ? size : 9);
    // Clearing the stored font later leaves the applied one in place until the next start.
    settings::setFont(QString(), 0);
    settings::applySavedFont();
    QCOMPARE(QApplication::font(), applied);
}

NORV_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
