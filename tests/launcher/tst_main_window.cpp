// The real window against the loopback server with releases made by the publisher: what a
// player sees and what ends up in the game folder, driven through the window's own buttons.
#include "config/localization.h"
#include "config/settings.h"
#include "core/local_state.h"
#include "core/manifest.h"
#include "core/sha256.h"
#include "engine/update_engine.h"
#include "launcher/main_window.h"
#include "launcher/update_workflow.h"
#include "net/proxy_settings.h"
#include "net/network_service.h"
#include "platform/process_list.h"
#include "publish/publisher.h"
#include "publish/release_keys.h"
#include "tests/engine/release_fixture.h"
#include "tests/support/http_test_server.h"
#include "ui/fantasy_launch_button.h"
#include "ui/game_utility_button.h"
#include "ui/main_window_view.h"
#include "ui/styled_check_box.h"

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
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

} // namespace

class TestMainWindow final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_shared;
    FileTree m_trees[3];
    Manifest m_manifests[3];
    QString m_marker;

    QScopedPointer<QTemporaryDir> m_work;
    QScopedPointer<HttpTestServer> m_server;
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
    void start(const QStringList& servers, bool automatic, const QString& installed, bool key = true)
    {
        setLauncherDirectory(work(QStringLiteral("launcher")));
        QVERIFY(QDir().mkpath(work(QStringLiteral("launcher"))));
        const QByteArray list = servers.isEmpty() ? QByteArray() : "\"" + servers.join(QStringLiteral("\", \"")).toUtf8() + "\"";
        QVERIFY(writeFileBytes(work(QStringLiteral("launcher/launcher.json")), "{\"updateBaseUrls\": [" + list + "]}"));
        if (key)
            QVERIFY(QFile::copy(shared(QStringLiteral("published/keys/public-key.blob")),
                                work(QStringLiteral("launcher/public-key.blob"))));
        ensureSettingsDefaults();
        setLanguage(QStringLiteral("en"));
        setAutomaticUpdates(automatic);
        setShowLog(true);
        setGameRoot(game());
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

    void serve(const QString& folder)
    {
        m_server->clearRoutes();
        ReleaseRepository(folder).serve(m_server.data());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_shared.isValid());
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
    }

    void cleanup()
    {
        m_window.reset();
        m_view = nullptr;
        m_server.reset();
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
    }

    void releaseFoundDuringDownload_data()
    {
        QTest::addColumn<bool>("expired");
        QTest::newRow("follows the running download") << false;
        QTest::newRow("replaces a release whose blocks expired") << true;
    }

    void releaseFoundDuringDownload()
    {
        QFETCH(bool, expired);
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
        if (expired) {
            const QStringList kept = ReleaseRepository::objectUrlPaths(third) + ReleaseRepository::objectUrlPaths(m_manifests[0]);
            for (const QString& path : ReleaseRepository::objectUrlPaths(m_manifests[1])) {
                if (!kept.contains(path))
                    QVERIFY(QFile::remove(QDir(folder).filePath(QStringLiteral("repo")) + path));
            }
        }
        serve(folder);
        m_window->workflow()->periodicTick();
        QTRY_COMPARE_WITH_TIMEOUT(logCount(QStringLiteral("UPD-QUEUED")), 1, kWaitMs);
        QVERIFY(log().contains(QLatin1String("Update r3 was found while downloading r2.")));
        QCOMPARE(status(), QStringLiteral("Download paused"));

        QTest::mouseClick(m_view->pauseButton, Qt::LeftButton);
        QCOMPARE(m_view->pauseButton->toolTip(), QStringLiteral("Pause"));
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
        const QString standIn = work(QStringLiteral("elsewhere/vorn.exe"));
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
        LauncherSettingsChoice choice;
        choice.language = QStringLiteral("en");
        choice.automaticUpdates = false;
        choice.showLog = true;
        choice.gameFolder = work(QStringLiteral("other"));
        m_window->acceptSettings(choice);
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
