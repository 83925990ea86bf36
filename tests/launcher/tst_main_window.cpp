// The real window against the loopback server with releases made by the publisher: what a
// player sees and what ends up in the game folder, driven through the window's own buttons.
#include "config/localization.h"
#include "config/settings.h"
#include "core/local_state.h"
#include "core/manifest.h"
#include "core/sha256.h"
#include "engine/update_engine.h"
#include "launcher/main_window.h"
#include "launcher/tray.h"
#include "launcher/self_update.h"
#include "launcher/update_workflow.h"
#include "net/proxy_settings.h"
#include "net/network_service.h"
#include "platform/process_list.h"
#include "publish/publisher.h"
#include "publish/release_keys.h"
#include "tests/engine/release_fixture.h"
#include "tests/support/game_process.h"
#include "tests/support/http_test_server.h"
#include "ui/artwork_navigation_button.h"
#include "ui/fantasy_launch_button.h"
#include "ui/game_utility_button.h"
#include "ui/main_window_view.h"
#include "ui/settings_dialog.h"
#include "ui/styled_check_box.h"
#include "ui/styled_spin_box.h"

#include <QAction>
#include <QDesktopServices>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QSettings>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace vorn;
using namespace vorn::test;

namespace {

constexpr int kWaitMs = 60000;
const char kClient[] = "SystemLegacy/vorn.exe";
const char kProfileArguments[] = "-window \"two words\" /en /ru";

// Records its arguments, one a line, and ends at once: a client that lingered would count as
// a running game for every test after it.
QByteArray recordingScript(const QString& marker)
{
    return QByteArray("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '")
           + QFile::encodeName(marker) + "'\n";
}

// A Windows program as far as the launcher can tell: an MZ header pointing at a PE header.
QByteArray windowsProgram()
{
    QByteArray bytes(128, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[0x3c] = 64;
    bytes.replace(64, 4, QByteArray("PE\0\0", 4));
    return bytes;
}

bool publishGame(const QString& folder, const QString& releaseId, const FileTree& files,
                 Manifest* manifest, QString* error)
{
    const QString source = QDir(folder).filePath(QStringLiteral("source-") + releaseId);
    QDir(source).removeRecursively();
    if (!writeTree(source, files)
        || !QFile::setPermissions(QDir(source).filePath(QLatin1String(kClient)),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        *error = QStringLiteral("cannot write the source tree");
        return false;
    }
    publish::ReleaseOptions options;
    options.sourceDir = source;
    options.repoDir = QDir(folder).filePath(QStringLiteral("repo"));
    options.privateKeyPath = QDir(folder).filePath(QStringLiteral("keys/release-private.pem"));
    options.releaseId = releaseId;
    options.chunking = smallChunks();
    options.compressionLevel = 1;
    options.launchProfiles = {{QStringLiteral("legacy"), QStringLiteral("Ostravel"),
                               QLatin1String(kClient), QLatin1String(kProfileArguments)}};
    publish::ReleaseSummary summary;
    return publish::publishRelease(options, &summary, error)
           && parseManifest(readFileBytes(QDir(options.repoDir).filePath(summary.manifestPath)),
                            manifest, error);
}

// Stands in for the desktop's browser: every URL the launcher asks to open.
class OpenedUrls final : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

QMap<QString, QVariant> iniValues()
{
    QSettings ini(launcherFilePath(QStringLiteral("launcher.ini")), QSettings::IniFormat);
    QMap<QString, QVariant> values;
    for (const QString& key : ini.allKeys())
        values.insert(key, ini.value(key));
    return values;
}

QByteArray sign(const QString& privateKeyPath, const QByteArray& data)
{
    publish::ReleaseKey key;
    std::vector<unsigned char> signature;
    std::string error;
    if (!publish::loadPrivateKeyFile(QFile::encodeName(privateKeyPath).toStdString(), &key, &error)
        || !publish::signRelease(key, platform::ByteSpan(data.constData(), size_t(data.size())), &signature, &error))
        qFatal("%s", error.c_str());
    return QByteArray(reinterpret_cast<const char*>(signature.data()), int(signature.size()));
}

bool makeExecutable(const QString& path, bool executable)
{
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner
                                           | (executable ? QFile::ExeOwner : QFile::Permissions()));
}

} // namespace

class TestMainWindow final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_shared;
    FileTree m_trees[3];
    Manifest m_manifests[3];
    QString m_marker;
    QString m_gameProcess; // the name this run's game checks look for

    QScopedPointer<QTemporaryDir> m_work;
    QScopedPointer<HttpTestServer> m_server;
    QScopedPointer<HttpTestServer> m_selfServer; // the launcher's own releases
    FileTree m_launcherTree;
    QStringList m_selfServers;
    std::unique_ptr<MainWindow> m_window;
    MainWindowView* m_view = nullptr;
    QByteArray m_path;

    QString shared(const QString& name) const { return m_shared.filePath(name); }
    QString work(const QString& name) const { return m_work->filePath(name); }
    QString game() const { return work(QStringLiteral("game")); }
    QString log() const { return m_view->miniLog->toPlainText(); }
    QString status() const { return m_view->statusLabel->text(); }
    QStringList marker() const
    {
        return QString::fromUtf8(readFileBytes(m_marker)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    int logCount(const QString& tag) const { return log().count(QLatin1Char('[') + tag + QLatin1Char(']')); }

    // Installs a release once for every test that starts from it.
    bool installTemplate(int index)
    {
        HttpTestServer server;
        QString error;
        if (!server.start(&error))
            return false;
        ReleaseRepository(shared(QStringLiteral("published"))).serve(&server);
        NetworkService network;
        UpdateEngine engine(&network);
        engine.setCacheRoot(shared(QStringLiteral("cache")));
        QSignalSpy ready(&engine, &UpdateEngine::ready);
        engine.start(m_manifests[index], server.url(QStringLiteral("/")),
                     shared(QStringLiteral("installed-r%1").arg(index + 1)), false);
        return ready.wait(kWaitMs) || ready.count() == 1;
    }

    // A launcher folder with launcher.json naming servers, the release key, settings, and a
    // game folder holding `installed` ("" for none); then the window.
    void start(const QStringList& servers, bool automatic, const QString& installed, bool key = true,
               const QByteArray& links = QByteArray())
    {
        setLauncherDirectory(work(QStringLiteral("launcher")));
        QVERIFY(QDir().mkpath(work(QStringLiteral("launcher"))));
        const auto list = [](const QStringList& urls) {
            return urls.isEmpty() ? QByteArray() : "\"" + urls.join(QStringLiteral("\", \"")).toUtf8() + "\"";
        };
        QVERIFY(writeFileBytes(work(QStringLiteral("launcher/launcher.json")),
                               "{" + links + "\"updateBaseUrls\": [" + list(servers) + "], \"selfUpdateBaseUrls\": ["
                                   + list(m_selfServers) + "]}"));
        if (key)
            QVERIFY(QFile::copy(shared(QStringLiteral("published/keys/public-key.blob")),
                                work(QStringLiteral("launcher/public-key.blob"))));
        ensureSettingsDefaults();
        setLanguage(QStringLiteral("en"));
        setAutomaticUpdates(automatic);
        setShowLog(true);
        setGameRoot(game());
        QVERIFY(copyTree(QStringLiteral(VORN_LOCALES_DIR), work(QStringLiteral("launcher/locales"))));
        if (!installed.isEmpty()) {
            QVERIFY(copyTree(shared(QStringLiteral("installed-") + installed), game()));
            setInstalledVersion(installed);
        }
        (void)loadCatalogues(QStringLiteral("en"), QStringLiteral(VORN_LOCALES_DIR));
        m_window = std::make_unique<MainWindow>();
        m_view = m_window->findChild<MainWindowView*>();
        QVERIFY(m_view);
        m_window->show();
    }

    // The settings dialog as the footer button opens it; `change` sets its controls, then OK.
    void acceptSettingsDialog(const std::function<void(SettingsDialog*)>& change)
    {
        QTest::mouseClick(m_view->settingsButton, Qt::LeftButton);
        auto* dialog = m_window->findChild<SettingsDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        change(dialog);
        QTest::mouseClick(dialog->okButton, Qt::LeftButton);
        QTRY_VERIFY(!m_window->findChild<SettingsDialog*>());
    }

    void serve(const QString& folder)
    {
        m_server->clearRoutes();
        ReleaseRepository(folder).serve(m_server.data());
    }

    QString launcherRepo() const { return shared(QStringLiteral("launcher-published/repo")); }
    QString stage() const { return work(QStringLiteral("launcher/cache/self-update/L2")); }
    LauncherSelfUpdate* self() const { return m_window->findChild<LauncherSelfUpdate*>(); }
    QStringList helperRun() const
    {
        return QString::fromUtf8(readFileBytes(shared(QStringLiteral("helper-ran.txt"))))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // The launcher at `version` with launcher releases on their own server; with a helper
    // that records how it was started, unless `helper` is "missing".
    void prepareLauncher(const QString& version, const QString& helper)
    {
        m_selfServers = QStringList{m_selfServer->url(QStringLiteral("/"))};
        QVERIFY(writeFileBytes(work(QStringLiteral("launcher/self-version.txt")), version.toUtf8()));
        if (helper == QLatin1String("missing"))
            return;
        const QString path = work(QStringLiteral("launcher/VornSelfUpdater"));
        const QByteArray record = QFile::encodeName(shared(QStringLiteral("helper-ran.txt")));
        QVERIFY(writeFileBytes(path, "#!/bin/sh\n{ for a in \"$@\"; do printf '%s\\n' \"$a\"; done; echo \"cwd=$(pwd)\"; } > '"
                                         + record + ".part' && mv '" + record + ".part' '" + record + "'\n"));
        QVERIFY(makeExecutable(path, helper == QLatin1String("ready")));
    }

    // The launcher release rewritten and signed again with the publisher's key: what a
    // careless or broken publishing step could put on the launcher server.
    void serveForgedLauncherRelease(const QString& releaseId, const QString& readmePath)
    {
        QByteArray manifest = readFileBytes(QDir(launcherRepo()).filePath(QStringLiteral("manifests/L2.json")));
        manifest.replace("\"releaseId\":\"L2\"", "\"releaseId\":\"" + releaseId.toUtf8() + '"')
            .replace("\"path\":\"readme.txt\"", "\"path\":\"" + readmePath.toUtf8() + '"');
        const QByteArray pointer = "{\"schema\":1,\"channel\":\"live\",\"releaseId\":\"" + releaseId.toUtf8()
                                   + "\",\"manifestPath\":\"manifests/forged.json\",\"manifestSha256\":\""
                                   + Sha256::hash(manifest).toHex() + "\"}";
        const QString key = shared(QStringLiteral("published/keys/release-private.pem"));
        m_selfServer->clearRoutes();
        m_selfServer->on("/channels/live.json", HttpResponse::text(200, pointer));
        m_selfServer->on("/channels/live.sig", HttpResponse::text(200, sign(key, pointer)));
        m_selfServer->on("/manifests/forged.json", HttpResponse::text(200, manifest));
        m_selfServer->on("/manifests/forged.sig", HttpResponse::text(200, sign(key, manifest)));
        ReleaseRepository(shared(QStringLiteral("launcher-published"))).serve(m_selfServer.data());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_shared.isValid());
        m_gameProcess = ownGameProcessName();
        m_marker = shared(QStringLiteral("launched.txt"));
        m_trees[0] = {{QLatin1String(kClient), recordingScript(m_marker)},
                      {QStringLiteral("data/a.pak"), randomBytes(200 * 1024, 31)},
                      {QStringLiteral("data/b.pak"), randomBytes(90 * 1024, 32)},
                      {QStringLiteral("readme.txt"), QByteArray("first\n")}};
        m_trees[1] = m_trees[0];
        QByteArray changed = m_trees[1].value(QStringLiteral("data/a.pak"));
        changed.replace(100 * 1024, 20 * 1024, randomBytes(20 * 1024, 33));
        m_trees[1].insert(QStringLiteral("data/a.pak"), changed);
        m_trees[1].insert(QStringLiteral("data/new.pak"), randomBytes(150 * 1024, 34));
        m_trees[1].insert(QStringLiteral("readme.txt"), QByteArray("second\n"));
        m_trees[2] = m_trees[1];
        m_trees[2].insert(QStringLiteral("data/new.pak"), randomBytes(150 * 1024, 35));

        QString error;
        const QString published = shared(QStringLiteral("published"));
        QVERIFY2(publish::generateKeyFiles(QDir(published).filePath(QStringLiteral("keys")), 2048, &error),
                 qPrintable(error));
        for (int i = 0; i < 2; ++i) {
            QVERIFY2(publishGame(published, QStringLiteral("r%1").arg(i + 1), m_trees[i], &m_manifests[i], &error),
                     qPrintable(error));
            QVERIFY(installTemplate(i));
        }

        m_launcherTree = {{QStringLiteral("VornLauncher"), randomBytes(120 * 1024, 41)},
                          {QStringLiteral("readme.txt"), QByteArray("L2\n")},
                          {QStringLiteral("extras/marker.txt"), QByteArray("new in L2\n")}};
        const QString launcherSource = shared(QStringLiteral("launcher-source"));
        QVERIFY(writeTree(launcherSource, m_launcherTree));
        QVERIFY(makeExecutable(QDir(launcherSource).filePath(QStringLiteral("VornLauncher")), true));
        publish::ReleaseOptions options;
        options.sourceDir = launcherSource;
        options.repoDir = launcherRepo();
        options.privateKeyPath = QDir(published).filePath(QStringLiteral("keys/release-private.pem"));
        options.releaseId = QStringLiteral("L2");
        options.chunking = smallChunks();
        publish::ReleaseSummary summary;
        QVERIFY2(publish::publishRelease(options, &summary, &error), qPrintable(error));
        m_path = qgetenv("PATH");
    }

    void init()
    {
        m_work.reset(new QTemporaryDir);
        QVERIFY(m_work->isValid());
        QFile::remove(m_marker);
        m_server.reset(new HttpTestServer);
        QString error;
        QVERIFY2(m_server->start(&error), qPrintable(error));
        serve(shared(QStringLiteral("published")));
        m_selfServers.clear();
        QFile::remove(shared(QStringLiteral("helper-ran.txt")));
        m_selfServer.reset(new HttpTestServer);
        QVERIFY2(m_selfServer->start(&error), qPrintable(error));
        ReleaseRepository(shared(QStringLiteral("launcher-published"))).serve(m_selfServer.data());
    }

    void cleanup()
    {
        m_window.reset();
        m_view = nullptr;
        m_server.reset();
        m_selfServer.reset();
        qputenv("PATH", m_path);
    }

    void updatesTheGame_data()
    {
        QTest::addColumn<bool>("automatic");
        QTest::newRow("automatic updates") << true;
        QTest::newRow("the check button installs") << false;
    }

    void updatesTheGame()
    {
        QFETCH(bool, automatic);
        start({m_server->url(QStringLiteral("/"))}, automatic, QStringLiteral("r1"));
        QVERIFY(!m_view->mirrorCheck->isEnabled());
        if (!automatic) {
            QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Update r2 is available"), kWaitMs);
            QCOMPARE(m_view->checkButton->toolTip(), QStringLiteral("Update"));
            QVERIFY(m_view->checkButton->isEnabled());
            QCOMPARE(installedVersion(), QStringLiteral("r1"));
            QTest::mouseClick(m_view->checkButton, Qt::LeftButton);
        }
        QTRY_COMPARE_WITH_TIMEOUT(installedVersion(), QStringLiteral("r2"), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("The game is ready"), kWaitMs);
        QCOMPARE(readTree(game()), m_trees[1]);
        QVERIFY(QFileInfo(QDir(game()).filePath(QLatin1String(kClient))).isExecutable());
        QCOMPARE(m_view->releaseLabel->text(), QStringLiteral("Installed version: r2"));
        QCOMPARE(m_view->progressPercent->text(), QStringLiteral("100%"));
        QVERIFY(m_view->playButton->isEnabled());
        QVERIFY(m_view->checkButton->isVisible() && !m_view->pauseButton->isVisible());
        QCOMPARE(m_view->checkButton->toolTip(), QStringLiteral("Check"));
        // Once, unless a game client elsewhere on the machine made it wait and start again.
        QCOMPARE(logCount(QStringLiteral("UPD-START")), 1 + logCount(QStringLiteral("UPD-GAME-EXIT")));
        QVERIFY(log().contains(QRegularExpression(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\] \\[UPD-START\\] Starting update r2$"),
                                                  QRegularExpression::MultilineOption)));
        // The same lines go to the log file beside the launcher.
        QCOMPARE(m_window->logFilePath(), work(QStringLiteral("launcher/logs/launcher.log")));
        QCOMPARE(QString::fromUtf8(readFileBytes(m_window->logFilePath())), log() + QLatin1Char('\n'));
    }

    void releaseFoundDuringDownload_data()
    {
        QTest::addColumn<QString>("ending"); // of the running download: finishes, expired, fails
        QTest::newRow("follows the running download") << "finishes";
        QTest::newRow("replaces a release whose blocks expired") << "expired";
        QTest::newRow("installed by hand, it is saved no longer") << "fails";
    }

    void releaseFoundDuringDownload()
    {
        QFETCH(QString, ending);
        const bool expired = ending == QLatin1String("expired");
        const QString folder = work(QStringLiteral("publisher"));
        QVERIFY(copyTree(shared(QStringLiteral("published")), folder));
        serve(folder);
        start({m_server->url(QStringLiteral("/"))}, false, QStringLiteral("r1"));
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Update r2 is available"), kWaitMs);

        // Paused while it plans, the download of r2 waits for the test.
        QTest::mouseClick(m_view->checkButton, Qt::LeftButton);
        QVERIFY(m_view->pauseButton->isVisible() && m_view->pauseButton->isEnabled());
        QTest::mouseClick(m_view->pauseButton, Qt::LeftButton);
        QCOMPARE(m_view->pauseButton->toolTip(), QStringLiteral("Resume"));
        QVERIFY(m_view->pauseButton->property("resumeGlyph").toBool());
        QCOMPARE(status(), QStringLiteral("Download paused"));

        Manifest third;
        QString error;
        QVERIFY2(publishGame(folder, QStringLiteral("r3"), m_trees[2], &third, &error), qPrintable(error));
        if (ending != QLatin1String("finishes")) {
            // The objects only r2 has: gone, or damaged for good.
            const QStringList kept = ReleaseRepository::objectUrlPaths(third) + ReleaseRepository::objectUrlPaths(m_manifests[0]);
            for (const QString& path : ReleaseRepository::objectUrlPaths(m_manifests[1])) {
                const QString file = QDir(folder).filePath(QStringLiteral("repo")) + path;
                if (!kept.contains(path))
                    QVERIFY(expired ? QFile::remove(file) : writeFileBytes(file, "damaged"));
            }
        }
        serve(folder);
        m_window->workflow()->periodicTick();
        QTRY_COMPARE_WITH_TIMEOUT(logCount(QStringLiteral("UPD-QUEUED")), 1, kWaitMs);
        QVERIFY(log().contains(QLatin1String("Update r3 was found while downloading r2.")));
        QCOMPARE(status(), QStringLiteral("Download paused"));

        QTest::mouseClick(m_view->pauseButton, Qt::LeftButton);
        QCOMPARE(m_view->pauseButton->toolTip(), QStringLiteral("Pause"));
        if (ending == QLatin1String("fails")) {
            QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QLatin1String("Update failed")), kWaitMs);
            // The player installs r3 by hand, then r4: the saved r3 must not follow r4.
            FileTree fourth = m_trees[2];
            fourth.insert(QStringLiteral("readme.txt"), QByteArray("fourth\n"));
            for (const QString& next : {QStringLiteral("r3"), QStringLiteral("r4")}) {
                if (next == QLatin1String("r4")) {
                    Manifest manifest;
                    QVERIFY2(publishGame(folder, next, fourth, &manifest, &error), qPrintable(error));
                    serve(folder);
                }
                // The button would try the failed r2 again; the timer's check finds the newest.
                m_window->workflow()->periodicTick();
                QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Update %1 is available").arg(next), kWaitMs);
                QTest::mouseClick(m_view->checkButton, Qt::LeftButton);
                QTRY_COMPARE_WITH_TIMEOUT(installedVersion(), next, kWaitMs);
                QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("The game is ready"), kWaitMs);
            }
            QCOMPARE(installedVersion(), QStringLiteral("r4"));
            QCOMPARE(readTree(game()), fourth);
            QCOMPARE(logCount(QStringLiteral("UPD-FOLLOW-UP")), 0);
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(installedVersion(), QStringLiteral("r3"), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("The game is ready"), kWaitMs);
        QCOMPARE(readTree(game()), m_trees[2]);
        QCOMPARE(logCount(QStringLiteral("UPD-FOLLOW-UP")), 1);
        QCOMPARE(logCount(QStringLiteral("UPD-RELEASE-EXPIRED")), expired ? 1 : 0);
        QVERIFY(log().contains(expired ? QStringLiteral("Release r1 is finished. Starting the saved release r3")
                                       : QStringLiteral("Release r2 is finished. Starting the saved release r3")));
        // The saved release starts without asking the server again.
        QCOMPARE(m_server->requests("/channels/live.json").size(), 2);
    }

    void updateWaitsForTheGameToExit()
    {
        const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
        if (sleep.isEmpty())
            QSKIP("no sleep program to stand in for the game client");
        const QString standIn = work(QStringLiteral("elsewhere/") + m_gameProcess);
        QVERIFY(QDir().mkpath(work(QStringLiteral("elsewhere"))));
        QVERIFY(QFile::copy(sleep, standIn));
        QProcess running;
        running.start(standIn, {QStringLiteral("120")});
        QVERIFY(running.waitForStarted());
        QTRY_VERIFY(platform::isGameRunning());

        start({m_server->url(QStringLiteral("/"))}, true, QStringLiteral("r1"));
        QTRY_COMPARE_WITH_TIMEOUT(logCount(QStringLiteral("UPD-WAIT-GAME")), 1, kWaitMs);
        QCOMPARE(status(), QStringLiteral("The game is running. The update will be installed after it closes"));
        QVERIFY(!m_view->checkButton->isEnabled());
        QCOMPARE(installedVersion(), QStringLiteral("r1"));
        QCOMPARE(readTree(game()), m_trees[0]);

        running.kill();
        running.waitForFinished();
        QTRY_COMPARE_WITH_TIMEOUT(logCount(QStringLiteral("UPD-GAME-EXIT")), 1, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(installedVersion(), QStringLiteral("r2"), kWaitMs);
        QCOMPARE(readTree(game()), m_trees[1]);
        QCOMPARE(logCount(QStringLiteral("UPD-WAIT-GAME")), 1);
    }

    void launcherUpdateWaitsForTheGameSide_data()
    {
        QTest::addColumn<bool>("gameDownload"); // else the game runs while the launcher downloads
        QTest::newRow("a game download holds the launcher download") << true;
        QTest::newRow("a running game holds the restart") << false;
    }

    void launcherUpdateWaitsForTheGameSide()
    {
        QFETCH(bool, gameDownload);
        const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
        if (sleep.isEmpty())
            QSKIP("no sleep program to stand in for the game client");
        const QString standIn = work(QStringLiteral("elsewhere/") + m_gameProcess);
        QVERIFY(QDir().mkpath(work(QStringLiteral("elsewhere"))) && QFile::copy(sleep, standIn));
        QProcess running;

        // Nothing newer at first when a game download is to hold the launcher's.
        prepareLauncher(QString::fromLatin1(gameDownload ? "L2" : "L1"), QStringLiteral("ready"));
        // An object of an earlier, interrupted game download, which the game will reuse.
        const QString gameObject = work(QStringLiteral("launcher/cache/objects/00/") + QString(64, QLatin1Char('0')) + QStringLiteral(".bin"));
        QVERIFY(writeFileBytes(gameObject, "kept"));
        start({m_server->url(QStringLiteral("/"))}, false, QStringLiteral("r1"));
        if (gameDownload) {
            QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Update r2 is available"), kWaitMs);
            QTest::mouseClick(m_view->checkButton, Qt::LeftButton);
            QTest::mouseClick(m_view->pauseButton, Qt::LeftButton);
            QVERIFY(writeFileBytes(work(QStringLiteral("launcher/self-version.txt")), "L1"));
            m_window->workflow()->periodicTick();
            QTRY_COMPARE_WITH_TIMEOUT(logCount(QStringLiteral("SELF-DEFERRED")), 1, kWaitMs);
            QVERIFY(!QFileInfo::exists(stage()));
            QTest::mouseClick(m_view->pauseButton, Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(installedVersion(), QStringLiteral("r2"), kWaitMs);
        } else {
            // The game starts while the launcher release downloads.
            connect(self(), &LauncherSelfUpdate::logLine, this, [&](const QString& tag) {
                if (tag == QLatin1String("SELF-UPDATE") && running.state() == QProcess::NotRunning) {
                    running.start(standIn, {QStringLiteral("120")});
                    QVERIFY(running.waitForStarted());
                }
            });
            QTRY_COMPARE_WITH_TIMEOUT(logCount(QStringLiteral("SELF-RESTART-DEFERRED")), 1, kWaitMs);
            QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Update r2 is available"), kWaitMs);
            QVERIFY(m_view->playButton->isEnabled());
            QVERIFY(helperRun().isEmpty() && !self()->isQuittingForSelfUpdate());
            running.kill();
            running.waitForFinished();
        }
        QTRY_VERIFY_WITH_TIMEOUT(self()->isQuittingForSelfUpdate(), kWaitMs);
        QTRY_VERIFY(!helperRun().isEmpty());
        const QStringList expected{"--wait-pid", QString::number(QCoreApplication::applicationPid()),
                                   "--stage", stage(), "--target", work(QStringLiteral("launcher")),
                                   "--version", "L2", "--launch", "VornLauncher",
                                   "cwd=" + work(QStringLiteral("launcher"))};
        QCOMPARE(helperRun(), expected);
        QCOMPARE(readTree(stage()), m_launcherTree);
        QVERIFY(QFileInfo(QDir(stage()).filePath(QStringLiteral("VornLauncher"))).isExecutable());
        QCOMPARE(logCount(QStringLiteral("SELF-UPDATE")), 1);
        // The game's install empties the object cache; the launcher's leaves it alone.
        QCOMPARE(QFileInfo::exists(gameObject), !gameDownload);
    }

    void launcherHandOverFails_data()
    {
        QTest::addColumn<QString>("helper");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<int>("downloads");
        QTest::addColumn<bool>("retried"); // the helper can start by the next check
        QTest::newRow("helper missing: nothing is downloaded") << "missing" << "SELF-UPDATER-MISSING" << 0 << false;
        QTest::newRow("helper that cannot start, retried at the next check")
            << "not executable" << "SELF-UPDATER-START" << 1 << true;
    }

    void launcherHandOverFails()
    {
        QFETCH(QString, helper);
        QFETCH(QString, tag);
        QFETCH(int, downloads);
        QFETCH(bool, retried);
        prepareLauncher(QStringLiteral("L1"), helper);
        start({m_server->url(QStringLiteral("/"))}, false, QStringLiteral("r2"));
        QTRY_COMPARE_WITH_TIMEOUT(logCount(tag), 1, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("The game is ready"), kWaitMs);
        QVERIFY(m_view->playButton->isEnabled() && m_view->checkButton->isEnabled());
        QVERIFY(!self()->isQuittingForSelfUpdate() && helperRun().isEmpty());
        QVERIFY(!QFileInfo::exists(stage()));

        if (retried) {
            // What kept the helper from starting is gone: the next check hands the release over.
            QVERIFY(makeExecutable(work(QStringLiteral("launcher/VornSelfUpdater")), true));
            m_window->workflow()->periodicTick();
            QTRY_VERIFY_WITH_TIMEOUT(self()->isQuittingForSelfUpdate(), kWaitMs);
            QTRY_VERIFY(!helperRun().isEmpty());
            QCOMPARE(helperRun().value(3), stage());
            QCOMPARE(readTree(stage()), m_launcherTree);
            QCOMPARE(logCount(tag), 1);
            QCOMPARE(logCount(QStringLiteral("SELF-UPDATE")), downloads + 1);
            return;
        }
        // The next tick finds the same release and leaves it alone.
        m_window->workflow()->periodicTick();
        QTRY_COMPARE_WITH_TIMEOUT(m_selfServer->requests("/channels/live.json").size(), 2, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requests("/channels/live.json").size(), 2, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("The game is ready"), kWaitMs);
        QCOMPARE(logCount(tag), 1);
        QCOMPARE(logCount(QStringLiteral("SELF-UPDATE")), downloads);
        QCOMPARE(readTree(work(QStringLiteral("launcher/cache/self-update"))), FileTree());
    }

    // The launcher's own download runs in the background: the player plays and checks
    // meanwhile. Held paused here, it stays under way for as long as the test needs.
    void theGameSideStaysUsableDuringTheLauncherDownload()
    {
        prepareLauncher(QStringLiteral("L1"), QStringLiteral("ready"));
        start({m_server->url(QStringLiteral("/"))}, false, QStringLiteral("r2"));
        const QString launcherCache = work(QStringLiteral("launcher/cache/launcher"));
        for (UpdateEngine* engine : m_window->findChildren<UpdateEngine*>()) {
            connect(engine, &UpdateEngine::statusChanged, this, [engine, launcherCache] {
                if (engine->cacheRoot() == launcherCache && engine->isRunning() && !engine->isPaused())
                    engine->setPaused(true);
            });
        }
        QTRY_VERIFY_WITH_TIMEOUT(self()->isEngineRunning() && logCount(QStringLiteral("SELF-UPDATE")) == 1, kWaitMs);
        QTRY_VERIFY(m_view->playButton->isEnabled());
        QVERIFY(m_view->checkButton->isEnabled());
        QVERIFY(m_window->tray()->launchAction()->isEnabled());

        QTest::mouseClick(m_view->playButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(marker(), QStringList{QStringLiteral("/en")}, kWaitMs);
        const int checks = m_server->requests("/channels/live.json").size();
        QTest::mouseClick(m_view->checkButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requests("/channels/live.json").size(), checks + 1, kWaitMs);
        QVERIFY(self()->isEngineRunning() && !self()->isQuittingForSelfUpdate());
    }

    // Once a check has failed, the client keeps retrying on its own; a tick, the Check button
    // and Use mirror still get answers of their own instead of waiting for a server to return.
    void aFailedCheckHoldsNothing()
    {
        start({deadServerUrl(), deadServerUrl()}, true, QStringLiteral("r2"));
        QTRY_COMPARE_WITH_TIMEOUT(logCount(QStringLiteral("NET-CHECK")), 1, kWaitMs);
        QTRY_VERIFY(m_view->checkButton->isEnabled());

        m_window->workflow()->periodicTick();
        QTRY_COMPARE_WITH_TIMEOUT(logCount(QStringLiteral("NET-CHECK")), 2, kWaitMs);
        QTRY_VERIFY(m_view->checkButton->isEnabled());

        m_view->mirrorCheck->click();
        QCOMPARE(logCount(QStringLiteral("NET-MIRROR-CHECK")), 1);
        QTRY_COMPARE_WITH_TIMEOUT(logCount(QStringLiteral("NET-MIRROR-FAILED")), 1, kWaitMs);
        QVERIFY(!m_view->mirrorCheck->isChecked() && !useMirror());

        QTest::mouseClick(m_view->checkButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(logCount(QStringLiteral("NET-CHECK")), 4, kWaitMs);
        QTRY_VERIFY(m_view->checkButton->isEnabled());
    }

    void launcherReleaseReachingOutsideIsRefused_data()
    {
        QTest::addColumn<QString>("releaseId");
        QTest::addColumn<QString>("readmePath");
        QTest::addColumn<QString>("tag");
        QTest::newRow("a file above the launcher folder") << "L2" << "../outside.txt" << "SELF-CHECK";
        QTest::newRow("a release id that climbs out of the staging folder") << "../../.." << "readme.txt" << "SELF-UPDATE";
        QTest::newRow("a file in the launcher's own cache") << "L2" << "cache/self-update/L2/readme.txt" << "SELF-UPDATE";
        QTest::newRow("the player's settings") << "L2" << "LAUNCHER.INI" << "SELF-UPDATE";
    }

    void launcherReleaseReachingOutsideIsRefused()
    {
        QFETCH(QString, releaseId);
        QFETCH(QString, readmePath);
        QFETCH(QString, tag);
        serveForgedLauncherRelease(releaseId, readmePath);
        prepareLauncher(QStringLiteral("L1"), QStringLiteral("ready"));
        QVERIFY(writeFileBytes(work(QStringLiteral("launcher/cache/keep.txt")), "kept"));
        start({m_server->url(QStringLiteral("/"))}, false, QStringLiteral("r2"));
        QTRY_COMPARE_WITH_TIMEOUT(logCount(tag), 1, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("The game is ready"), kWaitMs);
        QVERIFY(helperRun().isEmpty() && !self()->isQuittingForSelfUpdate());
        QVERIFY(!QFileInfo::exists(work(QStringLiteral("outside.txt"))));
        QVERIFY(!QFileInfo::exists(work(QStringLiteral("launcher/cache/self-update"))));
        QCOMPARE(readFileBytes(work(QStringLiteral("launcher/cache/keep.txt"))), QByteArray("kept"));
    }

    // Windows reads a name with trailing dots or blanks as the name without them, so such a
    // file of a launcher release would land on the installation's own.
    void launcherReleaseNamesAsWindowsReadsThem_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("refused");
        QTest::newRow("a release file") << "readme.txt" << false;
        QTest::newRow("an own name further down") << "extras/cache" << false;
        QTest::newRow("the settings") << "Launcher.INI" << true;
        QTest::newRow("the settings with a trailing dot") << "launcher.ini." << true;
        QTest::newRow("the cache with trailing blanks") << "cache  /self-update/L2/readme.txt" << true;
        QTest::newRow("the state folder with a dot and a blank") << ".vorn. /state.json" << true;
    }

    void launcherReleaseNamesAsWindowsReadsThem()
    {
        QFETCH(QString, path);
        QFETCH(bool, refused);
        Manifest release;
        release.releaseId = QStringLiteral("L2");
        ManifestFile file;
        file.path = path;
        release.files = {file};
        QCOMPARE(launcherReleaseProblem(release).isEmpty(), !refused);
    }

    void mirrors_data()
    {
        QTest::addColumn<QStringList>("servers"); // "main", "alias" (the same server by name), "dead"
        QTest::addColumn<bool>("toggle");
        QTest::addColumn<bool>("stopBeforeToggle");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("stored");
        QTest::newRow("main server down: the mirror answers and is used")
            << QStringList{"dead", "main"} << false << false << "NET-MIRROR-AUTO" << true << false;
        QTest::newRow("switch to a working mirror")
            << QStringList{"main", "alias"} << true << false << "NET-MIRROR-MANUAL" << true << true;
        QTest::newRow("switch to a dead mirror returns to the main server")
            << QStringList{"main", "dead"} << true << false << "NET-MIRROR-FALLBACK" << false << false;
        QTest::newRow("switch while both are down is reverted")
            << QStringList{"main", "dead"} << true << true << "NET-MIRROR-FAILED" << false << false;
    }

    void mirrors()
    {
        QFETCH(QStringList, servers);
        QFETCH(bool, toggle);
        QFETCH(bool, stopBeforeToggle);
        QFETCH(QString, tag);
        QStringList urls;
        for (const QString& kind : servers) {
            urls << (kind == QLatin1String("main") ? m_server->url(QStringLiteral("/"))
                     : kind == QLatin1String("alias") ? m_server->url(QStringLiteral("/"), QStringLiteral("localhost"))
                                                      : deadServerUrl());
        }
        start(urls, false, QString());
        QVERIFY(m_view->mirrorCheck->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Update r2 is available"), kWaitMs);
        if (toggle) {
            if (stopBeforeToggle)
                m_server.reset();
            m_view->mirrorCheck->click();
            QCOMPARE(logCount(QStringLiteral("NET-MIRROR-CHECK")), 1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(logCount(tag), 1, kWaitMs);
        QTEST(m_view->mirrorCheck->isChecked(), "checked");
        QTEST(useMirror(), "stored");
    }

    void startsFromTheStoredSettings_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::newRow("both on") << true;
        QTest::newRow("both off") << false;
    }

    void startsFromTheStoredSettings()
    {
        QFETCH(bool, stored);
        setLauncherDirectory(work(QStringLiteral("launcher")));
        ensureSettingsDefaults();
        setProxyEnabled(stored);
        setUseMirror(stored);
        start({m_server->url(QStringLiteral("/")), m_server->url(QStringLiteral("/"), QStringLiteral("localhost"))},
              false, QString());
        QCOMPARE(m_view->proxyCheck->isChecked(), stored);
        QCOMPARE(m_view->mirrorCheck->isChecked(), stored);
        m_view->proxyCheck->click();
        QCOMPARE(proxyEnabled(), !stored);
        QCOMPARE(m_view->proxyCheck->isChecked(), !stored);
    }

    void startupWithoutWhatTheChecksNeed_data()
    {
        QTest::addColumn<bool>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("no release key") << false << "Release public key is missing";
        QTest::newRow("no update server") << true << "launcher.json does not contain a secure update URL";
    }

    void startupWithoutWhatTheChecksNeed()
    {
        QFETCH(bool, key);
        QFETCH(QString, text);
        start(key ? QStringList() : QStringList{m_server->url(QStringLiteral("/"))}, true, QString(), key);
        if (key)
            QCOMPARE(status(), text);
        QTRY_COMPARE_WITH_TIMEOUT(logCount(QStringLiteral("NET-CHECK")), 1, kWaitMs);
        QVERIFY(log().contains(key ? QStringLiteral("No update server is configured") : text));
        QVERIFY(m_view->checkButton->isEnabled());
        QVERIFY(m_server->requests().isEmpty());
    }

    // A server replaying an older signed pointer installs nothing, and the status line says why.
    void olderReleasePointerIsRefused()
    {
        QVERIFY(copyTree(shared(QStringLiteral("installed-r2")), game()));
        Manifest installed = m_manifests[1];
        installed.channelSequence = 2;
        QVERIFY(writeInstalledManifest(QDir(game()), installed));
        const ReleaseRepository repository(shared(QStringLiteral("published")));
        const QByteArray pointer = publish::channelPointerJson(
            QStringLiteral("r1"), QStringLiteral("manifests/r1.json"),
            Sha256::hash(readFileBytes(repository.manifestFile(QStringLiteral("r1")))), 1);
        publish::ReleaseKey key;
        std::string failure;
        QByteArray signature;
        QString error;
        QVERIFY(publish::loadPrivateKeyFile(shared(QStringLiteral("published/keys/release-private.pem")).toStdString(),
                                            &key, &failure)
                && publish::signBytes(key, pointer, &signature, &error));
        m_server->clearRoutes();
        m_server->on("/channels/live.json", HttpResponse::text(200, pointer));
        m_server->on("/channels/live.sig", HttpResponse::text(200, signature));
        repository.serve(m_server.data());
        start({m_server->url(QStringLiteral("/"))}, true, QString());
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Could not check for updates: Release pointer is "
                                                           "older than one already seen"), kWaitMs);
        QCOMPARE(readTree(game()), m_trees[1]);
    }

    void gameFolderChange_data()
    {
        QTest::addColumn<bool>("busy");
        QTest::newRow("refused while an update runs") << true;
        QTest::newRow("idle: the new folder gets the release") << false;
    }

    void gameFolderChange()
    {
        QFETCH(bool, busy);
        start({m_server->url(QStringLiteral("/"))}, false, QStringLiteral("r1"));
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Update r2 is available"), kWaitMs);
        if (busy) {
            QTest::mouseClick(m_view->checkButton, Qt::LeftButton);
            QTest::mouseClick(m_view->pauseButton, Qt::LeftButton);
        }
        acceptSettingsDialog([this](SettingsDialog* dialog) {
            dialog->gameFolderEdit->setText(QDir::toNativeSeparators(work(QStringLiteral("other"))));
        });
        if (busy) {
            auto* message = m_window->findChild<QDialog*>(QStringLiteral("launcherMessage"));
            QTRY_VERIFY(message && message->isVisible());
            QCOMPARE(gameRoot(), game());
            QCOMPARE(installedVersion(), QStringLiteral("r1"));
            QTest::mouseClick(m_view->pauseButton, Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(installedVersion(), QStringLiteral("r2"), kWaitMs);
            QCOMPARE(readTree(game()), m_trees[1]);
        } else {
            QCOMPARE(gameRoot(), work(QStringLiteral("other")));
            QCOMPARE(installedVersion(), QString());
            QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Update r2 is available"), kWaitMs);
            QTest::mouseClick(m_view->checkButton, Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(installedVersion(), QStringLiteral("r2"), kWaitMs);
            QCOMPARE(readTree(work(QStringLiteral("other"))), m_trees[1]);
            QCOMPARE(readTree(game()), m_trees[0]);
        }
    }

    void settingsDialogStoresWhatChanged()
    {
        start({m_server->url(QStringLiteral("/"))}, false, QStringLiteral("r2"));
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("The game is ready"), kWaitMs);
        QVERIFY(m_view->miniLog->isVisible());
        const int newsHeight = m_view->newsList->height();
        const QMap<QString, QVariant> before = iniValues();
        acceptSettingsDialog([](SettingsDialog* dialog) {
            dialog->intervalSpin->setValue(30);
            QTest::mouseClick(dialog->showLogCheck, Qt::LeftButton);
            QTest::mouseClick(dialog->rateLimitCheck, Qt::LeftButton);
            dialog->rateSpin->setValue(5);
        });
        const QMap<QString, QVariant> after = iniValues();
        QStringList changed;
        for (const QString& key : after.keys()) {
            if (before.value(key) != after.value(key))
                changed << key;
        }
        QCOMPARE(changed, (QStringList{"Launcher/DownloadRateLimitEnabled", "Launcher/DownloadRateLimitMBps",
                                       "Launcher/ShowLog", "Launcher/UpdateCheckIntervalMinutes"}));
        // Applied at once: the log gives its room back to the news, the timer runs anew.
        QVERIFY(m_view->miniLog->isHidden());
        QVERIFY(m_view->newsList->height() > newsHeight);
        auto* timer = m_window->findChild<QTimer*>(QStringLiteral("checkTimer"));
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 30 * 60000);
        QCOMPARE(status(), QStringLiteral("The game is ready"));
    }

    void notificationClickInstallsAndSettingsLinkOpens()
    {
        start({m_server->url(QStringLiteral("/"))}, false, QStringLiteral("r1"));
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Update r2 is available"), kWaitMs);
        m_window->hide();
        // A click on the "Click to update" balloon: the window comes back, the update starts.
        emit m_window->tray()->qtIcon()->messageClicked();
        QVERIFY(m_window->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(installedVersion(), QStringLiteral("r2"), kWaitMs);
        QCOMPARE(logCount(QStringLiteral("UPD-START")), 1);

        auto* link = new QLabel(QStringLiteral("settings"), m_view->footer);
        link->setProperty("settingsLink", true);
        link->show();
        QTest::mouseClick(link, Qt::LeftButton);
        auto* dialog = m_window->findChild<SettingsDialog*>();
        QVERIFY(dialog && dialog->isVisible());
    }

    void links()
    {
        start({m_server->url(QStringLiteral("/"))}, false, QStringLiteral("r2"), true,
              "\"siteUrl\": \"https://ostravel.example/\", \"discordUrl\": \"\", "
              "\"forumUrl\": \"http://forum.ostravel.example/\", \"telegramUrl\": \"javascript:alert(1)\", "
              "\"supportUrl\": \"https://help.ostravel.example/{lang}/ask\", "
              "\"streamsUrl\": \"file:///etc/passwd\", ");
        OpenedUrls opened;
        const QStringList schemes{"https", "http", "javascript", "file"};
        for (const QString& scheme : schemes)
            QDesktopServices::setUrlHandler(scheme, &opened, "open");
        const struct
        {
            QAbstractButton* button;
            const char* url; // empty: the button cannot be clicked
        } expected[] = {
            {m_view->headerLogo, "https://ostravel.example/"},
            {m_view->brandWordmark, "https://ostravel.example/"},
            {m_view->discordButton, "http://forum.ostravel.example/"},
            {m_view->telegramButton, "https://ostravel.example/"},
            {m_view->knowledgeButton, ""},
            {m_view->supportButton, "https://help.ostravel.example/EN/ask"},
            {m_view->streamsButton, ""},
        };
        for (const auto& link : expected) {
            opened.urls.clear();
            QTest::mouseClick(link.button, Qt::LeftButton);
            QCOMPARE(link.button->isEnabled(), *link.url != '\0');
            QCOMPARE(opened.urls, *link.url ? QList<QUrl>{QUrl(QLatin1String(link.url))} : QList<QUrl>());
        }
        for (const QString& scheme : schemes)
            QDesktopServices::unsetUrlHandler(scheme);
    }

    void languageSwitchDuringAnUpdate()
    {
        start({m_server->url(QStringLiteral("/"))}, false, QStringLiteral("r1"));
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Update r2 is available"), kWaitMs);
        QTest::mouseClick(m_view->checkButton, Qt::LeftButton);
        QTest::mouseClick(m_view->pauseButton, Qt::LeftButton);
        QCOMPARE(status(), QStringLiteral("Download paused"));
        QVERIFY(!m_window->tray()->launchAction()->isEnabled());

        m_view->languageMenu->actions().at(0)->trigger(); // RU
        QCOMPARE(language(), QStringLiteral("ru"));
        QCOMPARE(status(), QStringLiteral("Загрузка приостановлена"));
        QCOMPARE(m_view->pauseButton->toolTip(), QStringLiteral("Продолжить"));
        QCOMPARE(m_window->tray()->openAction()->text(), QStringLiteral("Открыть"));
        QCOMPARE(m_window->tray()->exitAction()->text(), QStringLiteral("Выход"));
        QVERIFY(!m_window->tray()->launchAction()->isEnabled());

        QTest::mouseClick(m_view->pauseButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(installedVersion(), QStringLiteral("r2"), kWaitMs);
        QTRY_COMPARE(status(), QStringLiteral("Игра готова к запуску"));
        QVERIFY(m_window->tray()->launchAction()->isEnabled());
    }

    void play_data()
    {
        QTest::addColumn<QString>("installed");
        QTest::addColumn<QString>("client"); // "script", "windows" or "missing"
        QTest::addColumn<bool>("wine");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("tag");
        const QStringList profile{"-window", "two words", "/en"};
        QTest::newRow("profile arguments and one language switch, last")
            << "r2" << "script" << false << profile << "";
        QTest::newRow("a pending update is installed first")
            << "r1" << "script" << false << profile << "GAME-AFTER-UPDATE";
        QTest::newRow("missing client") << "r2" << "missing" << false << QStringList() << "GAME-NOT-FOUND";
        QTest::newRow("Windows client through Wine")
            << "r2" << "windows" << true << (QStringList{"{client}"} + profile) << "";
        QTest::newRow("Windows client without Wine")
            << "r2" << "windows" << false << QStringList() << "GAME-LAUNCH";
    }

    void play()
    {
        QFETCH(QString, installed);
        QFETCH(QString, client);
        QFETCH(bool, wine);
        QFETCH(QStringList, arguments);
        QFETCH(QString, tag);
        start({m_server->url(QStringLiteral("/"))}, false, installed);
        QTRY_VERIFY_WITH_TIMEOUT(m_view->playButton->isEnabled() && !m_view->checkButton->toolTip().isEmpty()
                                     && (status() == QLatin1String("The game is ready")
                                         || status() == QLatin1String("Update r2 is available")),
                                 kWaitMs);

        const QString clientPath = QDir(game()).filePath(QLatin1String(kClient));
        if (client == QLatin1String("missing")) {
            QVERIFY(QFile::remove(clientPath));
        } else if (client == QLatin1String("windows")) {
            QVERIFY(writeFileBytes(clientPath, windowsProgram()));
            const QString bin = work(QStringLiteral("bin"));
            QVERIFY(QDir().mkpath(bin));
            if (wine) {
                QVERIFY(writeFileBytes(QDir(bin).filePath(QStringLiteral("wine")), recordingScript(m_marker)));
                QVERIFY(QFile::setPermissions(QDir(bin).filePath(QStringLiteral("wine")),
                                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            }
            qputenv("PATH", QFile::encodeName(bin));
        }
        arguments.replaceInStrings(QStringLiteral("{client}"), clientPath);

        QTest::mouseClick(m_view->playButton, Qt::LeftButton);
        if (!tag.isEmpty())
            QTRY_VERIFY_WITH_TIMEOUT(logCount(tag) > 0, kWaitMs);
        if (!arguments.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(marker(), arguments, kWaitMs);
        } else {
            auto* message = m_window->findChild<QDialog*>(QStringLiteral("launcherMessage"));
            QTRY_VERIFY(message && message->isVisible());
            QVERIFY(!QFileInfo::exists(m_marker));
            if (!wine && client == QLatin1String("windows"))
                QVERIFY(log().contains(QLatin1String("Wine is not installed")));
        }
        if (installed == QLatin1String("r1")) {
            QCOMPARE(logCount(QStringLiteral("GAME-WAIT-UPDATE")), 1);
            QCOMPARE(installedVersion(), QStringLiteral("r2"));
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
