#include "engine/update_engine.h"

#include "config/localization.h"
#include "config/settings.h"
#include "core/chunker.h"
#include "core/file_status.h"
#include "core/local_state.h"
#include "core/object_format.h"
#include "core/paths.h"
#include "core/planner.h"
#include "core/sha256.h"
#include "engine/file_ops.h"
#include "engine/free_space.h"
#include "engine/game_folder_lock.h"
#include "engine/object_cache.h"
#include "engine/transaction.h"
#include "net/network_service.h"
#include "platform/process_list.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QUrl>
#include <QtConcurrent>

namespace vorn {

namespace {

constexpr int kObjectTimeoutMs = 15000;
constexpr int kAttemptsPerObject = 3;
// One damaged object is the object's problem and gets its attempts; this many different ones
// from one server are the server's (a mirror answering with its own web pages, a proxy's
// error page), and every further request there would fail the same way.
constexpr int kUnverifiedObjectsPerServer = 3;

// Worker side of planning: the plan, minus the objects that the cache already holds intact.
UpdatePlan planUpdate(const Manifest& manifest, const QString& gameRoot, const QString& cacheRoot)
{
    UpdatePlan plan = buildUpdatePlan(manifest, gameRoot);
    if (!plan.ok)
        return plan;
    QVector<ObjectRef> missing;
    qint64 missingBytes = 0;
    for (const ObjectRef& object : qAsConst(plan.objects)) {
        QFile cached(objectCachePath(cacheRoot, object.sha256));
        if (openRegularFile(&cached)
            && cached.size() == object.size
            && sha256OfDevice(&cached) == object.sha256)
            continue;
        missing.append(object);
        missingBytes += object.size;
    }
    plan.objects = missing;
    plan.downloadBytes = missingBytes;
    return plan;
}

// Object URLs are resolved against it, which would drop a last segment without the slash.
QString withTrailingSlash(const QString& baseUrl)
{
    return baseUrl.endsWith(QLatin1Char('/')) ? baseUrl : baseUrl + QLatin1Char('/');
}

qint64 plannedFileBytes(const UpdatePlan& plan)
{
    qint64 bytes = 0;
    for (const FilePlan& entry : plan.files)
        bytes += entry.file.size;
    return bytes;
}

// The lock, recovery and the removal of leftovers, as every run and every up-to-date decision
// begins. Keeps the lock for a run that follows.
bool lockAndRecover(const QString& root, std::unique_ptr<GameFolderLock>* lock, QString* code,
                    QString* message)
{
    if (!ensureStateFolder(QDir(root), message)) {
        *code = QStringLiteral("UPD-PATH");
        return false;
    }
    *lock = std::make_unique<GameFolderLock>(root);
    GameFolderLock::Failure failure = GameFolderLock::Failure::Busy;
    if (!(*lock)->tryLock(message, &failure)) {
        switch (failure) {
        case GameFolderLock::Failure::Busy:
            *code = QStringLiteral("UPD-BUSY");
            break;
        case GameFolderLock::Failure::NoSpace:
            *code = QStringLiteral("UPD-NO-SPACE");
            break;
        case GameFolderLock::Failure::Unwritable:
            *code = QStringLiteral("UPD-PATH");
            break;
        }
        lock->reset();
        return false;
    }
    if (!recoverTransactions(root, message)) {
        *code = QStringLiteral("UPD-RECOVERY");
        lock->reset();
        return false;
    }
    removeStaleStateFiles(QDir(root));
    return true;
}

} // namespace

bool UpdateEngine::recoverFolder(const QString& gameRoot, QString* code, QString* message)
{
    const QString root = QDir::cleanPath(gameRoot);
    // Nothing was ever installed there, so nothing can be interrupted.
    if (root.isEmpty() || entryKind(QDir(root).filePath(QStringLiteral(".vorn"))) == EntryKind::Missing)
        return true;
    std::unique_ptr<GameFolderLock> lock;
    return lockAndRecover(root, &lock, code, message);
}

UpdateEngine::UpdateEngine(NetworkService* network, QObject* parent)
    : QObject(parent)
    , m_network(network)
{
    connect(&m_planWatcher, &QFutureWatcher<UpdatePlan>::finished, this, &UpdateEngine::planFinished);
    connect(&m_applyWatcher, &QFutureWatcher<ApplyResult>::finished, this,
            &UpdateEngine::applyFinished);
    registerCoreMetaTypes();
}

UpdateEngine::~UpdateEngine()
{
    // A running apply stops before its commit, or finishes a commit it has begun; either way
    // the folder is consistent before the engine is gone. Planning only reads and is left to end
    // on its own.
    if (m_applyCancel)
        m_applyCancel->store(true);
    abandonDownloads();
    m_applyWatcher.waitForFinished();
}

void UpdateEngine::start(const Manifest& manifest, const QString& baseUrl, const QString& gameRoot,
                         bool checkGameRunning)
{
    if (m_running)
        return;
    // The release names the transaction folder; one that cannot be a plain folder name would
    // otherwise be refused only after every object was downloaded.
    if (!isPlainFolderName(manifest.releaseId)) {
        refuse(QStringLiteral("UPD-APPLY"), QStringLiteral("Cannot create update transaction directory"));
        return;
    }
    m_checkGameRunning = checkGameRunning;
    const QString root = QDir::cleanPath(gameRoot);
    const QString cache = cacheRoot();

    if (root.isEmpty() || !QDir().mkpath(root) || !QDir().mkpath(cache)) {
        refuse(QStringLiteral("UPD-PATH"),
               translate("Updater/CreateDirectoriesFailed",
                         "Could not create the game or update cache directory"));
        return;
    }
    // Objects are stored into, and the folder later removed from, wherever a link there points.
    const QString objects = QDir(cache).filePath(QStringLiteral("objects"));
    if (entryKind(objects) == EntryKind::Link)
        (void)removeLink(objects);
    QString code;
    QString error;
    if (!lockAndRecover(root, &m_folderLock, &code, &error)) {
        refuse(code, error);
        return;
    }

    m_running = true;
    m_paused = false;
    m_cancelRequested = false;
    m_applying = false;
    m_manifest = manifest;
    m_plan = UpdatePlan();
    m_baseUrl = withTrailingSlash(baseUrl);
    m_gameRoot = root;
    m_cacheRoot = cache;
    m_completedBytes = 0;
    m_totalBytes = 0;
    m_downloadQueue.clear();
    m_activeDownloads.clear();
    m_replyProgress.clear();
    m_applyCancel = std::make_shared<std::atomic<bool>>(false);
    m_abandonedServers.clear();
    m_unverifiedFromServer.clear();

    emit statusChanged(translate("Updater/CheckingFiles", "Checking game files..."));
    emit controlStateChanged(true, true, false);

    m_planning = true;
    m_planWatcher.setFuture(QtConcurrent::run(planUpdate, manifest, gameRoot, cache));
}

void UpdateEngine::setPaused(bool paused)
{
    if (!m_running || m_applying || m_cancelRequested || paused == m_paused)
        return;
    m_paused = paused;
    emit controlStateChanged(true, true, paused);
    emit statusChanged(paused ? translate("Updater/Paused", "Download paused")
                              : translate("Updater/Resuming", "Resuming download..."));
    // While planning there is nothing to refill yet; downloading starts on its own, paused or not.
    if (!paused && !m_planning) {
        if (m_downloadClock.isValid())
            m_window.restartRound(m_downloadClock.elapsed());
        refillSlots();
    }
}

void UpdateEngine::setBaseUrl(const QString& baseUrl)
{
    const QString trimmed = baseUrl.trimmed();
    if (!m_running || trimmed.isEmpty())
        return;
    const QString server = withTrailingSlash(trimmed);
    // The owner learns of servers from their release pointers, which a server serving broken
    // objects may still sign correctly.
    if (m_abandonedServers.contains(server))
        return;
    if (server != m_baseUrl)
        m_unverifiedFromServer.clear();
    m_baseUrl = server;
}

void UpdateEngine::setServers(const QStringList& baseUrls)
{
    m_servers.clear();
    for (const QString& baseUrl : baseUrls) {
        if (!baseUrl.trimmed().isEmpty())
            m_servers.append(withTrailingSlash(baseUrl.trimmed()));
    }
}

void UpdateEngine::cancel()
{
    if (!m_running || m_cancelRequested)
        return;
    m_cancelRequested = true;
    if (m_applyCancel)
        m_applyCancel->store(true);
    // Planning and applying end the run themselves when their task returns.
    if (m_planning || m_applying)
        return;
    finishCancelled();
}

void UpdateEngine::clearObjectCache()
{
    if (m_running)
        return;
    (void)removeTree(QDir(cacheRoot()).filePath(QStringLiteral("objects")));
}

void UpdateEngine::setCacheRoot(const QString& folder)
{
    m_cacheRootOverride = folder;
}

QString UpdateEngine::cacheRoot() const
{
    return m_cacheRootOverride.isEmpty() ? launcherFilePath(QStringLiteral("cache"))
                                         : QDir::cleanPath(m_cacheRootOverride);
}

void UpdateEngine::planFinished()
{
    m_planning = false;
    if (!m_running)
        return;
    if (m_cancelRequested) {
        finishCancelled();
        return;
    }
    m_plan = m_planWatcher.result();
    if (!m_plan.ok) {
        failWith(m_plan.error, QStringLiteral("UPD-PLAN"));
        return;
    }
    const FreeSpaceCheck space = checkFreeSpace(m_plan.downloadBytes, plannedFileBytes(m_plan),
                                                volumeSpace(m_cacheRoot), volumeSpace(m_gameRoot));
    if (!space.enough) {
        failWith(noDiskSpaceMessage(space), QStringLiteral("UPD-NO-SPACE"));
        return;
    }
    startDownloading();
}

void UpdateEngine::startDownloading()
{
    m_totalBytes = m_plan.downloadBytes;
    m_completedBytes = 0;
    m_downloadClock.start();
    m_window.reset(0);
    m_multiplexedServers.clear();
    m_downloadQueue.clear();
    for (const ObjectRef& object : qAsConst(m_plan.objects))
        m_downloadQueue.append({object.sha256, object.size, 0, QString()});

    emit controlStateChanged(true, true, m_paused);
    emit statusChanged(translate("Updater/Downloading", "Downloading update: %1 MB")
                           .arg(double(m_totalBytes) / 1048576.0, 0, 'f', 2));
    emit progressChanged(0, m_totalBytes);
    refillSlots();
}

void UpdateEngine::refillSlots()
{
    if (m_paused || m_cancelRequested)
        return;
    if (!m_network && !m_downloadQueue.isEmpty()) {
        failWith(translate("Updater/ServiceUnavailable", "Network service is unavailable"),
                 QStringLiteral("UPD-DOWNLOAD"));
        return;
    }
    m_window.setMultiplexed(m_multiplexedServers.contains(m_baseUrl));
    while (m_activeDownloads.size() < m_window.size() && !m_downloadQueue.isEmpty()) {
        DownloadItem item = m_downloadQueue.takeFirst();
        item.server = m_baseUrl;
        const QUrl url = QUrl(m_baseUrl).resolved(QUrl(objectRelativePath(item.blobSha256)));
        NetworkReply* reply = m_network->get(url, kObjectTimeoutMs, kMaxObjectBytes);
        m_activeDownloads.insert(reply, item);
        m_replyProgress.insert(reply, 0);
        connect(reply, &NetworkReply::downloadProgress, this,
                [this, reply](qint64 received, qint64 total) { objectProgress(reply, received, total); });
        connect(reply, &NetworkReply::finished, this, [this, reply] { objectFinished(reply); });
    }
    if (m_downloadQueue.isEmpty() && m_activeDownloads.isEmpty())
        startApply();
}

void UpdateEngine::objectProgress(NetworkReply* reply, qint64 received, qint64)
{
    const auto it = m_replyProgress.find(reply);
    if (it == m_replyProgress.end())
        return;
    it.value() = qMax<qint64>(received, 0);
    qint64 shown = m_completedBytes;
    for (const qint64 bytes : qAsConst(m_replyProgress))
        shown += bytes;
    emit progressChanged(qMin(shown, m_totalBytes), m_totalBytes);
}

void UpdateEngine::objectFinished(NetworkReply* reply)
{
    const auto it = m_activeDownloads.find(reply);
    if (it == m_activeDownloads.end()) {
        reply->deleteLater();
        return;
    }
    DownloadItem item = it.value();
    m_activeDownloads.erase(it);
    m_replyProgress.remove(reply);

    const QByteArray body = reply->body();
    const QByteArray bodySha256 = reply->bodySha256();
    const int statusCode = reply->statusCode();
    const bool complete = reply->complete();
    const QString errorText =
        reply->timedOut() ? QStringLiteral("connection timed out") : reply->errorString();
    const int httpVersion = reply->httpVersion();
    reply->deleteLater();

    if (m_cancelRequested) {
        if (m_activeDownloads.isEmpty())
            finishCancelled();
        return;
    }

    if (httpVersion >= 20)
        m_multiplexedServers.insert(item.server);
    else if (httpVersion > 0)
        m_multiplexedServers.remove(item.server);
    const bool valid = complete && body.size() == item.blobSize && bodySha256 == item.blobSha256;
    // Only verified bytes are throughput, and only the transport's failures say something about
    // the line: a server answering web pages for objects gets no more requests for it.
    if (valid)
        m_window.succeeded(body.size(), m_downloadClock.elapsed());
    else if (!complete)
        m_window.failed(m_downloadClock.elapsed());
    bool stored = false;
    QString storeError;
    if (valid) {
        const QString path = objectCachePath(m_cacheRoot, item.blobSha256);
        stored = ensureParentDirectory(path, &storeError) && storeVerifiedFile(path, body, &storeError);
    }

    if (stored) {
        m_completedBytes += item.blobSize;
        emit progressChanged(qMin(m_completedBytes, m_totalBytes), m_totalBytes);
    } else {
        QString error;
        if (!complete)
            error = describeFailedRequest(statusCode, errorText);
        else if (!valid)
            error = QStringLiteral("Downloaded object failed hash verification");
        else
            error = storeError;
        // What a server given up on answers says nothing about the object, and attempts spent
        // there do not count against the next one.
        const bool serverGivenUp = m_abandonedServers.contains(item.server)
            || (complete && !valid && item.server == m_baseUrl && noteUnverifiedObject(item.blobSha256));
        if (serverGivenUp) {
            item.attempts = 0;
        } else if (++item.attempts >= kAttemptsPerObject) {
            failWith(translate("Updater/BlockFailed", "Could not download block: %1").arg(error),
                     QStringLiteral("UPD-DOWNLOAD"));
            return;
        }
        // Behind every waiting object, so that one bad object does not hold up the others.
        m_downloadQueue.append(item);
    }

    if (m_downloadQueue.isEmpty() && m_activeDownloads.isEmpty() && !m_paused)
        startApply();
    else
        refillSlots();
}

bool UpdateEngine::noteUnverifiedObject(const QByteArray& blobSha256)
{
    m_unverifiedFromServer.insert(blobSha256);
    if (m_unverifiedFromServer.size() < kUnverifiedObjectsPerServer)
        return false;
    QString next;
    for (const QString& server : qAsConst(m_servers)) {
        if (server != m_baseUrl && !m_abandonedServers.contains(server)) {
            next = server;
            break;
        }
    }
    if (next.isEmpty())
        return false;
    const QString given = m_baseUrl;
    m_abandonedServers.insert(given);
    m_baseUrl = next;
    m_unverifiedFromServer.clear();
    for (DownloadItem& item : m_downloadQueue)
        item.attempts = 0;
    for (DownloadItem& item : m_activeDownloads)
        item.attempts = 0;
    emit serverAbandoned(given, next);
    return true;
}

void UpdateEngine::startApply()
{
    if (m_cancelRequested) {
        finishCancelled();
        return;
    }
    if (m_checkGameRunning && platform::isGameRunning()) {
        failWith(translate("Updater/GameRunning", "The game is running. Close it and retry the update"),
                 QStringLiteral("UPD-GAME-RUNNING"));
        return;
    }
    m_applying = true;
    emit controlStateChanged(false, false, false);
    emit statusChanged(translate("Updater/Assembling", "Assembling and verifying files..."));

    const QPointer<UpdateEngine> guard(this);
    const ApplyProgress progress = [guard](qint64 done, qint64 total, const QString& file) {
        UpdateEngine* engine = guard.data();
        if (!engine)
            return;
        QMetaObject::invokeMethod(
            engine, [engine, done, total, file] { emit engine->assemblyProgressChanged(done, total, file); },
            Qt::QueuedConnection);
    };
    const UpdatePlan plan = m_plan;
    const Manifest manifest = m_manifest;
    const QString gameRoot = m_gameRoot;
    const QString cacheRoot = m_cacheRoot;
    const CancelFlag cancel = m_applyCancel;
    m_applyWatcher.setFuture(QtConcurrent::run([plan, manifest, gameRoot, cacheRoot, progress, cancel] {
        return applyUpdate(plan, manifest, gameRoot, cacheRoot, progress, cancel);
    }));
}

void UpdateEngine::applyFinished()
{
    m_applying = false;
    if (!m_running)
        return;
    const ApplyResult result = m_applyWatcher.result();
    if (result.cancelled) {
        finishCancelled();
        return;
    }
    if (!result.ok) {
        failWith(result.error, QStringLiteral("UPD-APPLY"));
        return;
    }
    clearRunFlags();
    emit controlStateChanged(false, false, false);
    emit statusChanged(translate("Updater/Updated", "Game updated to version %1").arg(m_manifest.releaseId));
    emit ready(m_manifest.releaseId);
}

void UpdateEngine::abandonDownloads()
{
    for (auto it = m_activeDownloads.constBegin(); it != m_activeDownloads.constEnd(); ++it) {
        it.key()->cancel();
        it.key()->deleteLater();
    }
    m_activeDownloads.clear();
    m_replyProgress.clear();
    m_downloadQueue.clear();
}

void UpdateEngine::clearRunFlags()
{
    m_folderLock.reset();
    m_running = false;
    m_paused = false;
    m_cancelRequested = false;
    m_applying = false;
    m_planning = false;
}

void UpdateEngine::failWith(const QString& message, const QString& code)
{
    abandonDownloads();
    clearRunFlags();
    emit controlStateChanged(false, false, false);
    const QString text =
        message.isEmpty() ? translate("Updater/UnknownError", "Unknown update error") : message;
    emit failedDetailed(code, text);
    emit failed(text);
}

void UpdateEngine::finishCancelled()
{
    abandonDownloads();
    clearRunFlags();
    emit controlStateChanged(false, false, false);
    emit statusChanged(translate("Updater/Cancelled", "Update cancelled"));
    emit cancelled();
}

void UpdateEngine::refuse(const QString& code, const QString& message)
{
    emit failedDetailed(code, message);
    emit failed(message);
}

} // namespace vorn
