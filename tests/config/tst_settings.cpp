#include "config/settings.h"
#include "config/writable_places.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using namespace vorn;

class TestSettings final : public QObject
{
    Q_OBJECT

private:
    QScopedPointer<QTemporaryDir> m_parent;
    QScopedPointer<QTemporaryDir> m_dir;

    QString iniPath() const { return m_dir->filePath(QStringLiteral("launcher.ini")); }

    void writeIni(const QByteArray& content)
    {
        QFile file(iniPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    // launcher.ini as text: "Group/Key" -> the value exactly as written.
    QMap<QString, QString> rawIni()
    {
        QMap<QString, QString> values;
        QFile file(iniPath());
        if (!file.open(QIODevice::ReadOnly))
            return values;
        QString group;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
            const QString text = line.trimmed();
            if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
                group = text.mid(1, text.size() - 2);
            else if (text.contains(QLatin1Char('=')))
                values.insert(group + QLatin1Char('/') + text.section(QLatin1Char('='), 0, 0),
                              text.section(QLatin1Char('='), 1));
        }
        return values;
    }

    // What each getter of this layer gives; the Proxy group is read by the network layer.
    static QVariant readBack(const QString& key)
    {
        const QHash<QString, std::function<QVariant()>> getters{
            {QStringLiteral("Launcher/Language"), [] { return QVariant(language()); }},
            {QStringLiteral("Launcher/AutomaticUpdates"), [] { return QVariant(automaticUpdates()); }},
            {QStringLiteral("Launcher/UpdateNotificationsEnabled"), [] { return QVariant(updateNotificationsEnabled()); }},
            {QStringLiteral("Launcher/CloseToTray"), [] { return QVariant(closeToTray()); }},
            {QStringLiteral("Launcher/MinimizeOnGameLaunch"), [] { return QVariant(minimizeOnGameLaunch()); }},
            {QStringLiteral("Launcher/ShowLog"), [] { return QVariant(showLog()); }},
            {QStringLiteral("Launcher/UpdateCheckIntervalMinutes"), [] { return QVariant(updateCheckIntervalMinutes()); }},
            {QStringLiteral("Launcher/DownloadRateLimitEnabled"), [] { return QVariant(downloadRateLimitEnabled()); }},
            {QStringLiteral("Launcher/DownloadRateLimitMBps"), [] { return QVariant(downloadRateLimitMBps()); }},
            {QStringLiteral("Launcher/UseMirror"), [] { return QVariant(useMirror()); }},
            {QStringLiteral("Game/Root"), [] { return QVariant(vorn::gameRoot()); }},
            {QStringLiteral("Game/InstalledVersion"), [] { return QVariant(installedVersion()); }},
            {QStringLiteral("Notifications/LastVersion"), [] { return QVariant(lastNotifiedVersion()); }},
        };
        const auto getter = getters.constFind(key);
        return getter == getters.constEnd() ? QVariant() : (*getter)();
    }

private slots:
    void init()
    {
        // A folder one level down, so the default game folder "../Ostravel" stays inside it.
        m_dir.reset();
        m_parent.reset(new QTemporaryDir);
        m_dir.reset(new QTemporaryDir(m_parent->path() + QStringLiteral("/launcherXXXXXX")));
        QVERIFY(m_dir->isValid());
        setLauncherDirectory(m_dir->path());
    }

    void cleanupTestCase() { setLauncherDirectory(QString()); }

    // Every default as the start-up step writes it, and as its getter reads it when the key is
    // missing. "GAME" stands for the default game folder.
    void defaults_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QVariant>("read"); // invalid: no getter in this layer
        const QVariant none;
        QTest::newRow("language") << "Launcher/Language" << "ru" << QVariant("ru");
        QTest::newRow("automatic updates") << "Launcher/AutomaticUpdates" << "true" << QVariant(true);
        QTest::newRow("notifications") << "Launcher/UpdateNotificationsEnabled" << "true" << QVariant(true);
        QTest::newRow("close to tray") << "Launcher/CloseToTray" << "true" << QVariant(true);
        QTest::newRow("minimize on launch") << "Launcher/MinimizeOnGameLaunch" << "true" << QVariant(true);
        QTest::newRow("show log") << "Launcher/ShowLog" << "false" << QVariant(false);
        QTest::newRow("check interval") << "Launcher/UpdateCheckIntervalMinutes" << "5" << QVariant(5);
        QTest::newRow("rate limit on") << "Launcher/DownloadRateLimitEnabled" << "false" << QVariant(false);
        QTest::newRow("rate limit") << "Launcher/DownloadRateLimitMBps" << "10" << QVariant(10);
        QTest::newRow("mirror") << "Launcher/UseMirror" << "false" << QVariant(false);
        QTest::newRow("profile") << "Game/Profile" << "legacy" << none;
        QTest::newRow("game folder") << "Game/Root" << "GAME" << QVariant("GAME");
        QTest::newRow("installed version") << "Game/InstalledVersion" << "" << QVariant("");
        QTest::newRow("last notified") << "Notifications/LastVersion" << "" << QVariant("");
        QTest::newRow("proxy mode") << "Proxy/Mode" << "system" << none;
        QTest::newRow("proxy switch") << "Proxy/Enabled" << "false" << none;
        QTest::newRow("proxy host") << "Proxy/Host" << "" << none;
        QTest::newRow("proxy port") << "Proxy/Port" << "8080" << none;
        QTest::newRow("proxy user") << "Proxy/User" << "" << none;
        QTest::newRow("proxy password") << "Proxy/PasswordProtected" << "@ByteArray()" << none;
    }

    void defaults()
    {
        QFETCH(QString, key);
        QFETCH(QString, written);
        QFETCH(QVariant, read);
        const QString game = m_parent->path() + QStringLiteral("/Ostravel");
        if (written == QLatin1String("GAME"))
            written = QDir::toNativeSeparators(game);
        if (read.userType() == QMetaType::QString && read.toString() == QLatin1String("GAME"))
            read = game;

        ensureSettingsDefaults();
        const QMap<QString, QString> ini = rawIni();
        QCOMPARE(ini.size(), 20);
        QCOMPARE(ini.value(key, QStringLiteral("<missing>")), written);
        QVERIFY(QFile::remove(iniPath()));
        if (read.isValid())
            QCOMPARE(readBack(key).toString(), read.toString());
    }

    void presentValuesSurviveDefaults()
    {
        writeIni("[Launcher]\nUpdateCheckIntervalMinutes=0\nCloseToTray=false\n");
        ensureSettingsDefaults();
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.value("Launcher/UpdateCheckIntervalMinutes").toInt(), 0);
        QCOMPARE(closeToTray(), false);
        QCOMPARE(updateCheckIntervalMinutes(), 1);
    }

    void migration_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("interval");
        QTest::newRow("old layout only")
            << QByteArray("[General]\nLanguage=en\nUpdateCheckIntervalMinutes=30\nOther=1\n")
            << "en" << 30;
        QTest::newRow("old layout as a General group")
            << QByteArray("[%General]\nLanguage=en\nCloseToTray=false\n") << "en" << 5;
        QTest::newRow("both layouts: new wins")
            << QByteArray("[General]\nLanguage=en\n[Launcher]\nLanguage=ru\n") << "ru" << 5;
        QTest::newRow("nothing to migrate") << QByteArray() << "ru" << 5;
    }

    void migration()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, language);
        QFETCH(int, interval);
        writeIni(content);
        ensureSettingsDefaults();
        QSettings ini(iniPath(), QSettings::IniFormat);
        QVERIFY(ini.childGroups().indexOf(QStringLiteral("General")) < 0);
        QVERIFY(ini.childKeys().isEmpty());
        QCOMPARE(ini.value("Launcher/Language").toString(), language);
        QCOMPARE(updateCheckIntervalMinutes(), interval);
        QCOMPARE(ini.allKeys().size(), 20);
    }

    void clampedIntegers_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("read");
        QTest::newRow("interval 0") << "Launcher/UpdateCheckIntervalMinutes" << "0" << 1;
        QTest::newRow("interval 5000") << "Launcher/UpdateCheckIntervalMinutes" << "5000" << 1440;
        // Text that is no number reads as the default, not as the smallest value.
        QTest::newRow("interval text") << "Launcher/UpdateCheckIntervalMinutes" << "abc" << 5;
        QTest::newRow("interval empty") << "Launcher/UpdateCheckIntervalMinutes" << "" << 5;
        QTest::newRow("interval beyond int") << "Launcher/UpdateCheckIntervalMinutes" << "99999999999" << 1440;
        QTest::newRow("rate 0") << "Launcher/DownloadRateLimitMBps" << "0" << 1;
        QTest::newRow("rate 4096") << "Launcher/DownloadRateLimitMBps" << "4096" << 1024;
        QTest::newRow("rate 50") << "Launcher/DownloadRateLimitMBps" << "50" << 50;
        QTest::newRow("rate text") << "Launcher/DownloadRateLimitMBps" << "fast" << 10;
        QTest::newRow("rate fraction") << "Launcher/DownloadRateLimitMBps" << "2.5" << 10;
    }

    void clampedIntegers()
    {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(int, read);
        writeIni("[" + key.section('/', 0, 0).toUtf8() + "]\n" + key.section('/', 1).toUtf8()
                 + "=" + stored.toUtf8() + "\n");
        const int value = key.endsWith(QLatin1String("MBps")) ? downloadRateLimitMBps()
                                                               : updateCheckIntervalMinutes();
        QCOMPARE(value, read);
    }

    void settersClampAndNormalise()
    {
        setUpdateCheckIntervalMinutes(0);
        setDownloadRateLimitMBps(100000);
        setLanguage(QStringLiteral("  EN "));
        setInstalledVersion(QStringLiteral(" r42 \t"));
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.value("Launcher/UpdateCheckIntervalMinutes").toInt(), 1);
        QCOMPARE(ini.value("Launcher/DownloadRateLimitMBps").toInt(), 1024);
        QCOMPARE(ini.value("Launcher/Language").toString(), QStringLiteral("en"));
        QCOMPARE(ini.value("Game/InstalledVersion").toString(), QStringLiteral("r42"));
    }

    void languageReadsTrimmedLowerCase_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("read");
        QTest::newRow("blanks and capitals") << QByteArray("\"  EN \"") << "en";
        QTest::newRow("empty") << QByteArray("") << "ru";
        QTest::newRow("blank") << QByteArray("\"   \"") << "ru";
    }

    void languageReadsTrimmedLowerCase()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, read);
        writeIni("[Launcher]\nLanguage=" + stored + "\n");
        QCOMPARE(language(), read);
    }

    void gameRoot_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expectedRelativeToLauncher");
        QTest::newRow("empty") << "" << "../Ostravel";
        QTest::newRow("blank") << "   " << "../Ostravel";
        QTest::newRow("backslashes and dots") << "GAMES\\\\x\\\\..\\\\Game" << "GAMES/Game";
    }

    void gameRoot()
    {
        QFETCH(QString, stored);
        QFETCH(QString, expectedRelativeToLauncher);
        // Relative texts resolve against the current directory.
        const QString previous = QDir::currentPath();
        QDir::setCurrent(m_dir->path());
        writeIni("[Game]\nRoot=\"" + stored.toUtf8() + "\"\n");
        const QString root = vorn::gameRoot();
        QDir::setCurrent(previous);
        QCOMPARE(root, QDir::cleanPath(m_dir->path() + QLatin1Char('/') + expectedRelativeToLauncher));
    }

    void gameRootWriteUsesDefaultForEmpty()
    {
        setGameRoot(QStringLiteral("  "));
        QCOMPARE(vorn::gameRoot(), defaultGameRoot());
        setGameRoot(m_dir->path() + QStringLiteral("/a/./b/"));
        QCOMPARE(vorn::gameRoot(), m_dir->path() + QStringLiteral("/a/b"));
    }

    // Where each kind of file goes. "P" stands for the program's folder, "H" for home.
    void places_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<bool>("userFolders"); // false: a system without them (Windows)
        QTest::addColumn<QStringList>("expected"); // settings, state, cache, game folder base
        const QStringList beside{"P", "P", "P/cache", "P/.."};
        const QStringList defaults{"H/.config/vorn-launcher", "H/.local/state/vorn-launcher",
                                   "H/.cache/vorn-launcher", "H/.local/share"};
        const QStringList all{"XDG_CONFIG_HOME=/x/conf", "XDG_STATE_HOME=/x/state", "XDG_CACHE_HOME=/x/cache",
                              "XDG_DATA_HOME=/x/data"};
        QTest::newRow("writable: beside, whatever the variables") << true << all << true << beside;
        QTest::newRow("read-only, variables unset") << false << QStringList() << true << defaults;
        QTest::newRow("read-only, variables set")
            << false << all << true
            << QStringList{"/x/conf/vorn-launcher", "/x/state/vorn-launcher", "/x/cache/vorn-launcher", "/x/data"};
        QTest::newRow("read-only, variables empty")
            << false << QStringList{"XDG_CONFIG_HOME=", "XDG_STATE_HOME=", "XDG_CACHE_HOME=", "XDG_DATA_HOME="}
            << true << defaults;
        QTest::newRow("read-only, relative variables")
            << false << QStringList{"XDG_CONFIG_HOME=conf", "XDG_STATE_HOME=./state", "XDG_CACHE_HOME=cache/",
                                    "XDG_DATA_HOME=../data"}
            << true << defaults;
        QTest::newRow("read-only, one variable set")
            << false << QStringList{"XDG_CACHE_HOME=/x/cache/"} << true
            << QStringList{defaults.at(0), defaults.at(1), "/x/cache/vorn-launcher", defaults.at(3)};
        QTest::newRow("read-only without user folders: beside") << false << all << false << beside;
    }

    void places()
    {
        QFETCH(bool, writable);
        QFETCH(QStringList, environment);
        QFETCH(bool, userFolders);
        QFETCH(QStringList, expected);
        QProcessEnvironment variables;
        for (const QString& entry : environment)
            variables.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
        const QString program = QStringLiteral("/opt/vorn/launcher");
        const QString home = QStringLiteral("/home/player");
        const UserBaseFolders bases = userFolders ? xdgBaseFolders(variables, home) : UserBaseFolders();
        const WritablePlaces places = choosePlaces(program, writable, QStringLiteral("vorn-launcher"), bases);
        const QStringList got{places.settings.path(), places.state.path(), places.cache.path(),
                              places.gameFolderBase};
        QStringList want;
        for (QString path : expected) {
            if (path.startsWith(QLatin1Char('P')))
                path = QDir::cleanPath(program + path.mid(1));
            else if (path.startsWith(QLatin1Char('H')))
                path = home + path.mid(1);
            want << path;
        }
        QCOMPARE(got, want);
        QCOMPARE(places.besideProgram, writable || !userFolders);
    }

    // Writable is what can be done, found out by doing it.
    void canCreateFiles_data()
    {
        QTest::addColumn<QString>("folder"); // "TEMP" stands for a fresh temporary folder
        QTest::addColumn<bool>("readOnlyHook");
        QTest::addColumn<bool>("canCreate");
        QTest::addColumn<bool>("programWritable");
        QTest::newRow("a folder of ours") << "TEMP" << false << true << true;
        QTest::newRow("a folder of ours, test hook set") << "TEMP" << true << true << false;
        QTest::newRow("missing folder: made later by whoever named it") << "TEMP/missing" << false << false << true;
        QTest::newRow("a file, not a folder") << "TEMP/file" << false << false << false;
#ifdef Q_OS_LINUX
        // Unwritable for root too, where mode bits would not stop it.
        QTest::newRow("a folder nobody may create files in") << "/proc" << false << false << false;
#endif
    }

    void canCreateFiles()
    {
        QFETCH(QString, folder);
        QFETCH(bool, readOnlyHook);
        QFETCH(bool, canCreate);
        QFETCH(bool, programWritable);
        QTemporaryDir temp;
        QFile file(temp.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        folder.replace(QStringLiteral("TEMP"), temp.path());
        if (readOnlyHook)
            qputenv("VORN_TEST_READONLY_PROGRAM_DIR", "1");
        const bool writable = programFolderWritable(folder);
        qunsetenv("VORN_TEST_READONLY_PROGRAM_DIR");
        QCOMPARE(canCreateFilesIn(folder), canCreate);
        QCOMPARE(writable, programWritable);
        // The probe leaves nothing behind.
        QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("file")});
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
