#pragma once

#include "config/launcher_config.h"
#include "net/proxy_settings.h"
#include "ui/main_window_view.h"
#include "ui/settings_dialog.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>

namespace vorn {

class GameLauncher;
class LogFile;
class LauncherSelfUpdate;
class MainWindowView;
class MirrorSelector;
class NewsFeed;
class NewsWidgetsView;
class NetworkService;
class ReleaseIndexClient;
class Tray;
class UpdateEngine;
class UpdateWorkflow;

// The launcher's window: builds and owns the services and the controller objects, wires them
// to the view, and routes what only a window receives (activation, close, resize).
class MainWindow final : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    [[nodiscard]] UpdateWorkflow* workflow() const { return m_workflow; }
    [[nodiscard]] Tray* tray() const { return m_tray; }
    // Where the activity log is written; empty until the first line.
    [[nodiscard]] QString logFilePath() const;

public slots:
    void bringToFront();
    // Stores the language, reloads the catalogues and relabels the window in place.
    void retranslate(const QString& language);
    // "[HH:mm:ss] [TAG] message" into the activity log and its file.
    void appendLog(const QString& tag, const QString& message);
    // A notification balloon on the tray icon.
    void showTrayMessage(const QString& title, const QString& text, int milliseconds);
    // Window-modal and not waited for: updates go on while it is open. Its result arrives
    // through acceptSettings.
    void openSettings();
    void acceptSettings(const vorn::LauncherSettingsChoice& choice);
    // Exit from the tray, or the self-update helper waiting for this process: the run ends
    // for real, whatever closing the window would do, and the tray icon goes first so none
    // is left behind.
    void quitRemovingTrayIcon();

protected:
    bool nativeEvent(const QByteArray& eventType, void* message, long* result) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadConfiguration();
    void applyNetworkSettings();
    void refreshView();
    void setProxyEnabledFromView(bool enabled);
    void gameLaunched();
    void createTray();
    void openLink(vorn::WindowLink link);

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
    Tray* m_tray = nullptr;
    std::unique_ptr<LogFile> m_logFile;
    QPointer<SettingsDialog> m_settingsDialog;
    bool m_trayHintShown = false;
    LauncherConfig m_config;
    QString m_configError;
    bool m_proxyEnabled = false;
};

} // namespace vorn
