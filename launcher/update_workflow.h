#pragma once

#include "core/types.h"
#include "launcher/shown_text.h"
#include "launcher/view_state.h"
#include "ui/launcher_message.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace vorn {

class GameLauncher;
class LauncherSelfUpdate;
class MirrorSelector;
class ReleaseIndexClient;
class UpdateEngine;

// A release and the server that announced it. An empty release id means none.
struct ReleaseChoice
{
    Manifest manifest;
    QString baseUrl;

    [[nodiscard]] bool isEmpty() const { return manifest.releaseId.isEmpty(); }
    [[nodiscard]] bool isComplete() const { return !manifest.releaseId.isEmpty() && !baseUrl.isEmpty(); }
    void clear() { *this = ReleaseChoice(); }
};

// Decides when the game release is checked and installed and what follows an install: the
// game's start, a release found meanwhile, the wait for a running game, or the launcher's own
// update. Drives the game release index and engine only through their operations and signals.
class UpdateWorkflow final : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        ReleaseIndexClient* client = nullptr;
        UpdateEngine* engine = nullptr;
        GameLauncher* game = nullptr;
        MirrorSelector* mirrors = nullptr;
        LauncherSelfUpdate* self = nullptr;
    };

    UpdateWorkflow(const Parts& parts, const QStringList& updateBaseUrls, QObject* parent = nullptr);

    [[nodiscard]] ControllerState controllerState() const;
    [[nodiscard]] const ReleaseChoice& pendingRelease() const { return m_pendingRelease; }
    [[nodiscard]] const ReleaseChoice& queuedRelease() const { return m_queuedRelease; }

    // A text for the status line from outside the workflow (a configuration error).
    void setStatus(const ShownText& status);
    // Notifications need somewhere to appear; without a tray icon none are sent or recorded.
    // Asked at each notification: a notification area may come and go while the launcher runs.
    void setTrayPresence(std::function<bool()> present);
    void startCheckTimer(int minutes);
    void setCheckIntervalMinutes(int minutes);

    void periodicTick();
    void startGameCheck(bool force);
    void startUpdate();
    // True when the queued release now installs.
    bool startFollowUp(const QString& finishedReleaseId);
    void deferUntilGameExit();
    void gameExitPoll();
    void showReadyStatus();

    // The user's requests.
    void checkButtonClicked();
    void pauseButtonClicked();
    // Play and the tray's Launch: installs a pending update first, then starts the game.
    void launchGame();
    void chooseProfile(const QString& id);
    void toggleMirror(bool checked);
    // A click on an update notification.
    void notificationClicked();
    // The settings dialog's game folder. Refused (with a message) while an update runs.
    bool changeGameFolder(const QString& folderText);
    // After the settings dialog's values are stored.
    void settingsApplied();

signals:
    void logLine(const QString& tag, const QString& message);
    void trayMessage(const QString& title, const QString& text, int milliseconds);
    void messageRequested(const QString& title, const QString& text, vorn::LauncherMessageKind kind);
    void changed();

private:
    void onClientStatus(const QString& status);
    void onGameManifestReady(const vorn::Manifest& manifest, const QString& baseUrl);
    void onGameCheckFailed(const QString& message);
    void onEngineStatus(const QString& status);
    void onDownloadProgress(qint64 completedBytes, qint64 totalBytes);
    void onAssemblyProgress(qint64 completedBytes, qint64 totalBytes, const QString& currentFile);
    void onControlState(bool pauseEnabled, bool cancelEnabled, bool paused);
    void onUpdateFailedDetailed(const QString& code, const QString& message);
    void onUpdateFailed(const QString& message);
    void onUpdateCancelled();
    void onUpdateReady(const QString& releaseId);
    void onServerAbandoned(const QString& server, const QString& nextServer);
    void onSelfStatus(const vorn::ShownText& status);
    void onSelfProgress(qint64 completedBytes, qint64 totalBytes);

    void answeringServer(const QString& baseUrl);
    void notifyRelease(const QString& releaseId, const QString& text);
    void log(const QString& tag, const ShownText& message);
    void tryStartSelfUpdate();
    [[nodiscard]] QStringList orderedServers() const;

    ReleaseIndexClient* m_client;
    UpdateEngine* m_engine;
    GameLauncher* m_game;
    MirrorSelector* m_mirrors;
    LauncherSelfUpdate* m_self;
    QStringList m_updateBaseUrls;

    ReleaseChoice m_pendingRelease;
    ReleaseChoice m_queuedRelease;
    QString m_currentReleaseId;
    bool m_checking = false;
    bool m_backgroundCheck = false;
    bool m_forceUpdate = false;
    bool m_updatePending = false;
    bool m_releaseExpired = false;
    bool m_waitingForGameExit = false;
    bool m_launchAfterUpdate = false;
    bool m_pauseEnabled = false;
    std::function<bool()> m_trayPresent;

    ShownText m_status;
    ShownText m_release;
    int m_progress = 0;
    ProgressMeter m_meter;
    QElapsedTimer m_clock;

    QTimer m_checkTimer;
    QTimer m_gameWatchTimer;
};

} // namespace vorn
