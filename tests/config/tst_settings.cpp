#include "config/settings.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

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

    void defaultsAreWrittenInOrder()
    {
        ensureSettingsDefaults();
        QSettings ini(iniPath(), QSettings::IniFormat);
        QCOMPARE(ini.allKeys().size(), 20);
        QCOMPARE(ini.value("Launcher/Language").toString(), QStringLiteral("ru"));
        QCOMPARE(ini.value("Launcher/UpdateCheckIntervalMinutes").toInt(), 5);
        QCOMPARE(ini.value("Launcher/DownloadRateLimitMBps").toInt(), 10);
        QCOMPARE(ini.value("Game/Profile").toString(), QStringLiteral("legacy"));
        QCOMPARE(ini.value("Proxy/Port").toInt(), 8080);
        QCOMPARE(ini.value("Proxy/Mode").toString(), QStringLiteral("system"));
        QCOMPARE(QDir::fromNativeSeparators(ini.value("Game/Root").toString()),
                 m_parent->path() + QStringLiteral("/Ostravel"));
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
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
