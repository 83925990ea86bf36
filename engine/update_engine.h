#pragma once

#include "core/types.h"
#include "engine/apply_update.h"
#include "engine/request_window.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

namespace vorn {

class GameFolderLock;
class NetworkReply;
class NetworkService;

// Installs one verified release into a folder: recovery of an interrupted install, planning
// on a worker with a free-space check, download of the missing objects into the cache (as
// many at a time as the line needs, three attempts each), then assembly, verification and a
// transactional swap on a worker. Every run ends with exactly one of ready, failedDetailed + failed, or cancelled.
class UpdateEngine final : public QObject
{
    Q_OBJECT
public:
    explicit UpdateEngine(NetworkService* network, QObject* parent = nullptr);
    ~UpdateEngine() override;

    // Finishes or undoes an interrupted install of gameRoot and removes what it left, under the
    // folder's lock, without installing anything. For deciding whether the folder is up to date:
    // the installed manifest may describe a release whose install never completed. False with a
    // failure code ("UPD-BUSY", "UPD-RECOVERY", "UPD-PATH", "UPD-NO-SPACE") and its message.
    [[nodiscard]] static bool recoverFolder(const QString& gameRoot, QString* code, QString* message);

    // Ignored while a run is under way. The run holds the game folder's lock from here to its
    // end; another updater in the same folder is refused with "UPD-BUSY".
    void start(const vorn::Manifest& manifest, const QString& baseUrl, const QString& gameRoot,
               bool checkGameRunning);

    [[nodiscard]] bool isRunning() const { return m_running; }
    [[nodiscard]] bool isPaused() const { return m_paused; }
    [[nodiscard]] bool isApplying() const { return m_applying; }
    [[nodiscard]] bool isCancelRequested() const { return m_cancelRequested; }

    // Pausing stops new requests; those in flight still finish and are kept.
    void setPaused(bool paused);

    // Objects requested from now on, retries included, come from this server; requests in
    // flight finish where they started. Ignored when empty or when no run is under way.
    // A server this run gave up on is not taken back.
    void setBaseUrl(const QString& baseUrl);
    [[nodiscard]] QString baseUrl() const { return m_baseUrl; }

    // Every server of the release, in the order to use them. A server that sends several
    // objects failing verification (a mirror answering with web pages, say) is given up for
    // the rest of the run and the next one of these takes over; objects already stored stay.
    // One damaged object is not the server's fault: it keeps its attempts there.
    void setServers(const QStringList& baseUrls);

    // Ends the run as cancelled: at once while downloading (requests in flight are abandoned),
    // when planning ends, or, while applying, before the commit begins. A commit already under
    // way completes and the run ends with ready.
    void cancel();

    // Removes the objects folder of the cache, unless a run is under way.
    void clearObjectCache();

    // The cache folder; empty restores the default, "cache" beside the launcher. Takes effect
    // at the next start.
    void setCacheRoot(const QString& folder);
    [[nodiscard]] QString cacheRoot() const;

signals:
    void statusChanged(const QString& status);
    void progressChanged(qint64 completedBytes, qint64 totalBytes);
    void assemblyProgressChanged(qint64 completedBytes, qint64 totalBytes,
                                 const QString& currentFile);
    void ready(const QString& releaseId);
    void failed(const QString& message);
    void failedDetailed(const QString& code, const QString& message);
    void cancelled();
    void controlStateChanged(bool pauseEnabled, bool cancelEnabled, bool paused);
    // The run gave up on server and downloads from nextServer from now on.
    void serverAbandoned(const QString& server, const QString& nextServer);

private:
    struct DownloadItem
    {
        QByteArray blobSha256;
        qint64 blobSize = 0;
        int attempts = 0;
        QString server; // where the request in flight went
    };

    void planFinished();
    void startDownloading();
    void refillSlots();
    void objectProgress(NetworkReply* reply, qint64 received, qint64 total);
    void objectFinished(NetworkReply* reply);
    // Counts an object that failed verification from the current server; true when that
    // server was given up and the next one took over.
    bool noteUnverifiedObject(const QByteArray& blobSha256);
    void startApply();
    void applyFinished();

    void abandonDownloads();
    void clearRunFlags();
    void failWith(const QString& message, const QString& code);
    void finishCancelled();
    void refuse(const QString& code, const QString& message);

    NetworkService* m_network = nullptr;
    QFutureWatcher<UpdatePlan> m_planWatcher;
    QFutureWatcher<ApplyResult> m_applyWatcher;
    Manifest m_manifest;
    UpdatePlan m_plan;
    QString m_baseUrl;
    QString m_gameRoot;
    QString m_cacheRoot;
    QList<DownloadItem> m_downloadQueue;
    QHash<NetworkReply*, DownloadItem> m_activeDownloads;
    QHash<NetworkReply*, qint64> m_replyProgress;
    RequestWindow m_window;
    QElapsedTimer m_downloadClock;
    // Servers whose last answer came over HTTP/2, which take the whole window as streams.
    QSet<QString> m_multiplexedServers;
    qint64 m_completedBytes = 0;
    qint64 m_totalBytes = 0;
    bool m_running = false;
    bool m_paused = false;
    bool m_cancelRequested = false;
    bool m_applying = false;
    bool m_checkGameRunning = true;

    bool m_planning = false;
    QStringList m_servers;
    QSet<QString> m_abandonedServers;
    QSet<QByteArray> m_unverifiedFromServer;
    QString m_cacheRootOverride;
    CancelFlag m_applyCancel;
    std::unique_ptr<GameFolderLock> m_folderLock;
};

} // namespace vorn
