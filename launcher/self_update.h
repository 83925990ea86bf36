#pragma once

#include "core/types.h"
#include "launcher/shown_text.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace vorn {

class MirrorSelector;
class ReleaseIndexClient;
class UpdateEngine;

// Readies root/cache/self-update/<releaseId> as an empty folder for a launcher release: it and
// the launcher's object cache are made folders of our own (a link there is removed, never
// followed) and earlier leftovers beside it are removed. notes receives what was done about
// links, and the reason of a failure.
[[nodiscard]] bool prepareSelfUpdateStaging(const QString& root, const QString& releaseId, QStringList* notes);

// The launcher's own release: the first check of a run (which hands over to the game check
// when it ends, whichever way), later silent checks, the download into a staging folder, and
// the hand-over to the helper program that replaces the launcher's files while it is gone.
class LauncherSelfUpdate final : public QObject
{
    Q_OBJECT
public:
    LauncherSelfUpdate(ReleaseIndexClient* client, UpdateEngine* engine, MirrorSelector* mirrors,
                       QObject* parent = nullptr);

    void setBaseUrls(const QStringList& baseUrls);
    [[nodiscard]] QStringList baseUrls() const { return m_baseUrls; }
    // Whether the game side is busy: its engine or check runs, or the game itself does. The
    // launcher's download and restart wait for it.
    void setGameSideBusy(std::function<bool()> busy) { m_gameSideBusy = std::move(busy); }
    void setTrayPresence(std::function<bool()> present) { m_trayPresent = std::move(present); }

    void startSelfCheck(bool silent);
    // Starts what waited for an idle game side: the download of a pending launcher release,
    // or the helper once the staged release is complete. True when it started a download or
    // tried to start the helper.
    bool tryStartSelfUpdate();

    [[nodiscard]] bool startupChecksDone() const { return m_startupChecksDone; }
    [[nodiscard]] bool hasPendingRelease() const { return !m_pendingSelfRelease.releaseId.isEmpty(); }
    // A found release or a staged one waits for its turn.
    [[nodiscard]] bool hasWaitingRelease() const { return hasPendingRelease() || m_selfRestartPending; }
    [[nodiscard]] bool isRestartPending() const { return m_selfRestartPending; }
    [[nodiscard]] bool isQuittingForSelfUpdate() const { return m_quittingForSelfUpdate; }
    [[nodiscard]] bool isChecking() const { return m_selfChecking; }
    [[nodiscard]] bool isEngineRunning() const;
    // A check the user sees: the game side's buttons wait for it.
    [[nodiscard]] bool isBusy() const;

signals:
    // Once per run, when the startup check has ended.
    void startupChecksFinished();
    // After the startup check: the launcher's update stopped holding the game side.
    void settled();
    void statusChanged(const vorn::ShownText& status);
    void progressChanged(qint64 completedBytes, qint64 totalBytes);
    void logLine(const QString& tag, const QString& message);
    void trayMessage(const QString& title, const QString& text, int milliseconds);
    // The helper runs and waits for this process to end.
    void quitRequested();
    void changed();

private:
    void onManifestReady(const vorn::Manifest& manifest, const QString& baseUrl);
    void onCheckFailed(const QString& message);
    void onEngineReady(const QString& releaseId);
    void onEngineFailed(const QString& message);
    void stageSelfUpdate(const vorn::Manifest& manifest, const QString& baseUrl);
    void startHelper();
    // setAside: this run does not download the release again.
    void abandonStagedRelease(bool setAside);
    void notify(const QString& releaseId, bool canStartNow);
    void log(const QString& tag, const ShownText& message);
    void watchForIdle();
    void finishStartup();
    void finishStartupOrSettle();
    [[nodiscard]] bool gameSideBusy() const;

    ReleaseIndexClient* m_client = nullptr;
    UpdateEngine* m_engine = nullptr;
    MirrorSelector* m_mirrors = nullptr;
    std::function<bool()> m_gameSideBusy;
    QStringList m_baseUrls;
    Manifest m_pendingSelfRelease;
    QString m_pendingSelfBaseUrl;
    QString m_stageDir;
    QString m_stagedVersion;
    QString m_lastSelfNotified;
    // A release this run will not download again: refused, or no helper to install it.
    QString m_setAsideVersion;
    QTimer m_idleWatch;
    bool m_selfChecking = false;
    bool m_selfCheckSilent = false;
    bool m_selfRestartPending = false;
    bool m_quittingForSelfUpdate = false;
    bool m_startupChecksDone = false;
    bool m_packagedNoted = false;
    std::function<bool()> m_trayPresent;
};

// The launcher's installed version: self-version.txt beside it, empty when unreadable.
[[nodiscard]] QString localLauncherVersion();

// Why a launcher release must not be staged and handed to the helper, or empty when it may.
// Its id names the staging folder, and the helper copies every file over the launcher
// folder, so the id must be one plain folder name and no file may land in what the
// installation itself keeps (settings, caches, backups, state).
[[nodiscard]] QString launcherReleaseProblem(const Manifest& manifest);

} // namespace vorn
