#include "settings.h"
#include "testsupport.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStyle>

#include <atomic>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using testsupport::iniPath;
using testsupport::readFile;
using testsupport::writeFile;

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
    void autoconnectReadRule_data();
    void autoconnectReadRule();
    void serverListRoundTrip();
    void damagedFilesKeepTheirServers();
    void legacyConfigurationMigratesOnce();
    void addOrUpdateMatchesNormalisedUrl();
    void renameRemoveAndOtherServers();
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
    QFETCH(QString, normalized);
    QFETCH(QString, name);
    QCOMPARE(settings::normalizeUrl(url), normalized);
    QCOMPARE(settings::defaultServerName(url), name);
    QCOMPARE((settings::ServerEntry {QStringLiteral("a"), url, QString(), true}).label(), name);
    QCOMPARE((settings::ServerEntry {QStringLiteral("a"), url, QStringLiteral("Egen"), true}).label(),
        QStringLiteral("Egen"));
}

// Each row writes one raw line into the INI file and reads it back through the getter named.
void TestSettings::readRules_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("getter");
    QTest::addColumn<QString>("expected");
    // clang-format off
    QTest::newRow("refresh absent") << QByteArray() << "refresh" << "15";
    QTest::newRow("refresh 3 reads 5") << QByteArray("refresh_seconds=3") << "refresh" << "5";
    QTest::newRow("refresh text reads 15") << QByteArray("refresh_seconds=snabbt") << "refresh" << "15";
    QTest::newRow("soft Yes") << QByteArray("alarm_on_soft=Yes") << "soft" << "true";
    QTest::newRow("soft on") << QByteArray("alarm_on_soft=on") << "soft" << "false";
    QTest::newRow("font size text") << QByteArray("font_size=stor") << "fontSize" << "0";
    QTest::newRow("font size negative not clamped") << QByteArray("font_size=-3") << "fontSize" << "-3";
    QTest::newRow("theme DARK") << QByteArray("theme=DARK") << "theme" << "dark";
    QTest::newRow("theme unknown") << QByteArray("theme=turkos") << "theme" << "system";
    // clang-format on
}

void TestSettings::readRules()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, getter);
    QFETCH(QString, expected);
    writeFile(iniPath(), "[General]\n" + line + "\n");
    QString actual;
    if (getter == QLatin1String("refresh"))
        actual = QString::number(settings::refreshSeconds());
    else if (getter == QLatin1String("soft"))
        actual = settings::alarmOnSoft() ? QStringLiteral("true") : QStringLiteral("false");
    else if (getter == QLatin1String("fontSize"))
        actual = QString::number(settings::fontSize());
    else
        actual = settings::theme();
    QCOMPARE(actual, expected);
}

// Each row calls one setter and checks the raw value it left in the file, flushed at once.
void TestSettings::writeRules_data()
{
    QTest::addColumn<QString>("setter");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    // clang-format off
    QTest::newRow("refresh below floor") << "refresh" << "3" << "refresh_seconds" << "5";
    QTest::newRow("soft on") << "soft" << "true" << "alarm_on_soft" << "true";
    QTest::newRow("font size negative") << "fontSize" << "-4" << "font_size" << "0";
    QTest::newRow("theme dark") << "theme" << "dark" << "theme" << "dark";
    QTest::newRow("theme Dark") << "theme" << "Dark" << "theme" << "system";
    // clang-format on
}

void TestSettings::writeRules()
{
    QFETCH(QString, setter);
    QFETCH(QString, argument);
    QFETCH(QString, key);
    QFETCH(QString, stored);
    if (setter == QLatin1String("refresh"))
        settings::setRefreshSeconds(argument.toInt());
    else if (setter == QLatin1String("soft"))
        settings::setAlarmOnSoft(argument == QLatin1String("true"));
    else if (setter == QLatin1String("fontSize"))
        settings::setFont(QStringLiteral("Mono"), argument.toInt());
    else
        settings::setTheme(argument);
    QCOMPARE(QSettings(iniPath(), QSettings::IniFormat).value(key).toString(), stored);
}

void TestSettings::autoconnectReadRule_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("expected");
    // clang-format off
    QTest::newRow("absent") << QByteArray() << true;
    QTest::newRow("YES") << QByteArray("1\\autoconnect=YES") << true;
    QTest::newRow("false") << QByteArray("1\\autoconnect=false") << false;
    QTest::newRow("on") << QByteArray("1\\autoconnect=on") << false;
    // clang-format on
}

void TestSettings::autoconnectReadRule()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, expected);
    writeFile(iniPath(), "[servers]\n1\\id=abc\n1\\url=http://norv/\n" + line + "\nsize=1\n");
    const QList<settings::ServerEntry> list = settings::servers();
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().url, QStringLiteral("http://norv"));
    QCOMPARE(list.first().autoconnect, expected);
}

void TestSettings::serverListRoundTrip()
{
    const QList<settings::ServerEntry> list {
        {QStringLiteral("0123456789ab"), QStringLiteral("https://a.example/ "), QStringLiteral("Drift, Syd"), true},
        {QStringLiteral("id med mellanslag"), QStringLiteral("http://b:8080"), QString(), false},
        {QStringLiteral("åäö"), QStringLiteral("http://c"), QStringLiteral("Kärnnät \"ett\" = 1;#"), true},
    };
    settings::saveServers(list);
    const QList<settings::ServerEntry> back = settings::servers();
    QCOMPARE(back.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(back[i].id, list[i].id);
        QCOMPARE(back[i].url, settings::normalizeUrl(list[i].url));
        QCOMPARE(back[i].name, list[i].name);
        QCOMPARE(back[i].autoconnect, list[i].autoconnect);
    }
    QVERIFY(readFile(iniPath()).contains("2\\autoconnect=false"));
    QCOMPARE(settings::findServer(QStringLiteral("åäö"))->name, list[2].name);
    QVERIFY(!settings::findServer(QStringLiteral("ÅÄÖ")));
}

// Elements without id or URL are skipped; a file cut off before its array's size key, or with garbage in it, keeps
// its servers through later writes.
void TestSettings::damagedFilesKeepTheirServers()
{
    writeFile(iniPath(), "[servers]\n1\\id=\n1\\url=http://a\n2\\id=b\n2\\url=///\n3\\id=c\n3\\url=http://c\nsize=3\n");
    QCOMPARE(settings::servers().size(), 1);
    QCOMPARE(settings::servers().first().id, QStringLiteral("c"));

    writeFile(iniPath(), "[servers]\n1\\id=aaa\n1\\url=http://a\n2\\id=bbb\n2\\url=http://b\n3\\id=cc");
    QCOMPARE(settings::servers().size(), 2);
    settings::addOrUpdateServer(QStringLiteral("http://new"), QStringLiteral("t"));
    QCOMPARE(settings::servers().size(), 3);

    writeFile(iniPath(),
        QByteArray("[General]\n\x01\x02\xff\xfe utan likhetstecken\n[servers\nrefresh_seconds=x\n"
                   "[servers]\n1\\id=abc\n1\\url=http://a\nsize=1\n\xc3"));
    settings::setTheme(QStringLiteral("dark"));
    settings::setRefreshSeconds(20);
    QCOMPARE(settings::theme(), QStringLiteral("dark"));
    QCOMPARE(settings::refreshSeconds(), 20);
    QCOMPARE(settings::servers().size(), 1);
}

void TestSettings::legacyConfigurationMigratesOnce()
{
    writeFile(iniPath(), "[General]\nserver_url=https://gammal.example//\n");
    writeFile(testsupport::configHome() + QStringLiteral("/Trelvik/Norv GUI/token"), "  legacy-token\n\n");
    const QList<settings::ServerEntry> first = settings::servers();
    QCOMPARE(first.size(), 1);
    QVERIFY(isServerId(first.first().id));
    QCOMPARE(first.first().url, QStringLiteral("https://gammal.example"));
    QVERIFY(first.first().name.isEmpty() && first.first().autoconnect);
    QCOMPARE(readFile(settings::serverTokenPath(first.first().id)), QByteArray("legacy-token\n"));
    QCOMPARE(settings::servers().first().id, first.first().id); // not migrated again
    QCOMPARE(settings::serverUrl(), QStringLiteral("https://gammal.example//")); // the legacy key stays
    QCOMPARE(settings::loadToken(), QStringLiteral("legacy-token"));
    // After the last server is removed the list stays empty, the legacy key notwithstanding.
    settings::removeServer(first.first().id);
    QVERIFY(settings::servers().isEmpty());
    QVERIFY(readFile(iniPath()).contains("size=0"));
}

void TestSettings::addOrUpdateMatchesNormalisedUrl()
{
    const settings::ServerEntry stored
        = settings::addOrUpdateServer(QStringLiteral("https://Norv.Example/"), QStringLiteral("first"));
    QVERIFY(isServerId(stored.id) && stored.autoconnect);
    settings::setServerName(stored.id, QStringLiteral("  Drift  "));
    const QByteArray before = readFile(iniPath());
    const settings::ServerEntry again
        = settings::addOrUpdateServer(QStringLiteral(" https://norv.example/// "), QStringLiteral("second"));
    QCOMPARE(again.id, stored.id);
    QCOMPARE(again.name, QStringLiteral("Drift"));
    QCOMPARE(settings::loadServerToken(stored.id), QStringLiteral("second"));
    QCOMPARE(readFile(iniPath()), before); // the list is not rewritten
    // Another URL is another server; an empty token is a bare line feed that reads as none.
    const settings::ServerEntry other = settings::addOrUpdateServer(QStringLiteral("http://b"), QString());
    QVERIFY(other.id != stored.id);
    QCOMPARE(settings::servers().size(), 2);
    QCOMPARE(readFile(settings::serverTokenPath(other.id)), QByteArray("\n"));
    QCOMPARE(settings::loadServerToken(other.id), QString());
}

void TestSettings::renameRemoveAndOtherServers()
{
    const settings::ServerEntry a = settings::addOrUpdateServer(QStringLiteral("http://a"), QStringLiteral("ta"));
    const settings::ServerEntry b = settings::addOrUpdateServer(QStringLiteral("http://b"), QStringLiteral("tb"));
    settings::setServerName(b.id, QStringLiteral("   "));
    settings::setServerAutoconnect(a.id, false);
    settings::setServerName(QStringLiteral("okänd"), QStringLiteral("x"));
    QCOMPARE(settings::servers().at(1).label(), QStringLiteral("b"));
    QVERIFY(!settings::servers().at(0).autoconnect);
    settings::removeServer(a.id);
    QVERIFY(!settings::findServer(a.id));
    QVERIFY(!QFile::exists(settings::serverTokenPath(a.id)));
    QCOMPARE(settings::loadServerToken(b.id), QStringLiteral("tb"));
    settings::clearServerToken(a.id); // already gone: no error
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
    QCOMPARE(readFile(path), QByteArray("ny\n"));
    QFile::setPermissions(path, QFile::Permissions());
    if (::geteuid() != 0) // root reads it anyway
        QCOMPARE(settings::loadServerToken(QStringLiteral("s1")), QString());
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
    auto sameColors = [](const QPalette& a, const QPalette& b) {
        for (int g = 0; g < QPalette::NColorGroups; ++g) {
            for (int r = 0; r < QPalette::NColorRoles; ++r) {
                if (a.color(QPalette::ColorGroup(g), QPalette::ColorRole(r))
                    != b.color(QPalette::ColorGroup(g), QPalette::ColorRole(r)))
                    return false;
            }
        }
        return true;
    };
    writeFile(iniPath(), "[General]\ntheme=DARK\n");
    settings::applySavedTheme();
    const QPalette dark = QApplication::palette();
    QCOMPARE(dark.color(QPalette::Inactive, QPalette::Window).name(), QStringLiteral("#171e2b"));
    QCOMPARE(dark.color(QPalette::Disabled, QPalette::Text).name(), QStringLiteral("#6b7688"));
    QCOMPARE(dark.color(QPalette::Active, QPalette::Text).name(), QStringLiteral("#e8ecf4"));
    QCOMPARE(dark.color(QPalette::Mid), start.color(QPalette::Mid)); // roles it leaves alone
    settings::setTheme(QStringLiteral("light"));
    settings::applySavedTheme();
    QVERIFY(sameColors(QApplication::palette(), QApplication::style()->standardPalette()));
    settings::setTheme(QStringLiteral("dark"));
    settings::applySavedTheme();
    settings::setTheme(QStringLiteral("system"));
    settings::applySavedTheme();
    QVERIFY(sameColors(QApplication::palette(), start));
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
