#pragma once

#include "core/types.h"
#include "launcher/shown_text.h"

#include <QObject>
#include <QStringList>

namespace vorn {

class MirrorSelector;
class ReleaseIndexClient;
class UpdateEngine;

// The launcher's own release: the first check of a run (which hands over to the game check
// when it ends, whichever way), later silent checks, and the hand-over to the helper program.
class LauncherSelfUpdate final : public QObject
{
    Q_OBJECT
public:
    LauncherSelfUpdate(ReleaseIndexClient* client, UpdateEngine* engine, MirrorSelector* mirrors,
                       QObject* parent = nullptr);

    void setBaseUrls(const QStringList& baseUrls);
    [[nodiscard]] QStringList baseUrls() const { return m_baseUrls; }

    void startSelfCheck(bool silent);
    // Starts what waits for an idle game side: the download of a pending launcher release or
    // the helper. True when it started something.
    bool tryStartSelfUpdate();

    [[nodiscard]] bool startupChecksDone() const { return m_startupChecksDone; }
    [[nodiscard]] bool hasPendingRelease() const { return !m_pendingSelfRelease.releaseId.isEmpty(); }
    [[nodiscard]] bool isChecking() const { return m_selfChecking; }
    [[nodiscard]] bool isEngineRunning() const;
    // A check the user sees, or a download: the game side's buttons wait for it.
    [[nodiscard]] bool isBusy() const;

signals:
    // Once per run, when the startup check has ended.
    void startupChecksFinished();
    void statusChanged(const vorn::ShownText& status);
    void logLine(const QString& tag, const QString& message);
    void changed();

private:
    void onManifestReady(const vorn::Manifest& manifest, const QString& baseUrl);
    void onCheckFailed(const QString& message);
    void finishStartup();

    ReleaseIndexClient* m_client = nullptr;
    UpdateEngine* m_engine = nullptr;
    MirrorSelector* m_mirrors = nullptr;
    QStringList m_baseUrls;
    Manifest m_pendingSelfRelease;
    QString m_pendingSelfBaseUrl;
    bool m_selfChecking = false;
    bool m_selfCheckSilent = false;
    bool m_startupChecksDone = false;
};

// The launcher's installed version: self-version.txt beside it, empty when unreadable.
[[nodiscard]] QString localLauncherVersion();

} // namespace vorn
