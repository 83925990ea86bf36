#include "launcher/main_window.h"

#include "config/localization.h"
#include "config/settings.h"
#include "config/writable_places.h"
#include "core/release_signature.h"
#include "engine/update_engine.h"
#include "launcher/game_launcher.h"
#include "launcher/log_file.h"
#include "launcher/mirror_selector.h"
#include "launcher/news/news_feed.h"
#include "launcher/news/news_widgets_view.h"
#include "launcher/self_update.h"
#include "launcher/single_instance.h"
#include "launcher/tray.h"
#include "launcher/update_workflow.h"
#include "launcher/view_state.h"
#include "launcher/window_frame.h"
#include "launcher/window_links.h"
#include "net/network_service.h"
#include "release/release_index_client.h"
#include "ui/main_window_view.h"
#include "ui/style.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QFile>
#include <QLoggingCategory>
#include <QTime>
#include <QTimer>

namespace vorn {

Q_LOGGING_CATEGORY(lcWindow, "vorn.window", QtInfoMsg)

namespace {

constexpr qint64 kMiB = 1048576;
constexpr int kTrayHintMs = 5000;

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainWindow"));
    m_network = new NetworkService(this);
    m_gameIndex = new ReleaseIndexClient(m_network, this);
    m_selfIndex = new ReleaseIndexClient(m_network, this);
    m_gameIndex->setCacheFolder(placeFilePath(Place::Cache, QStringLiteral("manifest/game")));
    m_selfIndex->setCacheFolder(placeFilePath(Place::Cache, QStringLiteral("manifest/launcher")));
    m_gameEngine = new UpdateEngine(m_network, this);
    // The engine's own default is the cache beside the program.
    if (!writablePlaces().besideProgram)
        m_gameEngine->setCacheRoot(placeFolder(Place::Cache));
    m_selfEngine = new UpdateEngine(m_network, this);
    m_mirrors = new MirrorSelector(useMirror(), this);

    m_logFile = std::make_unique<LogFile>(defaultLogFolders());
    m_view = new MainWindowView(this);
    m_tray = new Tray(this, this);
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
    m_workflow->setTrayPresence([tray = m_tray] { return tray->isAvailable(); });

    connect(m_view, &MainWindowView::languageChosen, this, &MainWindow::retranslate);
    connect(m_view, &MainWindowView::checkRequested, m_workflow, &UpdateWorkflow::checkButtonClicked);
    connect(m_view, &MainWindowView::pauseRequested, m_workflow, &UpdateWorkflow::pauseButtonClicked);
    connect(m_view, &MainWindowView::playRequested, m_workflow, &UpdateWorkflow::launchGame);
    connect(m_view, &MainWindowView::profileChosen, m_workflow, &UpdateWorkflow::chooseProfile);
    connect(m_view, &MainWindowView::mirrorToggled, m_workflow, &UpdateWorkflow::toggleMirror);
    connect(m_view, &MainWindowView::proxyToggled, this, &MainWindow::setProxyEnabledFromView);
    connect(m_view, &MainWindowView::settingsRequested, this, &MainWindow::openSettings);
    connect(m_view, &MainWindowView::linkRequested, this, &MainWindow::openLink);
    createTray();
    // Labels marked as settings links open the settings wherever they sit.
    qApp->installEventFilter(this);

    connect(m_workflow, &UpdateWorkflow::logLine, this, &MainWindow::appendLog);
    connect(m_game, &GameLauncher::logLine, this, &MainWindow::appendLog);
    connect(m_mirrors, &MirrorSelector::logLine, this, &MainWindow::appendLog);
    connect(m_self, &LauncherSelfUpdate::logLine, this, &MainWindow::appendLog);
    connect(m_workflow, &UpdateWorkflow::changed, this, &MainWindow::refreshView);
    connect(m_workflow, &UpdateWorkflow::trayMessage, this, &MainWindow::showTrayMessage);
    connect(m_workflow, &UpdateWorkflow::messageRequested, m_view, &MainWindowView::showMessage);
    connect(m_game, &GameLauncher::messageRequested, m_view, &MainWindowView::showMessage);
    connect(m_game, &GameLauncher::launched, this, &MainWindow::gameLaunched);
    connect(m_self, &LauncherSelfUpdate::quitRequested, this, &MainWindow::quitRemovingTrayIcon);

    m_workflow->startCheckTimer(updateCheckIntervalMinutes());
    refreshView();

    m_newsView = new NewsWidgetsView(*m_view, this);
    m_news = new NewsFeed(*m_network, *m_newsView, m_config.newsUrl, this);
    m_news->loadNews();
    // Once a run, so that support finds the settings and the log of a read-only installation.
    const WritablePlaces places = writablePlaces();
    if (!places.besideProgram)
        appendLog(QStringLiteral("FILES"),
                  translate("Main/FilesInUserFolders",
                            "The launcher's folder %1 is read-only: settings are kept in %2, the log in %3, caches in %4")
                      .arg(QDir::toNativeSeparators(launcherDirectory()),
                           QDir::toNativeSeparators(places.settings.path()),
                           QDir::toNativeSeparators(places.state.path()),
                           QDir::toNativeSeparators(places.cache.path())));
    // The launcher's own release is looked at first; the game check follows when it ends.
    QTimer::singleShot(0, m_self, [self = m_self] { self->startSelfCheck(false); });
}

MainWindow::~MainWindow() = default;

void MainWindow::createTray()
{
    connect(m_tray, &Tray::openRequested, this, &MainWindow::bringToFront);
    connect(m_tray, &Tray::launchRequested, m_workflow, &UpdateWorkflow::launchGame);
    // Update: the pending update, or a check when there is none; what the footer button does.
    connect(m_tray, &Tray::updateRequested, m_workflow, &UpdateWorkflow::checkButtonClicked);
    connect(m_tray, &Tray::settingsRequested, this, [this] {
        bringToFront();
        openSettings();
    });
    connect(m_tray, &Tray::exitRequested, this, &MainWindow::quitRemovingTrayIcon);
    connect(m_tray, &Tray::messageClicked, this, [this] {
        bringToFront();
        m_workflow->notificationClicked();
    });
}

QString MainWindow::logFilePath() const
{
    return m_logFile->path();
}

void MainWindow::loadConfiguration()
{
    m_config = loadLauncherConfig(launcherFilePath(QStringLiteral("launcher.json")), &m_configError);
    m_gameIndex->setServers(m_mirrors->orderedBaseUrls(m_config.updateBaseUrls));
    m_selfIndex->setServers(m_mirrors->orderedBaseUrls(m_config.selfUpdateBaseUrls));
    for (WindowLink link : kWindowLinks)
        m_view->setLinkEnabled(link, !windowLinkTarget(m_config, link, language()).isEmpty());
    // Without the key every check fails with the client's own message, and keeps failing
    // visibly on each tick, which is what a broken installation should look like.
    const QList<QByteArray> keys = readTrustedPublicKeys(launcherFilePath(QStringLiteral("public-key.blob")));
    m_gameIndex->setPublicKeys(keys);
    m_selfIndex->setPublicKeys(keys);
    m_selfIndex->setSequenceStore(placeFilePath(Place::State, QStringLiteral("channel-sequence.json")));
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
    const MainViewModel model = computeViewModel(state);
    m_view->apply(model);
    m_tray->setActionsEnabled(model.playEnabled, model.checkEnabled);
}

void MainWindow::openLink(WindowLink link)
{
    const QUrl url = windowLinkTarget(m_config, link, language());
    if (!url.isEmpty())
        (void)QDesktopServices::openUrl(url);
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
    if (m_tray->isAvailable())
        hide();
    else
        showMinimized();
}

void MainWindow::appendLog(const QString& tag, const QString& message)
{
    const QString line = formatLogLine(QTime::currentTime(), tag, message);
    m_view->appendLogLine(line);
    (void)m_logFile->append(line);
}

void MainWindow::showTrayMessage(const QString& title, const QString& text, int milliseconds)
{
    m_tray->showMessage(title, text, milliseconds);
}

void MainWindow::openSettings()
{
    if (m_settingsDialog) {
        m_settingsDialog->raise();
        m_settingsDialog->activateWindow();
        return;
    }
    auto* dialog = new SettingsDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_settingsDialog = dialog;
    connect(dialog, &QDialog::finished, this, [this, dialog](int result) {
        if (result == QDialog::Accepted) {
            acceptSettings(dialog->choice());
        } else {
            // The proxy dialog stores its settings at once, even when these are cancelled.
            applyNetworkSettings();
            refreshView();
        }
    });
    dialog->open();
}

void MainWindow::quitRemovingTrayIcon()
{
    // The icon goes first: a process that ends with its icon still registered leaves a dead
    // icon in the notification area until the mouse passes over it.
    m_tray->remove();
    QCoreApplication::quit();
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
    m_tray->retranslate();
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
    // The view's native window exists, and gets messages, before the tray is made.
    if ((m_tray && m_tray->handleNativeEvent(eventType, message, result))
        || answerFrameHitTest(eventType, message, this, style::kResizeBorder, result))
        return true;
    return QMainWindow::nativeEvent(eventType, message, result);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    m_view->rescaleNews(size());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Without a notification area a hidden launcher would be a process nobody can reach:
    // then close means quit, whatever the setting says.
    if (closeToTray() && m_tray->isAvailable()) {
        hide();
        event->ignore();
        if (!m_trayHintShown) {
            m_trayHintShown = true;
            showTrayMessage(translate("Tray/MinimizedTitle", "Launcher is still running"),
                            translate("Tray/MinimizedMessage", "Use the tray icon to open or exit the launcher."),
                            kTrayHintMs);
        }
        return;
    }
    event->accept();
    QCoreApplication::quit();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && watched->property("settingsLink").toBool()
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        openSettings();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace vorn
