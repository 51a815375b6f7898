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

class TestSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { testsupport::resetConfig(); }

    void normalizeUrl_data();
    void normalizeUrl();
    void defaultServerName_data();
    void defaultServerName();
    void readRules_data();
    void readRules();
    void writeRules_data();
    void writeRules();
    void autoconnectReadRule_data();
    void autoconnectReadRule();
    void serverListRoundTrip();
    void elementsWithoutIdOrUrlAreSkipped();
    void cutOffFileKeepsItsServers();
    void garbageInIniKeepsServersThroughWrites();
    void legacyConfigurationMigratesOnce();
    void emptyListStopsMigration();
    void addOrUpdateMatchesNormalisedUrl();
    void addOrUpdateAddsNewEntry();
    void renameAndAutoconnectKeepOtherServers();
    void removeServerDeletesEntryAndToken();
    void tokenFileNames_data();
    void tokenFileNames();
    void tokenFileReadRules_data();
    void tokenFileReadRules();
    void tokenFileIsPrivate();
    void tokenFileIsPrivateFromTheStart();
    void darkPalette_data();
    void darkPalette();
    void themeSwitching();
    void fontRules_data();
    void fontRules();
};

void TestSettings::normalizeUrl_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("spaces and slashes") << "  https://norv.example/api///  "
                                        << "https://norv.example/api";
    QTest::newRow("inner slashes kept") << "http://h//x/y/"
                                        << "http://h//x/y";
    QTest::newRow("only slashes") << "////"
                                  << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("slash then blank") << "http://h/ "
                                      << "http://h";
}

void TestSettings::normalizeUrl()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(settings::normalizeUrl(input), expected);
}

void TestSettings::defaultServerName_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected");
    QTest::newRow("host") << "https://norv.example.com:8443/x/"
                          << "norv.example.com";
    QTest::newRow("encoded idn host") << "https://xn--rksmrgs-5wao1o.se"
                                      << "räksmörgås.se";
    QTest::newRow("no host") << " norv-lokal/ "
                             << "norv-lokal";
    QTest::newRow("empty") << "  /"
                           << "Norv";
}

void TestSettings::defaultServerName()
{
    QFETCH(QString, url);
    QFETCH(QString, expected);
    QCOMPARE(settings::defaultServerName(url), expected);
    QCOMPARE((settings::ServerEntry {QStringLiteral("a"), url, QString(), true}).label(), expected);
    QCOMPARE((settings::ServerEntry {QStringLiteral("a"), url, QStringLiteral("Egen"), true}).label(),
        QStringLiteral("Egen"));
}

// Each row writes one raw line into the INI file and reads it back through the getter named.
void TestSettings::readRules_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("getter");
    QTest::addColumn<QString>("expected");
    QTest::newRow("refresh absent") << QByteArray() << "refresh"
                                    << "15";
    QTest::newRow("refresh 3 reads 5") << QByteArray("refresh_seconds=3") << "refresh"
                                       << "5";
    QTest::newRow("refresh 60") << QByteArray("refresh_seconds=60") << "refresh"
                                << "60";
    QTest::newRow("refresh text reads 15") << QByteArray("refresh_seconds=snabbt") << "refresh"
                                           << "15";
    QTest::newRow("soft absent") << QByteArray() << "soft"
                                 << "false";
    QTest::newRow("soft Yes") << QByteArray("alarm_on_soft=Yes") << "soft"
                              << "true";
    QTest::newRow("soft 1") << QByteArray("alarm_on_soft=1") << "soft"
                            << "true";
    QTest::newRow("soft TRUE") << QByteArray("alarm_on_soft=TRUE") << "soft"
                               << "true";
    QTest::newRow("soft on") << QByteArray("alarm_on_soft=on") << "soft"
                             << "false";
    QTest::newRow("font size text") << QByteArray("font_size=stor") << "fontSize"
                                    << "0";
    QTest::newRow("font size negative not clamped") << QByteArray("font_size=-3") << "fontSize"
                                                    << "-3";
    QTest::newRow("font family") << QByteArray("font_family=DejaVu Sans") << "fontFamily"
                                 << "DejaVu Sans";
    QTest::newRow("theme absent") << QByteArray() << "theme"
                                  << "system";
    QTest::newRow("theme DARK") << QByteArray("theme=DARK") << "theme"
                                << "dark";
    QTest::newRow("theme Light") << QByteArray("theme=Light") << "theme"
                                 << "light";
    QTest::newRow("theme unknown") << QByteArray("theme=blue") << "theme"
                                   << "system";
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
    else if (getter == QLatin1String("fontFamily"))
        actual = settings::fontFamily();
    else
        actual = settings::theme();
    QCOMPARE(actual, expected);
}

// Each row calls one setter and checks the raw value it left in the file.
void TestSettings::writeRules_data()
{
    QTest::addColumn<QString>("setter");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::newRow("refresh below floor") << "refresh"
                                         << "3"
                                         << "refresh_seconds"
                                         << "5";
    QTest::newRow("refresh") << "refresh"
                             << "45"
                             << "refresh_seconds"
                             << "45";
    QTest::newRow("soft on") << "soft"
                             << "true"
                             << "alarm_on_soft"
                             << "true";
    QTest::newRow("soft off") << "soft"
                              << "false"
                              << "alarm_on_soft"
                              << "false";
    QTest::newRow("font size negative") << "fontSize"
                                        << "-4"
                                        << "font_size"
                                        << "0";
    QTest::newRow("font size") << "fontSize"
                               << "11"
                               << "font_size"
                               << "11";
    QTest::newRow("theme dark") << "theme"
                                << "dark"
                                << "theme"
                                << "dark";
    QTest::newRow("theme Dark") << "theme"
                                << "Dark"
                                << "theme"
                                << "system";
    QTest::newRow("theme light") << "theme"
                                 << "light"
                                 << "theme"
                                 << "light";
    QTest::newRow("theme empty") << "theme"
                                 << ""
                                 << "theme"
                                 << "system";
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
    // The setter flushed: a reader that is not the settings module sees the value at once.
    QSettings reader(iniPath(), QSettings::IniFormat);
    QCOMPARE(reader.value(key).toString(), stored);
}

void TestSettings::autoconnectReadRule_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("expected");
    QTest::newRow("absent") << QByteArray() << true;
    QTest::newRow("true") << QByteArray("1\\autoconnect=true") << true;
    QTest::newRow("YES") << QByteArray("1\\autoconnect=YES") << true;
    QTest::newRow("1") << QByteArray("1\\autoconnect=1") << true;
    QTest::newRow("false") << QByteArray("1\\autoconnect=false") << false;
    QTest::newRow("on") << QByteArray("1\\autoconnect=on") << false;
    QTest::newRow("empty") << QByteArray("1\\autoconnect=") << false;
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
    const QByteArray ini = readFile(iniPath());
    QVERIFY(ini.contains("2\\autoconnect=false"));
    QVERIFY(ini.contains("size=3"));
    QVERIFY(ini.contains("1\\url=https://a.example\n"));
    QCOMPARE(settings::findServer(QStringLiteral("åäö"))->name, list[2].name);
    QVERIFY(!settings::findServer(QStringLiteral("ÅÄÖ")));
}

void TestSettings::elementsWithoutIdOrUrlAreSkipped()
{
    writeFile(iniPath(), "[servers]\n1\\id=\n1\\url=http://a\n2\\id=b\n2\\url=///\n3\\id=c\n3\\url=http://c\nsize=3\n");
    const QList<settings::ServerEntry> list = settings::servers();
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().id, QStringLiteral("c"));
    settings::setServerName(QStringLiteral("c"), QStringLiteral("C"));
    QVERIFY(!readFile(iniPath()).contains("http://a"));
}

// A file cut off in the middle of writing the server array has no size key yet; its servers must not be lost,
// and a later save must not replace them by a migrated or new list.
void TestSettings::cutOffFileKeepsItsServers()
{
    writeFile(iniPath(), "[servers]\n1\\id=aaa\n1\\url=http://a\n2\\id=bbb\n2\\url=http://b\n3\\id=cc");
    const QList<settings::ServerEntry> list = settings::servers();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(1).url, QStringLiteral("http://b"));
    settings::addOrUpdateServer(QStringLiteral("http://new"), QStringLiteral("t"));
    QCOMPARE(settings::servers().size(), 3);
}

void TestSettings::garbageInIniKeepsServersThroughWrites()
{
    writeFile(iniPath(),
        QByteArray("[General]\n\x01\x02\xff\xfe utan likhetstecken\n[servers\nrefresh_seconds=x\n[servers]\n"
                   "1\\id=abc\n1\\url=http://a\nsize=1\n\xc3"));
    QCOMPARE(settings::servers().size(), 1);
    settings::setTheme(QStringLiteral("dark"));
    settings::setRefreshSeconds(20);
    QCOMPARE(settings::theme(), QStringLiteral("dark"));
    QCOMPARE(settings::refreshSeconds(), 20);
    const QList<settings::ServerEntry> list = settings::servers();
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().id, QStringLiteral("abc"));
}

void TestSettings::legacyConfigurationMigratesOnce()
{
    writeFile(iniPath(), "[General]\nserver_url=https://gammal.example//\n");
    const QString legacyToken = testsupport::configHome() + QStringLiteral("/Trelvik/Norv GUI/token");
    writeFile(legacyToken, "  legacy-token\n\n");

    const QList<settings::ServerEntry> first = settings::servers();
    QCOMPARE(first.size(), 1);
    const settings::ServerEntry entry = first.first();
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{12}$")).match(entry.id).hasMatch());
    QCOMPARE(entry.url, QStringLiteral("https://gammal.example"));
    QCOMPARE(entry.name, QString());
    QVERIFY(entry.autoconnect);
    QCOMPARE(settings::loadServerToken(entry.id), QStringLiteral("legacy-token"));
    QCOMPARE(readFile(settings::serverTokenPath(entry.id)), QByteArray("legacy-token\n"));

    const QList<settings::ServerEntry> second = settings::servers();
    QCOMPARE(second.size(), 1);
    QCOMPARE(second.first().id, entry.id);
    // The legacy key and file stay where they were.
    QCOMPARE(settings::serverUrl(), QStringLiteral("https://gammal.example//"));
    QCOMPARE(settings::loadToken(), QStringLiteral("legacy-token"));
}

void TestSettings::emptyListStopsMigration()
{
    writeFile(iniPath(), "[General]\nserver_url=https://gammal.example\n");
    const QString id = settings::servers().first().id;
    settings::removeServer(id);
    QVERIFY(settings::servers().isEmpty());
    QVERIFY(readFile(iniPath()).contains("size=0"));
    QVERIFY(settings::servers().isEmpty());
}

void TestSettings::addOrUpdateMatchesNormalisedUrl()
{
    const settings::ServerEntry stored
        = settings::addOrUpdateServer(QStringLiteral("https://Norv.Example/"), QStringLiteral("first"));
    settings::setServerName(stored.id, QStringLiteral("  Drift  "));
    settings::setServerAutoconnect(stored.id, false);
    const QByteArray before = readFile(iniPath());

    const settings::ServerEntry again
        = settings::addOrUpdateServer(QStringLiteral(" https://norv.example/// "), QStringLiteral("second"));
    QCOMPARE(again.id, stored.id);
    QCOMPARE(again.name, QStringLiteral("Drift"));
    QCOMPARE(again.autoconnect, false);
    QCOMPARE(settings::servers().size(), 1);
    QCOMPARE(settings::loadServerToken(stored.id), QStringLiteral("second"));
    QCOMPARE(readFile(iniPath()), before);
}

void TestSettings::addOrUpdateAddsNewEntry()
{
    const settings::ServerEntry a = settings::addOrUpdateServer(QStringLiteral("http://a/"), QStringLiteral("ta"));
    const settings::ServerEntry b = settings::addOrUpdateServer(QStringLiteral("http://b"), QString());
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{12}$")).match(b.id).hasMatch());
    QVERIFY(a.id != b.id);
    QCOMPARE(a.url, QStringLiteral("http://a"));
    QVERIFY(b.autoconnect);
    QCOMPARE(b.name, QString());
    const QList<settings::ServerEntry> list = settings::servers();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).id, a.id);
    QCOMPARE(list.at(1).id, b.id);
    // An empty token is written as a bare line feed and reads back as no token.
    QCOMPARE(readFile(settings::serverTokenPath(b.id)), QByteArray("\n"));
    QCOMPARE(settings::loadServerToken(b.id), QString());
    QCOMPARE(settings::loadServerToken(a.id), QStringLiteral("ta"));
}

void TestSettings::renameAndAutoconnectKeepOtherServers()
{
    const settings::ServerEntry a = settings::addOrUpdateServer(QStringLiteral("http://a"), QStringLiteral("ta"));
    const settings::ServerEntry b = settings::addOrUpdateServer(QStringLiteral("http://b"), QStringLiteral("tb"));
    settings::setServerName(b.id, QStringLiteral("   "));
    settings::setServerName(a.id, QStringLiteral(" Norr "));
    settings::setServerAutoconnect(a.id, false);
    settings::setServerName(QStringLiteral("okänd"), QStringLiteral("x"));
    const QList<settings::ServerEntry> list = settings::servers();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).name, QStringLiteral("Norr"));
    QCOMPARE(list.at(0).autoconnect, false);
    QCOMPARE(list.at(1).name, QString());
    QCOMPARE(list.at(1).label(), QStringLiteral("b"));
    QVERIFY(list.at(1).autoconnect);
    QCOMPARE(settings::loadServerToken(a.id), QStringLiteral("ta"));
    QCOMPARE(settings::loadServerToken(b.id), QStringLiteral("tb"));
}

void TestSettings::removeServerDeletesEntryAndToken()
{
    const settings::ServerEntry a = settings::addOrUpdateServer(QStringLiteral("http://a"), QStringLiteral("ta"));
    const settings::ServerEntry b = settings::addOrUpdateServer(QStringLiteral("http://b"), QStringLiteral("tb"));
    settings::removeServer(a.id);
    QVERIFY(!settings::findServer(a.id));
    QVERIFY(!QFile::exists(settings::serverTokenPath(a.id)));
    QCOMPARE(settings::loadServerToken(b.id), QStringLiteral("tb"));
    settings::clearServerToken(a.id); // already gone: no error
    settings::clearServerToken(b.id);
    QCOMPARE(settings::loadServerToken(b.id), QString());
    QVERIFY(settings::findServer(b.id));
}

void TestSettings::tokenFileNames_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("hex id") << "0123456789ab"
                            << "0123456789ab";
    QTest::newRow("path characters dropped") << "../a/b.c"
                                             << "abc";
    QTest::newRow("only separators") << "/./"
                                     << "_";
    QTest::newRow("empty") << ""
                           << "_";
    QTest::newRow("dash underscore") << "A-b_9"
                                     << "A-b_9";
    QTest::newRow("swedish letters") << "Åsa-ö"
                                     << "Åsa-ö";
    QTest::newRow("accent and punctuation") << "é!?*"
                                            << "é";
    QTest::newRow("letter outside the basic plane") << "x\U0001D400y"
                                                    << "x\U0001D400y";
    QTest::newRow("arabic-indic digit") << "\u0663"
                                        << "\u0663";
    QTest::newRow("vulgar fraction is no digit") << "\u00bd"
                                                 << "_";
    QTest::newRow("spaces and tabs") << " a\tb "
                                     << "ab";
}

void TestSettings::tokenFileNames()
{
    QFETCH(QString, id);
    QFETCH(QString, fileName);
    const QString path = settings::serverTokenPath(id);
    QCOMPARE(path, testsupport::tokenDir() + QLatin1Char('/') + fileName);
}

void TestSettings::tokenFileReadRules_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("token");
    QTest::newRow("token and newline") << QByteArray("abc\n") << "abc";
    QTest::newRow("surrounding blanks") << QByteArray(" \t abc \r\n\n") << "abc";
    QTest::newRow("only newline") << QByteArray("\n") << "";
    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("utf-8") << QByteArray("tök\n") << "tök";
}

void TestSettings::tokenFileReadRules()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, token);
    writeFile(settings::serverTokenPath(QStringLiteral("s1")), content);
    QCOMPARE(settings::loadServerToken(QStringLiteral("s1")), token);
}

void TestSettings::tokenFileIsPrivate()
{
    // An old token file that others could read is tightened, and the directory is closed to others.
    const QString path = settings::serverTokenPath(QStringLiteral("s1"));
    writeFile(path, "old\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    QFile::setPermissions(testsupport::tokenDir(),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    settings::saveServerToken(QStringLiteral("s1"), QStringLiteral("ny"));
    struct stat info { };
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0600));
    QCOMPARE(::stat(QFile::encodeName(testsupport::tokenDir()).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0700));
    QCOMPARE(readFile(path), QByteArray("ny\n"));

    // An unreadable token file reads as no token.
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
    QCOMPARE(QFileInfo(path).size(), qint64(64 * 1024 * 1024 + 1));
}

void TestSettings::darkPalette_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("color");
    for (const int group : {int(QPalette::Active), int(QPalette::Inactive), int(QPalette::Disabled)}) {
        const QByteArray g = QByteArray::number(group);
        QTest::newRow("Window " + g) << group << int(QPalette::Window) << "#171e2b";
        QTest::newRow("Base " + g) << group << int(QPalette::Base) << "#0f1520";
        QTest::newRow("AlternateBase " + g) << group << int(QPalette::AlternateBase) << "#1e2636";
        QTest::newRow("PlaceholderText " + g) << group << int(QPalette::PlaceholderText) << "#97a2b6";
        QTest::newRow("Button " + g) << group << int(QPalette::Button) << "#28303f";
        QTest::newRow("ToolTipBase " + g) << group << int(QPalette::ToolTipBase) << "#1e2636";
        QTest::newRow("ToolTipText " + g) << group << int(QPalette::ToolTipText) << "#e8ecf4";
        QTest::newRow("Highlight " + g) << group << int(QPalette::Highlight) << "#2f6fe4";
        QTest::newRow("HighlightedText " + g) << group << int(QPalette::HighlightedText) << "#ffffff";
        QTest::newRow("Link " + g) << group << int(QPalette::Link) << "#8ab4f8";
        QTest::newRow("LinkVisited " + g) << group << int(QPalette::LinkVisited) << "#c4b5fd";
        QTest::newRow("BrightText " + g) << group << int(QPalette::BrightText) << "#ff8080";
        const char* text = group == QPalette::Disabled ? "#6b7688" : "#e8ecf4";
        QTest::newRow("WindowText " + g) << group << int(QPalette::WindowText) << text;
        QTest::newRow("Text " + g) << group << int(QPalette::Text) << text;
        QTest::newRow("ButtonText " + g) << group << int(QPalette::ButtonText) << text;
    }
}

void TestSettings::darkPalette()
{
    QFETCH(int, group);
    QFETCH(int, role);
    QFETCH(QString, color);
    const QPalette palette = settings::darkPalette();
    QCOMPARE(palette.color(QPalette::ColorGroup(group), QPalette::ColorRole(role)).name(), color);
    QCOMPARE(palette.brush(QPalette::ColorGroup(group), QPalette::ColorRole(role)).style(), Qt::SolidPattern);
    // Roles the dark theme leaves alone keep the application's own.
    QCOMPARE(palette.color(QPalette::ColorGroup(group), QPalette::Mid),
        QApplication::palette().color(QPalette::ColorGroup(group), QPalette::Mid));
}

void TestSettings::themeSwitching()
{
    const QPalette start = QApplication::palette();
    auto sameColors = [](const QPalette& a, const QPalette& b) {
        for (int g = 0; g < QPalette::NColorGroups; ++g) {
            for (int r = 0; r < QPalette::NColorRoles; ++r) {
                const auto group = QPalette::ColorGroup(g);
                const auto role = QPalette::ColorRole(r);
                if (a.color(group, role) != b.color(group, role))
                    return false;
            }
        }
        return true;
    };

    writeFile(iniPath(), "[General]\ntheme=DARK\n");
    settings::applySavedTheme();
    QCOMPARE(QApplication::palette().color(QPalette::Window).name(), QStringLiteral("#171e2b"));
    QCOMPARE(QApplication::palette().color(QPalette::Disabled, QPalette::Text).name(), QStringLiteral("#6b7688"));

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
    QTest::addColumn<bool>("familyChanges");
    QTest::addColumn<bool>("sizeChanges");
    QTest::newRow("nothing stored") << "" << 0 << false << false;
    QTest::newRow("family only") << "Noto Testfamilj" << 0 << true << false;
    QTest::newRow("size only") << "" << 12 << false << true;
    QTest::newRow("both") << "Noto Testfamilj" << 15 << true << true;
}

void TestSettings::fontRules()
{
    QFETCH(QString, family);
    QFETCH(int, size);
    QFETCH(bool, familyChanges);
    QFETCH(bool, sizeChanges);
    QFont baseline(QStringLiteral("Baslinje"));
    baseline.setPointSize(9);
    QApplication::setFont(baseline);
    settings::setFont(family, size);
    settings::applySavedFont();
    const QFont applied = QApplication::font();
    QCOMPARE(applied.family(), familyChanges ? family : QStringLiteral("Baslinje"));
    QCOMPARE(applied.pointSize(), sizeChanges ? size : 9);

    // Clearing the stored font later leaves the applied one in place until the next start.
    settings::setFont(QString(), 0);
    settings::applySavedFont();
    QCOMPARE(QApplication::font().family(), applied.family());
    QCOMPARE(QApplication::font().pointSize(), applied.pointSize());
}

NORV_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
