#include "engine/apply_update.h"

#include "core/file_status.h"
#include "core/local_state.h"
#include "core/object_format.h"
#include "core/paths.h"
#include "core/sha256.h"
#include "engine/file_ops.h"
#include "engine/object_cache.h"
#include "engine/transaction.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QSaveFile>
#include <QThread>
#include <QThreadPool>
#include <QVector>
#include <QtConcurrent>

namespace vorn {

namespace {

constexpr qint64 kProgressIntervalMs = 100;

// What the file tasks of one apply share. The plan and the paths are read-only while they run.
struct ApplyContext
{
    const UpdatePlan* plan = nullptr;
    QString stageDirectory;
    QString cacheRoot;
    QVector<QString> relPaths;
    const std::atomic<bool>* cancel = nullptr;

    QMutex usesMutex;
    QHash<QByteArray, int> objectUses;

    std::atomic<qint64> done{0};
    qint64 total = 1;
    QMutex progressMutex;
    QElapsedTimer progressTimer;
    const ApplyProgress* progress = nullptr;

    [[nodiscard]] bool cancelled() const { return cancel && cancel->load(); }

    void report(const QString& rel, qint64 bytes)
    {
        const qint64 now = done.fetch_add(bytes) + bytes;
        QMutexLocker lock(&progressMutex);
        if (*progress && progressTimer.elapsed() >= kProgressIntervalMs) {
            (*progress)(qMin(now, total), total, rel);
            progressTimer.restart();
        }
    }

    QMutex distrustMutex;
    QStringList distrusted; // absolute paths of local sources whose bytes proved wrong

    void distrust(const QString& path)
    {
        QMutexLocker lock(&distrustMutex);
        distrusted.append(path);
    }

    // The object file goes as soon as no later chunk needs it, so the cache shrinks while the
    // staged files grow.
    void releaseObject(const QByteArray& blobSha256)
    {
        bool last = false;
        {
            QMutexLocker lock(&usesMutex);
            auto it = objectUses.find(blobSha256);
            if (it != objectUses.end() && --it.value() < 1) {
                objectUses.erase(it);
                last = true;
            }
        }
        if (last)
            QFile::remove(objectCachePath(cacheRoot, blobSha256));
    }
};

FileAssemblyResult failure(const QString& message)
{
    return {false, message};
}

// Reads a chunk's bytes from the file the plan names: the current copy of the file being built,
// or another installed file. All of them are read before the commit moves anything, so a file
// that this release also replaces, renames or removes is still the old one here. local stays
// open while consecutive chunks come from the same file.
bool readLocalRange(QFile* local, const FilePlan& entry, const ChunkSource& source, QByteArray* chunk)
{
    const QString& path = source.localPath.isEmpty() ? entry.targetPath : source.localPath;
    if (local->fileName() != path || !local->isOpen()) {
        local->close();
        local->setFileName(path);
        // Only a regular file: a FIFO put there since planning would block the open forever.
        if (!openRegularFile(local))
            return false;
    }
    if (!local->seek(source.localOffset))
        return false;
    *chunk = local->read(source.size);
    return true;
}

FileAssemblyResult assembleFile(ApplyContext& context, int index)
{
    if (context.cancelled())
        return failure(QString());
    const FilePlan& entry = context.plan->files.at(index);
    const QString& rel = context.relPaths.at(index);
    const QString staged = QDir(context.stageDirectory).filePath(rel);

    QSaveFile output(staged);
    // Unbuffered: when the disk fills in the middle of a buffered flush, Qt 5 writes part of
    // the buffer, drops the ENOSPC of the next write and reports "Unknown error". Written
    // directly, a short write is followed by writeFully's next one, which gets the cause.
    if (!output.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure(output.errorString());

    QFile local;
    // The file's digest is taken over the verified chunks as they are written, which proves
    // the same as reading the staged file back, without a second pass over it.
    Sha256 whole;
    qint64 written = 0;
    for (const ChunkSource& source : entry.sources) {
        if (context.cancelled())
            return failure(QString());
        QByteArray chunk;
        QByteArray stored;
        bool unpacked = true;
        if (!source.fromObject) {
            if (!readLocalRange(&local, entry, source, &chunk))
                return failure(QStringLiteral("Cannot reuse local data from %1").arg(rel));
        } else {
            const QString objectPath = objectCachePath(context.cacheRoot, source.blobSha256);
            QFile object(objectPath);
            if (!openRegularFile(&object))
                return failure(QStringLiteral("Cached object is missing: %1").arg(objectPath));
            stored = object.readAll();
            if (stored.size() != source.blobSize)
                return failure(QStringLiteral("Cached object is damaged"));
            // Unpacked into exactly the chunk's size: a stream that would expand further is
            // refused there, not followed into gigabytes on every assembling thread.
            unpacked = inflateObject(stored, source.size, &chunk);
        }
        if (!unpacked || chunk.size() != source.size || Sha256::hash(chunk) != source.sha256) {
            // Another file's bytes are vouched for by the state cache alone, without a read: when
            // they prove wrong, the next planning must read that file instead of trusting it.
            if (!source.fromObject)
                context.distrust(local.fileName());
            // A verified chunk vouches for its object as well; the object's own digest is only
            // needed to tell a damaged cache file from a chunk that does not match.
            if (source.fromObject && Sha256::hash(stored) != source.blobSha256)
                return failure(QStringLiteral("Cached object is damaged"));
            return failure(QStringLiteral("Chunk verification failed for %1").arg(rel));
        }
        whole.addData(chunk);
        written += chunk.size();
        // A write that fails names its cause (a full disk, typically), not the chunk.
        if (!writeFully(&output, chunk.constData(), chunk.size())) {
            return failure(output.error() != QFileDevice::NoError
                               ? output.errorString()
                               : QStringLiteral("Chunk verification failed for %1").arg(rel));
        }
        if (source.fromObject)
            context.releaseObject(source.blobSha256);
        context.report(rel, chunk.size());
    }
    local.close();
    if (written != entry.file.size || whole.result() != entry.file.sha256)
        return failure(QStringLiteral("Final verification failed for %1").arg(rel));

    // The last buffered bytes are written here, not in commit: when commit cannot write them,
    // Qt 5 renames the short file into place all the same and the cause is lost.
    if (!output.flush())
        return failure(output.errorString());
    // QSaveFile::commit flushes the data to the disk before the file gets its name, so a file
    // that the commit later moves into place is never empty after a power cut.
    if (!output.commit())
        return failure(output.errorString());
    if (!setInstalledFileMode(staged, entry.file.executable))
        return failure(QStringLiteral("Cannot set the permissions of %1").arg(rel));
    context.report(rel, entry.file.size);
    return {true, QString()};
}

void forgetDistrusted(const QString& gameRoot, const QStringList& absolutePaths)
{
    const QDir root(gameRoot);
    QStringList paths;
    for (const QString& path : absolutePaths) {
        const QString rel = normalizeRelativePath(root.relativeFilePath(path));
        if (!rel.isEmpty())
            paths.append(rel);
    }
    forgetLocalState(root, paths);
}

ApplyResult failed(const QString& message)
{
    ApplyResult result;
    result.error = message;
    return result;
}

ApplyResult cancelledResult()
{
    ApplyResult result;
    result.cancelled = true;
    return result;
}

} // namespace

ApplyResult applyUpdate(const UpdatePlan& plan, const Manifest& manifest, const QString& gameRoot,
                        const QString& cacheRoot, const ApplyProgress& progress,
                        const CancelFlag& cancel)
{
    UpdateTransaction transaction(gameRoot, plan.releaseId);
    QString error;
    if (!transaction.prepare(&error))
        return failed(error);

    ApplyContext context;
    context.plan = &plan;
    context.stageDirectory = transaction.stageDirectory();
    context.cacheRoot = cacheRoot;
    context.cancel = cancel.get();
    context.progress = &progress;

    qint64 fileBytes = 0;
    for (const FilePlan& entry : plan.files)
        fileBytes += entry.file.size;
    context.total = fileBytes * 2 > 0 ? fileBytes * 2 : 1;
    context.progressTimer.start();
    if (progress)
        progress(0, context.total, QString());

    const QDir stage(context.stageDirectory);
    context.relPaths.reserve(plan.files.size());
    for (const FilePlan& entry : plan.files) {
        const QString rel = normalizeRelativePath(entry.file.path);
        if (rel.isEmpty())
            return failed(QString());
        if (!ensureParentDirectory(stage.filePath(rel), &error))
            return failed(error);
        context.relPaths.append(rel);
    }

    for (const FilePlan& entry : plan.files) {
        for (const ChunkSource& source : entry.sources) {
            if (source.fromObject)
                ++context.objectUses[source.blobSha256];
        }
    }

    {
        QThreadPool pool;
        pool.setMaxThreadCount(qMax(1, qMin(4, QThread::idealThreadCount())));
        QVector<QFuture<FileAssemblyResult>> tasks;
        tasks.reserve(plan.files.size());
        for (int i = 0; i < plan.files.size(); ++i)
            tasks.append(QtConcurrent::run(&pool, [&context, i] { return assembleFile(context, i); }));
        for (QFuture<FileAssemblyResult>& task : tasks) {
            const FileAssemblyResult result = task.result();
            if (!result.ok && !result.error.isEmpty() && error.isEmpty())
                error = result.error;
        }
        pool.waitForDone();
    }

    // The last moment a cancellation is honoured: from here on the folder changes.
    if (context.cancelled())
        return cancelledResult();
    if (!error.isEmpty()) {
        forgetDistrusted(gameRoot, context.distrusted);
        return failed(error);
    }

    if (!transaction.commit(plan, &error))
        return failed(error);

    // Committed before the installed manifest names the new release: recovery must never
    // restore old files under a manifest that describes new ones (the state cache would then
    // vouch for them, and files the new release dropped would never be removed). A crash
    // between the two leaves new files under the old manifest, which the next planning checks
    // by content.
    if (!transaction.markCommitted(&error)) {
        transaction.rollback();
        return failed(error);
    }
    const QDir root(gameRoot);
    if (!writeInstalledManifest(root, manifest, &error)) {
        transaction.rollback();
        return failed(error);
    }
    syncDirectory(QFileInfo(installedManifestPath(root)).absolutePath());

    writeLocalState(root, manifest);
    transaction.finish();
    (void)removeTree(QDir(cacheRoot).filePath(QStringLiteral("objects")));

    if (progress)
        progress(context.total, context.total, QString());
    ApplyResult result;
    result.ok = true;
    return result;
}

} // namespace vorn
