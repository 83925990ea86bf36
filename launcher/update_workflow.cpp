#include "launcher/update_workflow.h"

#include "config/localization.h"
#include "config/settings.h"
#include "core/local_state.h"
#include "core/pointer_history.h"
#include "engine/update_engine.h"
#include "launcher/game_launcher.h"
#include "launcher/mirror_selector.h"
#include "launcher/self_update.h"
#include "platform/process_list.h"
#include "release/release_index_client.h"

#include <QDir>

namespace vorn {

namespace {

constexpr int kNotificationMs = 10000;
constexpr int kGameWatchMs = 1000;
constexpr int kMinuteMs = 60000;
constexpr double kMiB = 1048576.0;

} // namespace

UpdateWorkflow::UpdateWorkflow(const Parts& parts, const QStringList& updateBaseUrls, QObject* parent)
    : QObject(parent)
    , m_client(parts.client)
    , m_engine(parts.engine)
    , m_game(parts.game)
    , m_mirrors(parts.mirrors)
    , m_self(parts.self)
    , m_updateBaseUrls(updateBaseUrls)
    , m_status(translateLater("Main/Preparing", "Preparing..."))
    , m_release(translateLater("Main/VersionNotChecked", "Version has not been checked yet"))
    , m_checkTimer(this)
    , m_gameWatchTimer(this)
{
    m_clock.start();
    m_checkTimer.setObjectName(QStringLiteral("checkTimer"));
    m_gameWatchTimer.setObjectName(QStringLiteral("gameWatchTimer"));
    m_gameWatchTimer.setInterval(kGameWatchMs);
    connect(&m_checkTimer, &QTimer::timeout, this, &UpdateWorkflow::periodicTick);
    connect(&m_gameWatchTimer, &QTimer::timeout, this, &UpdateWorkflow::gameExitPoll);

    m_client->setServers(orderedServers());
    connect(m_client, &ReleaseIndexClient::statusChanged, this, &UpdateWorkflow::onClientStatus);
    connect(m_client, &ReleaseIndexClient::failed, this, &UpdateWorkflow::onGameCheckFailed);
    connect(m_client, &ReleaseIndexClient::manifestReady, this, &UpdateWorkflow::onGameManifestReady);
    connect(m_engine, &UpdateEngine::statusChanged, this, &UpdateWorkflow::onEngineStatus);
    connect(m_engine, &UpdateEngine::progressChanged, this, &UpdateWorkflow::onDownloadProgress);
    connect(m_engine, &UpdateEngine::assemblyProgressChanged, this, &UpdateWorkflow::onAssemblyProgress);
    connect(m_engine, &UpdateEngine::controlStateChanged, this, &UpdateWorkflow::onControlState);
    connect(m_engine, &UpdateEngine::failedDetailed, this, &UpdateWorkflow::onUpdateFailedDetailed);
    connect(m_engine, &UpdateEngine::failed, this, &UpdateWorkflow::onUpdateFailed);
    connect(m_engine, &UpdateEngine::cancelled, this, &UpdateWorkflow::onUpdateCancelled);
    connect(m_engine, &UpdateEngine::ready, this, &UpdateWorkflow::onUpdateReady);
    connect(m_engine, &UpdateEngine::serverAbandoned, this, &UpdateWorkflow::onServerAbandoned);

    connect(m_self, &LauncherSelfUpdate::startupChecksFinished, this, [this] { startGameCheck(false); });
    connect(m_self, &LauncherSelfUpdate::statusChanged, this, &UpdateWorkflow::onSelfStatus);
    connect(m_self, &LauncherSelfUpdate::progressChanged, this, &UpdateWorkflow::onSelfProgress);
    connect(m_self, &LauncherSelfUpdate::trayMessage, this, &UpdateWorkflow::trayMessage);
    connect(m_self, &LauncherSelfUpdate::settled, this, [this] {
        m_game->refreshPlayButton();
        emit changed();
    });
    m_self->setGameSideBusy(
        [this] { return m_engine->isRunning() || m_checking || platform::isGameRunning(); });
    connect(m_game, &GameLauncher::changed, this, &UpdateWorkflow::changed);
    connect(m_mirrors, &MirrorSelector::changed, this, &UpdateWorkflow::changed);
    connect(m_self, &LauncherSelfUpdate::changed, this, &UpdateWorkflow::changed);
}

ControllerState UpdateWorkflow::controllerState() const
{
    ControllerState state;
    state.status = m_status;
    state.release = m_release;
    state.progressPercent = m_progress;
    state.checking = m_checking;
    state.backgroundCheck = m_backgroundCheck;
    state.updatePending = m_updatePending;
    state.waitingForGameExit = m_waitingForGameExit;
    state.engineRunning = m_engine->isRunning();
    state.pauseEnabled = m_pauseEnabled;
    state.paused = m_engine->isRunning() && m_engine->isPaused();
    state.selfUpdateBusy = m_self->isBusy();
    state.profiles = m_game->profiles();
    state.selectedProfile = m_game->selectedProfile();
    state.clientFound = m_game->clientFound();
    state.useMirror = m_mirrors->useMirror();
    state.mirrorSelectable = m_updateBaseUrls.size() > 1;
    return state;
}

void UpdateWorkflow::setStatus(const ShownText& status)
{
    m_status = status;
    emit changed();
}

void UpdateWorkflow::setTrayPresence(std::function<bool()> present)
{
    m_trayPresent = present;
    m_self->setTrayPresence(std::move(present));
}

void UpdateWorkflow::onSelfStatus(const ShownText& status)
{
    // The game side's own progress has the footer while it works.
    if (m_engine->isRunning() || m_checking)
        return;
    setStatus(status);
}

void UpdateWorkflow::onSelfProgress(qint64 completedBytes, qint64 totalBytes)
{
    if (m_engine->isRunning() || m_checking || !m_meter.admit(completedBytes, totalBytes, m_clock.elapsed()))
        return;
    m_progress = totalBytes > 0 ? int(completedBytes * 100 / totalBytes) : 0;
    m_status = translateLater("SelfUpdate/Progress", "Launcher update: %1 of %2 MB")
                   .arg(QString::number(double(completedBytes) / kMiB, 'f', 2))
                   .arg(QString::number(double(totalBytes) / kMiB, 'f', 2));
    emit changed();
}

void UpdateWorkflow::startCheckTimer(int minutes)
{
    setCheckIntervalMinutes(minutes);
    m_checkTimer.start();
}

void UpdateWorkflow::setCheckIntervalMinutes(int minutes)
{
    m_checkTimer.setInterval(minutes * kMinuteMs);
}

QStringList UpdateWorkflow::orderedServers() const
{
    return m_mirrors->orderedBaseUrls(m_updateBaseUrls);
}

void UpdateWorkflow::log(const QString& tag, const ShownText& message)
{
    emit logLine(tag, message.toString());
}

void UpdateWorkflow::tryStartSelfUpdate()
{
    m_self->tryStartSelfUpdate();
}

void UpdateWorkflow::periodicTick()
{
    if (!m_self->startupChecksDone())
        return;
    if (!m_self->hasWaitingRelease())
        m_self->startSelfCheck(true);
    else if (m_self->tryStartSelfUpdate())
        return;
    startGameCheck(false);
}

void UpdateWorkflow::startGameCheck(bool force)
{
    if (m_checking)
        return;
    m_client->setServers(orderedServers());
    const QDir gameFolder(gameRoot());
    m_client->setSequenceStore(gamePointerHistoryPath(gameFolder), installedManifestPath(gameFolder));
    if (!m_engine->isRunning()) {
        m_checking = true;
        m_backgroundCheck = false;
        m_forceUpdate = force;
    } else {
        if (force)
            return;
        m_checking = true;
        m_backgroundCheck = true;
        m_forceUpdate = false;
    }
    emit changed();
    m_client->checkForUpdates();
}

void UpdateWorkflow::onClientStatus(const QString& status)
{
    if (m_backgroundCheck)
        return;
    setStatus(ShownText::literal(status));
}

void UpdateWorkflow::onGameCheckFailed(const QString& message)
{
    if (m_mirrors->isSwitching()) {
        m_mirrors->switchFailed(message);
        m_client->setServers(orderedServers());
    }
    const bool background = m_backgroundCheck;
    m_backgroundCheck = false;
    m_checking = false;
    m_forceUpdate = false;
    if (!background) {
        m_status = ShownText::literal(message);
        log(QStringLiteral("NET-CHECK"), ShownText::literal(message));
    } else {
        log(QStringLiteral("NET-BACKGROUND-CHECK"), ShownText::literal(message));
        if (m_engine->isRunning()) {
            emit changed();
            return;
        }
    }
    m_game->refreshPlayButton();
    tryStartSelfUpdate();
    emit changed();
}

void UpdateWorkflow::answeringServer(const QString& baseUrl)
{
    if (!m_mirrors->answeringServer(baseUrl, m_updateBaseUrls))
        return;
    // A running download goes on from the server that answered last, unless it already gave
    // that server up for sending broken objects.
    m_pendingRelease.baseUrl = baseUrl;
    if (m_engine->isRunning() && !baseUrl.trimmed().isEmpty()) {
        m_engine->setBaseUrl(baseUrl.trimmed());
        m_pendingRelease.baseUrl = m_engine->baseUrl();
    }
}

void UpdateWorkflow::onServerAbandoned(const QString& server, const QString& nextServer)
{
    // A restart of this release (after the game exits, say) begins where the objects are good.
    m_pendingRelease.baseUrl = nextServer;
    log(QStringLiteral("UPD-SERVER-SWITCH"),
        translateLater("Updater/ServerAbandoned",
                       "Blocks from %1 failed verification; downloading from %2 instead")
            .arg(server)
            .arg(nextServer));
}

void UpdateWorkflow::notifyRelease(const QString& releaseId, const QString& text)
{
    if (!updateNotificationsEnabled() || lastNotifiedVersion() == releaseId || !m_trayPresent
        || !m_trayPresent())
        return;
    emit trayMessage(translate("Tray/UpdateTitle", "Update %1 is available").arg(releaseId), text,
                     kNotificationMs);
    setLastNotifiedVersion(releaseId);
}

void UpdateWorkflow::onGameManifestReady(const Manifest& manifest, const QString& baseUrl)
{
    answeringServer(baseUrl);
    const bool background = m_backgroundCheck;
    m_backgroundCheck = false;
    m_checking = false;
    const QString releaseId = manifest.releaseId;

    if (background) {
        const QString installed = installedVersion();
        if (releaseId != m_currentReleaseId && releaseId != installed) {
            const bool wasQueued = m_queuedRelease.manifest.releaseId == releaseId;
            m_queuedRelease = {manifest, baseUrl};
            if (!wasQueued) {
                log(QStringLiteral("UPD-QUEUED"),
                    translateLater("Main/FollowUpQueued",
                                   "Update %1 was found while downloading %2. The current download "
                                   "will continue and %1 is queued. Old release blocks are retained "
                                   "for 12 hours; if they expire, the launcher will switch to the "
                                   "queued release")
                        .arg(releaseId)
                        .arg(m_currentReleaseId));
                notifyRelease(releaseId, translate("Tray/UpdateQueued",
                                                   "It will be installed after the current update finishes"));
            }
        }
        if (!m_engine->isRunning() && !startFollowUp(installed)) {
            m_game->refreshPlayButton();
            tryStartSelfUpdate();
        }
        emit changed();
        return;
    }

    m_pendingRelease = {manifest, baseUrl};
    m_game->applyLaunchProfiles(manifest.launchProfiles);
    m_release = translateLater("Main/CurrentVersion", "Current version: %1 · files: %2")
                    .arg(releaseId)
                    .arg(manifest.files.size());
    const bool force = m_forceUpdate;
    m_forceUpdate = false;
    m_updatePending = installedVersion() != releaseId;

    if (!m_updatePending) {
        m_engine->clearObjectCache();
        if (force) {
            // The user asked: the installed release is verified and repaired.
            startUpdate();
            tryStartSelfUpdate();
        } else {
            showReadyStatus();
            m_release = translateLater("Main/InstalledVersion", "Installed version: %1").arg(releaseId);
            m_progress = 100;
            m_game->refreshPlayButton();
            tryStartSelfUpdate();
        }
        emit changed();
        return;
    }

    m_status = translateLater("Main/UpdateAvailable", "Update %1 is available").arg(releaseId);
    const bool automatic = automaticUpdates();
    notifyRelease(releaseId, automatic ? translate("Tray/UpdateAuto", "Automatic update has started")
                                       : translate("Tray/UpdateManual", "Click to update"));
    emit changed();
    if (automatic)
        startUpdate();
    tryStartSelfUpdate();
}

void UpdateWorkflow::startUpdate()
{
    if (m_engine->isRunning() || !m_pendingRelease.isComplete())
        return;
    m_waitingForGameExit = false;
    m_gameWatchTimer.stop();
    m_updatePending = true;
    m_currentReleaseId = m_pendingRelease.manifest.releaseId;
    m_releaseExpired = false;
    m_meter.reset();
    m_progress = 0;
    log(QStringLiteral("UPD-START"),
        translateLater("Main/UpdateStarting", "Starting update %1").arg(m_currentReleaseId));
    m_status = translateLater("Main/ManifestVerified", "Manifest verified. Checking files...");
    emit changed();
    m_engine->setServers(orderedServers());
    m_engine->start(m_pendingRelease.manifest, m_pendingRelease.baseUrl, gameRoot(), true);
}

void UpdateWorkflow::onEngineStatus(const QString& status)
{
    // The engine reports the start of downloading even when it was paused while planning;
    // the line keeps saying what the player chose.
    if (m_engine->isRunning() && m_engine->isPaused())
        setStatus(translateLater("Updater/Paused", "Download paused"));
    else
        setStatus(ShownText::literal(status));
}

void UpdateWorkflow::onDownloadProgress(qint64 completedBytes, qint64 totalBytes)
{
    if (!m_meter.admit(completedBytes, totalBytes, m_clock.elapsed()))
        return;
    const ProgressMeter::Shown shown = m_meter.download(completedBytes, totalBytes, m_clock.elapsed());
    m_progress = shown.percent;
    if (!(m_engine->isRunning() && m_engine->isPaused()))
        m_status = shown.status;
    emit changed();
}

void UpdateWorkflow::onAssemblyProgress(qint64 completedBytes, qint64 totalBytes, const QString& currentFile)
{
    if (!m_meter.admit(completedBytes, totalBytes, m_clock.elapsed()))
        return;
    const ProgressMeter::Shown shown = ProgressMeter::assembly(completedBytes, totalBytes, currentFile);
    m_progress = shown.percent;
    m_status = shown.status;
    emit changed();
}

void UpdateWorkflow::onControlState(bool pauseEnabled, bool, bool)
{
    m_pauseEnabled = pauseEnabled;
    emit changed();
}

void UpdateWorkflow::onUpdateFailedDetailed(const QString& code, const QString& message)
{
    emit logLine(code, message);
    if (code == QLatin1String("UPD-GAME-RUNNING")) {
        deferUntilGameExit();
        return;
    }
    m_releaseExpired = code == QLatin1String("UPD-DOWNLOAD") && message.contains(QLatin1String("HTTP 404"))
                       && !m_queuedRelease.isEmpty();
    if (m_releaseExpired)
        log(QStringLiteral("UPD-RELEASE-EXPIRED"),
            translateLater("Main/ReleaseExpired",
                           "Release %1 blocks are no longer available (HTTP 404; the 12-hour retention "
                           "window may have expired). Switching to queued release %2")
                .arg(m_currentReleaseId)
                .arg(m_queuedRelease.manifest.releaseId));
}

void UpdateWorkflow::onUpdateFailed(const QString& message)
{
    if (m_waitingForGameExit) {
        m_game->refreshPlayButton();
        return;
    }
    if (m_releaseExpired && startFollowUp(installedVersion()))
        return;
    m_launchAfterUpdate = false;
    m_status = translateLater("Main/UpdateFailed", "Update failed: %1").arg(message);
    m_game->refreshPlayButton();
    tryStartSelfUpdate();
    emit changed();
}

void UpdateWorkflow::onUpdateCancelled()
{
    m_launchAfterUpdate = false;
    log(QStringLiteral("UPD-CANCELLED"), translateLater("Updater/Cancelled", "Update cancelled"));
    m_game->refreshPlayButton();
    tryStartSelfUpdate();
    emit changed();
}

void UpdateWorkflow::onUpdateReady(const QString& releaseId)
{
    setInstalledVersion(releaseId);
    m_updatePending = false;
    if (startFollowUp(releaseId))
        return;
    m_release = translateLater("Main/InstalledVersion", "Installed version: %1").arg(releaseId);
    showReadyStatus();
    m_progress = 100;
    m_game->refreshPlayButton();
    if (m_launchAfterUpdate) {
        m_launchAfterUpdate = false;
        log(QStringLiteral("GAME-AFTER-UPDATE"),
            translateLater("Main/LaunchingAfterUpdate", "The update is installed. Launching the game"));
        QTimer::singleShot(0, m_game, [game = m_game] { game->launchGame(); });
    } else {
        tryStartSelfUpdate();
    }
    emit changed();
}

bool UpdateWorkflow::startFollowUp(const QString& finishedReleaseId)
{
    if (m_queuedRelease.isEmpty())
        return false;
    if (m_queuedRelease.manifest.releaseId == finishedReleaseId) {
        m_queuedRelease.clear();
        return false;
    }
    m_pendingRelease = m_queuedRelease;
    m_queuedRelease.clear();
    const Manifest& manifest = m_pendingRelease.manifest;
    m_game->applyLaunchProfiles(manifest.launchProfiles);
    m_release = translateLater("Main/CurrentVersion", "Current version: %1 · files: %2")
                    .arg(manifest.releaseId)
                    .arg(manifest.files.size());
    log(QStringLiteral("UPD-FOLLOW-UP"),
        translateLater("Main/FollowUpStarting",
                       "Release %1 is finished. Starting the saved release %2 without another server check")
            .arg(finishedReleaseId)
            .arg(manifest.releaseId));
    startUpdate();
    emit changed();
    return m_engine->isRunning();
}

void UpdateWorkflow::deferUntilGameExit()
{
    const bool wasWaiting = m_waitingForGameExit;
    m_waitingForGameExit = true;
    m_updatePending = true;
    m_status = translateLater("Main/UpdateDeferredUntilGameExit",
                              "The game is running. The update will be installed after it closes");
    if (!wasWaiting)
        log(QStringLiteral("UPD-WAIT-GAME"), m_status);
    m_game->refreshPlayButton();
    if (!m_gameWatchTimer.isActive())
        m_gameWatchTimer.start();
    emit changed();
}

void UpdateWorkflow::gameExitPoll()
{
    if (!m_waitingForGameExit) {
        m_gameWatchTimer.stop();
        return;
    }
    if (platform::isGameRunning() || m_engine->isRunning() || m_checking || m_self->isEngineRunning())
        return;
    m_waitingForGameExit = false;
    m_gameWatchTimer.stop();
    log(QStringLiteral("UPD-GAME-EXIT"),
        translateLater("Main/GameClosedApplyingUpdate", "The game has closed. Applying the deferred update %1")
            .arg(m_pendingRelease.manifest.releaseId));
    if (m_updatePending && m_pendingRelease.isComplete()) {
        startUpdate();
    } else {
        m_game->refreshPlayButton();
        tryStartSelfUpdate();
    }
    emit changed();
}

void UpdateWorkflow::showReadyStatus()
{
    m_status = m_game->readyStatus();
    emit changed();
}

} // namespace vorn
