#pragma once

#include "config/launcher_config.h"
#include "net/proxy_settings.h"

#include <QMainWindow>

namespace vorn {

class GameLauncher;
class LauncherSelfUpdate;
class MainWindowView;
class MirrorSelector;
class NewsFeed;
class NewsWidgetsView;
class NetworkService;
class ReleaseIndexClient;
class UpdateEngine;
class UpdateWorkflow;

// What the settings dialog hands back when accepted.
struct LauncherSettingsChoice
{
    QString language;
    bool automaticUpdates = true;
    bool updateNotifications = true;
    bool closeToTray = true;
    bool minimizeOnGameLaunch = true;
    bool showLog = false;
    int updateCheckIntervalMinutes = 5;
    bool downloadRateLimitEnabled = false;
    int downloadRateLimitMBps = 10;
    QString gameFolder;
};

// The launcher's window: builds and owns the services and the controller objects, wires them
// to the view, and routes what only a window receives (activation, close, resize).
class MainWindow final : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    [[nodiscard]] UpdateWorkflow* workflow() const { return m_workflow; }

public slots:
    void bringToFront();
    // Stores the language, reloads the catalogues and relabels the window in place.
    void retranslate(const QString& language);
    // "[HH:mm:ss] [TAG] message" into the activity log.
    void appendLog(const QString& tag, const QString& message);
    // A notification balloon. Nothing is shown while the launcher has no tray icon.
    void showTrayMessage(const QString& title, const QString& text, int milliseconds);
    void acceptSettings(const vorn::LauncherSettingsChoice& choice);

protected:
    bool nativeEvent(const QByteArray& eventType, void* message, long* result) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void loadConfiguration();
    void applyNetworkSettings();
    void refreshView();
    void setProxyEnabledFromView(bool enabled);
    void gameLaunched();

    NetworkService* m_network = nullptr;
    ReleaseIndexClient* m_gameIndex = nullptr;
    ReleaseIndexClient* m_selfIndex = nullptr;
    UpdateEngine* m_gameEngine = nullptr;
    UpdateEngine* m_selfEngine = nullptr;
    MirrorSelector* m_mirrors = nullptr;
    GameLauncher* m_game = nullptr;
    LauncherSelfUpdate* m_self = nullptr;
    UpdateWorkflow* m_workflow = nullptr;
    MainWindowView* m_view = nullptr; // child of the window
    NewsWidgetsView* m_newsView = nullptr;
    NewsFeed* m_news = nullptr;
    LauncherConfig m_config;
    QString m_configError;
    bool m_proxyEnabled = false;
};

} // namespace vorn
