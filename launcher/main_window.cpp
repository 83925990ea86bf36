#include "launcher/main_window.h"

#include "config/localization.h"
#include "config/settings.h"
#include "engine/update_engine.h"
#include "launcher/game_launcher.h"
#include "launcher/mirror_selector.h"
#include "launcher/news_feed.h"
#include "launcher/news_widgets_view.h"
#include "launcher/self_update.h"
#include "launcher/single_instance.h"
#include "launcher/update_workflow.h"
#include "launcher/view_state.h"
#include "net/network_service.h"
#include "release/release_index_client.h"
#include "ui/main_window_view.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QTime>
#include <QTimer>

namespace vorn {

Q_LOGGING_CATEGORY(lcWindow, "vorn.window", QtInfoMsg)

namespace {

constexpr qint64 kMiB = 1048576;

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainWindow"));
    m_network = new NetworkService(this);
    m_gameIndex = new ReleaseIndexClient(m_network, this);
    m_selfIndex = new ReleaseIndexClient(m_network, this);
    m_gameIndex->setCacheFolder(launcherFilePath(QStringLiteral("cache/manifest/game")));
    m_selfIndex->setCacheFolder(launcherFilePath(QStringLiteral("cache/manifest/launcher")));
    m_gameEngine = new UpdateEngine(m_network, this);
    m_selfEngine = new UpdateEngine(m_network, this);
    m_mirrors = new MirrorSelector(useMirror(), this);

    m_view = new MainWindowView(this);
    loadConfiguration();
    applyNetworkSettings();

    m_game = new GameLauncher(this);
    m_game->applyLaunchProfiles({});
    m_self = new LauncherSelfUpdate(m_selfIndex, m_selfEngine, m_mirrors, this);
    m_self->setBaseUrls(m_config.selfUpdateBaseUrls);
    m_workflow = new UpdateWorkflow({m_gameIndex, m_gameEngine, m_game, m_mirrors, m_self},
                                    m_config.updateBaseUrls, this);
    if (!m_configError.isEmpty())
        m_workflow->setStatus(ShownText::literal(m_configError));

    connect(m_view, &MainWindowView::languageChosen, this, &MainWindow::retranslate);
    connect(m_view, &MainWindowView::checkRequested, m_workflow, &UpdateWorkflow::checkButtonClicked);
    connect(m_view, &MainWindowView::pauseRequested, m_workflow, &UpdateWorkflow::pauseButtonClicked);
    connect(m_view, &MainWindowView::playRequested, m_workflow, &UpdateWorkflow::launchGame);
    connect(m_view, &MainWindowView::profileChosen, m_workflow, &UpdateWorkflow::chooseProfile);
    connect(m_view, &MainWindowView::mirrorToggled, m_workflow, &UpdateWorkflow::toggleMirror);
    connect(m_view, &MainWindowView::proxyToggled, this, &MainWindow::setProxyEnabledFromView);

    connect(m_workflow, &UpdateWorkflow::logLine, this, &MainWindow::appendLog);
    connect(m_game, &GameLauncher::logLine, this, &MainWindow::appendLog);
    connect(m_mirrors, &MirrorSelector::logLine, this, &MainWindow::appendLog);
    connect(m_self, &LauncherSelfUpdate::logLine, this, &MainWindow::appendLog);
    connect(m_workflow, &UpdateWorkflow::changed, this, &MainWindow::refreshView);
    connect(m_workflow, &UpdateWorkflow::trayMessage, this, &MainWindow::showTrayMessage);
    connect(m_workflow, &UpdateWorkflow::messageRequested, m_view, &MainWindowView::showMessage);
    connect(m_game, &GameLauncher::messageRequested, m_view, &MainWindowView::showMessage);
    connect(m_game, &GameLauncher::launched, this, &MainWindow::gameLaunched);

    m_workflow->startCheckTimer(updateCheckIntervalMinutes());
    refreshView();

    m_newsView = new NewsWidgetsView(*m_view, this);
    m_news = new NewsFeed(*m_network, *m_newsView, m_config.newsUrl, this);
    m_news->loadNews();
    // The launcher's own release is looked at first; the game check follows when it ends.
    QTimer::singleShot(0, m_self, [self = m_self] { self->startSelfCheck(false); });
}

MainWindow::~MainWindow() = default;

void MainWindow::loadConfiguration()
{
    m_config = loadLauncherConfig(launcherFilePath(QStringLiteral("launcher.json")), &m_configError);
    m_gameIndex->setServers(m_mirrors->orderedBaseUrls(m_config.updateBaseUrls));
    m_selfIndex->setServers(m_mirrors->orderedBaseUrls(m_config.selfUpdateBaseUrls));
    // Without the key every check fails with the client's own message, and keeps failing
    // visibly on each tick, which is what a broken installation should look like.
    QFile key(launcherFilePath(QStringLiteral("public-key.blob")));
    if (key.open(QIODevice::ReadOnly)) {
        const QByteArray publicKey = key.readAll();
        m_gameIndex->setPublicKey(publicKey);
        m_selfIndex->setPublicKey(publicKey);
    }
}

void MainWindow::applyNetworkSettings()
{
    m_proxyEnabled = proxyEnabled();
    m_network->setProxySettings(effectiveProxySettings());
    const qint64 limit = downloadRateLimitEnabled() ? qint64(downloadRateLimitMBps()) * kMiB : 0;
    m_network->setDownloadRateLimit(limit > 0 ? limit : 0);
}

void MainWindow::refreshView()
{
    ControllerState state = m_workflow->controllerState();
    state.proxyEnabled = m_proxyEnabled;
    m_view->apply(computeViewModel(state));
}

void MainWindow::setProxyEnabledFromView(bool enabled)
{
    setProxyEnabled(enabled);
    applyNetworkSettings();
    refreshView();
}

void MainWindow::gameLaunched()
{
    if (!minimizeOnGameLaunch())
        return;
    // Hiding needs a tray icon to come back from; without one the window only minimizes.
    showMinimized();
}

void MainWindow::appendLog(const QString& tag, const QString& message)
{
    m_view->appendLogLine(formatLogLine(QTime::currentTime(), tag, message));
}

void MainWindow::showTrayMessage(const QString&, const QString&, int)
{
}

void MainWindow::acceptSettings(const LauncherSettingsChoice& choice)
{
    if (!choice.language.isEmpty() && choice.language != language())
        retranslate(choice.language);
    setAutomaticUpdates(choice.automaticUpdates);
    setUpdateNotificationsEnabled(choice.updateNotifications);
    setCloseToTray(choice.closeToTray);
    setMinimizeOnGameLaunch(choice.minimizeOnGameLaunch);
    setShowLog(choice.showLog);
    m_view->setLogVisible(choice.showLog);
    setUpdateCheckIntervalMinutes(choice.updateCheckIntervalMinutes);
    setDownloadRateLimitEnabled(choice.downloadRateLimitEnabled);
    setDownloadRateLimitMBps(choice.downloadRateLimitMBps);
    (void)m_workflow->changeGameFolder(choice.gameFolder);
    applyNetworkSettings();
    m_workflow->setCheckIntervalMinutes(updateCheckIntervalMinutes());
    m_workflow->settingsApplied();
    refreshView();
}

void MainWindow::bringToFront()
{
    qCDebug(lcWindow) << "bringing the window to the front";
    show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showNormal();
    raise();
    activateWindow();
    bringNativeWindowToFront(this);
}

void MainWindow::retranslate(const QString& language)
{
    setLanguage(language);
    (void)loadCatalogues(language, launcherFilePath(QStringLiteral("locales")));
    const QString code = currentLanguage();
    m_view->applyLanguage(code);
    setWindowTitle(translate("Main/WindowTitle", "Ostravel"));
    refreshView();
    // The article panel's frame texts are built in the language of the load.
    if (m_news)
        m_news->loadNews();
}

bool MainWindow::nativeEvent(const QByteArray& eventType, void* message, long* result)
{
    if (answerActivationMessage(eventType, message, result)) {
        bringToFront();
        return true;
    }
    return QMainWindow::nativeEvent(eventType, message, result);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    m_view->rescaleNews(size());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Until the launcher can sit in a tray, a closed window that kept running would be a
    // process nobody can reach: close means quit.
    event->accept();
    QCoreApplication::quit();
}

} // namespace vorn
