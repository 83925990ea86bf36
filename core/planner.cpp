#include "core/planner.h"

#include "core/chunker.h"
#include "core/local_state.h"
#include "core/manifest.h"
#include "core/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

namespace vorn {

namespace {

using InstalledFiles = QHash<QString, ManifestFile>;

// What looking at one file found out. Independent of every other file, so files can be looked at
// in parallel and merged in manifest order afterwards.
struct FileCheck
{
    enum class Outcome { UpToDate, Rebuild, UnsafePath, InspectionFailed };
    Outcome outcome = Outcome::UpToDate;
    QString path;
    QString targetPath;
    QString error;
    LocalChunkIndex localChunks;
    // The installed manifest's chunk list describes the file as it is now, so its chunks can
    // feed other files without reading it first.
    bool describedByInstall = false;
};

// Where a chunk's bytes lie in the files that the installed manifest describes. Built only when
// some file needs a chunk its own copy lacks; one entry per distinct chunk, its key shared with
// the installed manifest, so even 100,000 files cost a few MiB.
class InstalledChunks
{
public:
    struct Location
    {
        int file = -1; // into paths
        qint64 offset = 0;
        qint64 size = 0;
    };

    void add(const QString& path, const ManifestFile& entry)
    {
        const int file = m_paths.size();
        bool used = false;
        for (const ManifestChunk& chunk : entry.chunks) {
            // A chunk list that does not fit the file it describes is no source for anything.
            if (chunk.offset < 0 || chunk.size < 0 || chunk.offset > entry.size - chunk.size)
                continue;
            if (!m_chunks.contains(chunk.sha256)) {
                m_chunks.insert(chunk.sha256, Location{file, chunk.offset, chunk.size});
                used = true;
            }
        }
        if (used)
            m_paths.append(path);
    }

    [[nodiscard]] const Location* find(const QByteArray& sha256, qint64 size) const
    {
        const auto it = m_chunks.constFind(sha256);
        return it != m_chunks.constEnd() && it->size == size ? &it.value() : nullptr;
    }

    [[nodiscard]] const QString& path(const Location& location) const { return m_paths.at(location.file); }

private:
    QVector<QString> m_paths;
    QHash<QByteArray, Location> m_chunks;
};

bool readInstalledManifest(const QDir& folder, InstalledFiles* files, QVector<ManifestFile>* order)
{
    // Anything but a regular file of a sane size is no installed manifest: a FIFO would block
    // the read and a link to a device would fill memory.
    QByteArray bytes;
    if (!readRegularFile(installedManifestPath(folder), kMaxInstalledManifestBytes, &bytes))
        return false;
    Manifest installed;
    if (!parseManifest(bytes, &installed))
        return false;
    files->reserve(installed.files.size());
    for (const ManifestFile& entry : qAsConst(installed.files))
        files->insert(pathKey(entry.path), entry);
    *order = installed.files;
    return true;
}

// A file whose bytes are right but which lacks its execute permission: it is staged again from
// its own chunks, so the swap gives it the right mode without a download.
FileCheck rebuiltFromItself(FileCheck check, const ManifestFile& entry)
{
    check.outcome = FileCheck::Outcome::Rebuild;
    for (const ManifestChunk& chunk : entry.chunks)
        check.localChunks.insert(chunk.sha256, ChunkRange{chunk.offset, chunk.size});
    return check;
}

FileCheck checkFile(const ManifestFile& entry, const QDir& folder, const ChunkingOptions& chunking,
                    const InstalledFiles& installed, const LocalState& state)
{
    FileCheck check;
    check.path = normalizeRelativePath(entry.path);
    if (check.path.isEmpty() || isStateFolderPath(check.path)) {
        check.outcome = FileCheck::Outcome::UnsafePath;
        return check;
    }
    check.targetPath = folder.filePath(check.path);
    const FileStatus status = fileStatus(check.targetPath);

    // A user-owned file that exists is left alone, whatever its content (a link too).
    if (entry.preserve && (status.exists || status.isLink))
        return check;

    const QString key = pathKey(check.path);
    const auto installedEntry = installed.constFind(key);
    const auto recorded = state.constFind(key);
    const ManifestFile* installedFile = installedEntry == installed.constEnd() ? nullptr : &installedEntry.value();
    const LocalFileState* recordedState = recorded == state.constEnd() ? nullptr : &recorded.value();
    const bool modeWrong = entry.executable && status.isFile && status.modeKnown && !status.executable;
    check.describedByInstall = isDescribedByInstall(status, installedFile, recordedState);
    if (isTrustedByCache(status, entry, installedFile, recordedState))
        return modeWrong ? rebuiltFromItself(check, entry) : check;

    // A link is never read through: the file is built anew and the link itself replaced.
    QFile current(check.targetPath);
    const bool opened = status.isFile && !status.isLink && current.open(QIODevice::ReadOnly);
    if (opened && current.size() == entry.size && sha256OfDevice(&current) == entry.sha256)
        return modeWrong ? rebuiltFromItself(check, entry) : check;

    check.outcome = FileCheck::Outcome::Rebuild;
    if (opened) {
        QString error;
        check.localChunks = indexLocalChunks(&current, chunking, &error);
        // An empty current copy has nothing to offer anyway.
        if (check.localChunks.isEmpty() && current.size() > 0) {
            check.outcome = FileCheck::Outcome::InspectionFailed;
            check.error = error;
        }
    }
    return check;
}

// Looks at every file, with a few threads when there are several files: hashing is CPU-bound and
// one core rarely keeps up with a fast disk. Workers take files in manifest order, so reads
// still move through the folder roughly in order.
QVector<FileCheck> checkFiles(const Manifest& manifest, const QString& folderPath,
                              const InstalledFiles& installed, const LocalState& state)
{
    const int count = manifest.files.size();
    QVector<FileCheck> checks(count);
    FileCheck* results = checks.data();
    const int workers = qBound(1, qMin(4, QThread::idealThreadCount()), qMax(1, count / 8));
    std::atomic<int> next{0};
    // Once a file fails, files after it no longer matter.
    std::atomic<int> firstFailure{count};
    auto work = [&] {
        // Each thread its own QDir: implicitly shared objects are not for concurrent use.
        const QDir folder(folderPath);
        for (;;) {
            const int i = next.fetch_add(1);
            if (i >= count || i > firstFailure.load())
                return;
            results[i] = checkFile(manifest.files.at(i), folder, manifest.chunking, installed, state);
            if (results[i].outcome == FileCheck::Outcome::UnsafePath
                || results[i].outcome == FileCheck::Outcome::InspectionFailed) {
                int seen = firstFailure.load();
                while (i < seen && !firstFailure.compare_exchange_weak(seen, i)) {
                }
            }
        }
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < workers; ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break; // no thread to be had: the calling thread does the rest
        }
    }
    work();
    for (std::thread& thread : threads)
        thread.join();
    return checks;
}

// Indexes every file of the installed release whose content its manifest entry still describes:
// the files of the new release first, as looked at, then those the new release drops or renames.
// A file the installed manifest does not list (the player's own) is never a source.
InstalledChunks indexInstalledChunks(const QDir& folder, const QVector<FileCheck>& checks,
                                     const InstalledFiles& installed,
                                     const QVector<ManifestFile>& installedOrder, const LocalState& state,
                                     const QSet<QString>& manifestPaths)
{
    InstalledChunks index;
    for (const FileCheck& check : checks) {
        if (check.describedByInstall)
            index.add(check.targetPath, installed.value(pathKey(check.path)));
    }
    for (const ManifestFile& listed : installedOrder) {
        const QString path = normalizeRelativePath(listed.path);
        const QString key = pathKey(path);
        if (path.isEmpty() || isStateFolderPath(path) || manifestPaths.contains(key))
            continue;
        const auto entry = installed.constFind(key);
        const auto recorded = state.constFind(key);
        const QString absolute = folder.filePath(path);
        if (recorded != state.constEnd()
            && isDescribedByInstall(fileStatus(absolute), &entry.value(), &recorded.value()))
            index.add(absolute, entry.value());
    }
    return index;
}

bool digestLess(const ObjectRef& a, const ObjectRef& b)
{
    const int common = qMin(a.sha256.size(), b.sha256.size());
    const int order = std::memcmp(a.sha256.constData(), b.sha256.constData(), size_t(common));
    return order != 0 ? order < 0 : a.sha256.size() < b.sha256.size();
}

} // namespace

UpdatePlan buildUpdatePlan(const Manifest& manifest, const QString& gameFolder)
{
    UpdatePlan plan;
    plan.releaseId = manifest.releaseId;

    const QDir folder(gameFolder);
    if (!folder.exists() && !QDir().mkpath(folder.absolutePath())) {
        plan.error = QStringLiteral("Cannot create game directory: %1").arg(gameFolder);
        return plan;
    }

    // The two bookkeeping files are independent; reading them side by side halves the wait
    // before an up-to-date installation is confirmed.
    LocalState state;
    std::thread stateReader;
    try {
        stateReader = std::thread([&state, path = folder.path()] { state = loadLocalState(QDir(path)); });
    } catch (const std::system_error&) {
        state = loadLocalState(folder);
    }
    InstalledFiles installed;
    QVector<ManifestFile> installedOrder;
    const bool hasInstalled = readInstalledManifest(folder, &installed, &installedOrder);
    if (stateReader.joinable())
        stateReader.join();

    // Files are written and removed only below real folders: a folder that is a link would put
    // them (and move same-named files from) wherever it points.
    QHash<QString, EntryKind> folderKinds;
    for (const ManifestFile& entry : manifest.files) {
        const QString path = normalizeRelativePath(entry.path);
        const QString link = path.isEmpty() ? QString() : linkedFolder(folder, path, &folderKinds);
        if (!link.isEmpty()) {
            plan.error = linkRefusal(link);
            return plan;
        }
    }

    const QVector<FileCheck> checks = checkFiles(manifest, folder.path(), installed, state);

    QSet<QString> manifestPaths;
    manifestPaths.reserve(manifest.files.size());
    for (const FileCheck& check : checks) {
        if (check.outcome == FileCheck::Outcome::UnsafePath) {
            plan.error = QStringLiteral("Unsafe target path in manifest");
            return plan;
        }
        manifestPaths.insert(pathKey(check.path));
    }

    // Chunks can come from any file the installed release describes: a renamed or moved file is
    // then copied, not downloaded again. Only digests of plain bytes are compared, so a release
    // cut with other chunk settings simply finds nothing there.
    InstalledChunks installedChunks;
    bool installedChunksIndexed = false;
    QHash<QByteArray, qint64> needed;
    for (int i = 0; i < manifest.files.size(); ++i) {
        const ManifestFile& entry = manifest.files.at(i);
        const FileCheck& check = checks.at(i);
        if (check.outcome == FileCheck::Outcome::UpToDate)
            continue;
        if (check.outcome == FileCheck::Outcome::InspectionFailed) {
            plan.error = QStringLiteral("Cannot inspect %1: %2").arg(check.path, check.error);
            return plan;
        }

        FilePlan filePlan;
        filePlan.file = entry;
        filePlan.targetPath = check.targetPath;
        plan.assembleBytes += entry.size;
        filePlan.sources.reserve(entry.chunks.size());
        for (const ManifestChunk& chunk : entry.chunks) {
            ChunkSource source;
            source.offset = chunk.offset;
            source.size = chunk.size;
            source.sha256 = chunk.sha256;
            source.blobSha256 = chunk.blobSha256;
            source.blobSize = chunk.blobSize;
            const auto local = check.localChunks.constFind(chunk.sha256);
            const InstalledChunks::Location* elsewhere = nullptr;
            if (local == check.localChunks.constEnd() || local->size != chunk.size) {
                if (!installedChunksIndexed && hasInstalled) {
                    installedChunks = indexInstalledChunks(folder, checks, installed, installedOrder, state,
                                                           manifestPaths);
                    installedChunksIndexed = true;
                }
                elsewhere = installedChunks.find(chunk.sha256, chunk.size);
            }
            if (local != check.localChunks.constEnd() && local->size == chunk.size) {
                source.fromObject = false;
                source.localOffset = local->offset;
            } else if (elsewhere) {
                source.fromObject = false;
                source.localOffset = elsewhere->offset;
                const QString& path = installedChunks.path(*elsewhere);
                if (path != check.targetPath)
                    source.localPath = path;
            } else {
                const auto known = needed.constFind(chunk.blobSha256);
                if (known != needed.constEnd() && known.value() != chunk.blobSize) {
                    plan.error = QStringLiteral("Conflicting object sizes in manifest");
                    return plan;
                }
                needed.insert(chunk.blobSha256, chunk.blobSize);
            }
            filePlan.sources.append(source);
        }
        plan.files.append(filePlan);
    }

    plan.objects.reserve(needed.size());
    for (auto it = needed.constBegin(); it != needed.constEnd(); ++it) {
        plan.objects.append(ObjectRef{it.key(), it.value()});
        plan.downloadBytes += it.value();
    }
    std::sort(plan.objects.begin(), plan.objects.end(), digestLess);

    if (hasInstalled) {
        for (const ManifestFile& entry : qAsConst(installedOrder)) {
            const QString path = normalizeRelativePath(entry.path);
            if (path.isEmpty() || entry.preserve || manifestPaths.contains(pathKey(path)))
                continue;
            const QString link = linkedFolder(folder, path, &folderKinds);
            if (!link.isEmpty()) {
                plan.error = linkRefusal(link);
                return plan;
            }
            plan.removals.append(path);
        }
    }

    plan.ok = true;
    return plan;
}

} // namespace vorn
