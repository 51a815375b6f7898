// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/autostart.h"
#include "testsupport.h"

#include <sys/stat.h>
#include <thread>

using testsupport::iniPath;
using testsupport::writeFile;
using Getter = std::function<QVariant()>;
Q_DECLARE_METATYPE(Getter)

static mode_t modeOf(const QString& path)
{
    struct stat info { };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

class TestSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { testsupport::resetConfig(); }

    void readRules_data()
    {
        testsupport::columns<QByteArray, Getter, QVariant>("ini", "getter", "expected");
        const Getter refresh = [] { return settings::refreshSeconds(); };
        const Getter soft = [] { return settings::alarmOnSoft(); };
        const Getter fontSize = [] { return settings::fontSize(); };
        const Getter theme = [] { return settings::theme(); };
        const Getter autoconnect = [] { return settings::servers().value(0).autoconnect; };
        const Getter sound = [] { return int(settings::alarmSound()); };
        const Getter reminder = [] { return settings::reminderMinutes(); };
        const QByteArray server = "[servers]\nsize=1\n1\\id=a\n1\\url=http://n\n";
        // clang-format off
        QTest::newRow("refresh absent") << QByteArray() << refresh << QVariant(settings::DefaultRefreshSeconds);
        QTest::newRow("refresh below the floor of 5 s") << QByteArray("refresh_seconds=4") << refresh << QVariant(5);
        QTest::newRow("soft Yes") << QByteArray("alarm_on_soft=Yes") << soft << QVariant(true);
        QTest::newRow("soft on") << QByteArray("alarm_on_soft=on") << soft << QVariant(false);
        QTest::newRow("font size negative kept") << QByteArray("font_size=-3") << fontSize << QVariant(-3);
        QTest::newRow("font size absent: the desktop's") << QByteArray() << fontSize << QVariant(0);
        QTest::newRow("theme DARK") << QByteArray("theme=DARK") << theme << QVariant("dark");
        QTest::newRow("theme light") << QByteArray("theme=light") << theme << QVariant("light");
        QTest::newRow("theme unknown: the system's") << QByteArray("theme=blå") << theme << QVariant("system");
        QTest::newRow("autoconnect absent") << server << autoconnect << QVariant(true);
        QTest::newRow("autoconnect on") << server + "1\\autoconnect=on" << autoconnect << QVariant(false);
        QTest::newRow("sound of an older client: all alarms") << QByteArray("alarm_sound=true") << sound << QVariant(int(settings::Sound::All));
        QTest::newRow("sound of critical alarms") << QByteArray("alarm_sound=Critical") << sound << QVariant(int(settings::Sound::Critical));
        QTest::newRow("sound absent: none") << QByteArray() << sound << QVariant(int(settings::Sound::Off));
        QTest::newRow("a reminder interval not offered: never") << QByteArray("reminder_minutes=7") << reminder << QVariant(0);
        // clang-format on
    }
    // Each row writes raw lines into the INI file and reads them back.
    void readRules()
    {
        QFETCH(QByteArray, ini);
        writeFile(iniPath(), ini.startsWith('[') ? ini : "[General]\n" + ini + "\n");
        QTEST(testsupport::fetch<Getter>("getter")(), "expected");
    }

    // Starting at login: an entry in the user's autostart folder that a desktop accepts, and gone again.
    void autostartEntry()
    {
        QVERIFY(autostart::setEnabled(true));
        QVERIFY(autostart::enabled());
        QVERIFY(autostart::entryPath().startsWith(testsupport::configHome() + QStringLiteral("/autostart/")));
        QProcess validate;
        validate.start(QStringLiteral("desktop-file-validate"), {autostart::entryPath()});
        QVERIFY2(validate.waitForFinished(10000), "desktop-file-validate (package desktop-file-utils) is needed");
        QVERIFY2(validate.exitCode() == 0, validate.readAllStandardOutput().constData());
        QVERIFY(testsupport::readFile(autostart::entryPath()).contains("\nExec=norv-gui --autostart\n"));
        QVERIFY(autostart::setEnabled(false));
        QVERIFY(!QFile::exists(autostart::entryPath()));
    }

    // The list survives a round trip of odd names and ids; elements without id or URL, or numbered 0 as no writer
    // numbers them, are skipped; a file cut off before its array's size key, or with garbage in it, keeps its servers
    // through later writes.
    void serverList()
    {
        const QList<settings::ServerEntry> list {
            {QStringLiteral("0123456789ab"), QStringLiteral("https://a.example"), QStringLiteral("Drift, Syd"), true,
                {}},
            {QStringLiteral("åäö"), QStringLiteral("http://c"), QStringLiteral("Kärnnät \"ett\" = 1;#"), false, {}},
        };
        settings::saveServers(list);
        for (int i = 0; i < 2; ++i) {
            const settings::ServerEntry back = settings::servers().value(i);
            QCOMPARE(back.id + back.url + back.name, list[i].id + list[i].url + list[i].name);
            QCOMPARE(back.autoconnect, list[i].autoconnect);
        }
        writeFile(iniPath(),
            "[servers]\n0\\id=z\n0\\url=http://z\n1\\id=\n1\\url=http://a\n2\\id=b\n2\\url=///\n3\\id=c\n3\\url=http://"
            "c\nsize=3\n");
        QCOMPARE(settings::servers().size(), 1);
        writeFile(iniPath(), "[servers]\n1\\id=aaa\n1\\url=http://a\n2\\id=bbb\n2\\url=http://b\n3\\id=cc");
        settings::addOrUpdateServer(QStringLiteral("http://new"), QStringLiteral("t"));
        QCOMPARE(settings::servers().size(), 3);
        writeFile(iniPath(),
            "[General]\n\x01\x02\xff\xfe utan likhetstecken\n[servers\nrefresh_seconds=x\n"
            "[servers]\n1\\id=abc\n1\\url=http://a\nsize=1\n\xc3");
        settings::setRefreshSeconds(20);
        QCOMPARE(settings::refreshSeconds(), 20);
        QCOMPARE(settings::servers().size(), 1);
    }

    // The single server of older clients becomes the first of the list, once, and stays gone once removed.
    void legacyConfigurationMigratesOnce()
    {
        writeFile(iniPath(), "[General]\nserver_url=https://gammal.example//\n");
        writeFile(testsupport::configHome() + QStringLiteral("/Trelvik/Norv GUI/token"), "  legacy-token\n\n");
        const settings::ServerEntry first = settings::servers().value(0);
        QCOMPARE(first.url, QStringLiteral("https://gammal.example"));
        QCOMPARE(settings::loadServerToken(first.id), QStringLiteral("legacy-token"));
        QCOMPARE(settings::servers().first().id, first.id);
        settings::removeServer(first.id);
        QVERIFY(settings::servers().isEmpty());
    }

    // A login to a known address updates that server's token and keeps its name; removing a server removes its
    // token file too.
    void loginUpdatesTheServerOfItsUrl()
    {
        const settings::ServerEntry stored
            = settings::addOrUpdateServer(QStringLiteral("https://Norv.Example/"), QStringLiteral("first"));
        settings::setServerName(stored.id, QStringLiteral("  Drift  "));
        const settings::ServerEntry again
            = settings::addOrUpdateServer(QStringLiteral(" https://norv.example/// "), QStringLiteral("second"));
        QCOMPARE(again.id + again.name, stored.id + QStringLiteral("Drift"));
        QCOMPARE(settings::loadServerToken(stored.id), QStringLiteral("second"));
    }

    void tokenFileNames_data()
    {
        testsupport::columns<QString, QString>("id", "fileName");
        // clang-format off
        QTest::newRow("path characters dropped") << "../a/b.c" << "abc";
        QTest::newRow("letters, digits, dash, underscore") << "AZaz09-Åö_" << "AZaz09-Åö_";
        QTest::newRow("letter outside the basic plane") << "x\U0001D400y" << "x\U0001D400y";
        QTest::newRow("vulgar fraction is no digit") << "\u00bd" << "_";
        // clang-format on
    }
    // A server id never leads a token file out of its directory.
    void tokenFileNames()
    {
        QFETCH(QString, id);
        QFETCH(QString, fileName);
        QCOMPARE(settings::serverTokenPath(id), tokenDir() + QLatin1Char('/') + fileName);
        settings::saveServerToken(id, QStringLiteral(" tök "));
        QCOMPARE(settings::loadServerToken(id), QStringLiteral("tök"));
    }

    // A new token file is never readable by others, not even while a long token is still being written: a watcher
    // thread looks at its mode the moment it appears, whatever the umask. An old one that others could read is
    // tightened, and the directory is closed to others.
    void tokenFileIsPrivate()
    {
        const QString path = settings::serverTokenPath(QStringLiteral("s1"));
        QDir().mkpath(tokenDir());
        const mode_t oldMask = ::umask(0);
        std::atomic<int> firstMode {-1};
        std::atomic<bool> stop {false};
        std::thread watcher([&, native = QFile::encodeName(path)] {
            for (struct stat info {}; !stop && firstMode < 0;) {
                if (::stat(native.constData(), &info) == 0)
                    firstMode = int(info.st_mode & 0777);
            }
        });
        settings::saveServerToken(QStringLiteral("s1"), QString(64 * 1024 * 1024, QLatin1Char('t')));
        stop = true;
        watcher.join();
        ::umask(oldMask);
        QCOMPARE(firstMode.load(), 0600);

        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        QFile::setPermissions(tokenDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther);
        settings::saveServerToken(QStringLiteral("s1"), QStringLiteral("ny"));
        QCOMPARE(modeOf(path), mode_t(0600));
        QCOMPARE(modeOf(tokenDir()), mode_t(0700));
    }

private:
    static QString tokenDir() { return testsupport::configHome() + QStringLiteral("/Trelvik/Norv GUI/tokens"); }
};

NORV_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
