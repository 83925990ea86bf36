// The release command: checks the options, walks the source, cuts and stores every chunk, then
// writes the manifest and its signature and switches the channel pointer last.
#include "publish/publisher.h"

#include "core/manifest.h"
#include "core/paths.h"
#include "core/save_file.h"
#include "core/sha256.h"
#include "publish/follow_previous.h"
#include "publish/publisher_internal.h"
#include "publish/release_objects.h"
#include "publish/release_sources.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>

namespace vorn::publish {

bool isUsableReleaseId(const QString& releaseId)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._-]{0,127}$"));
    // Clients name a folder after it, so no trailing dot and no device name either.
    return pattern.match(releaseId).hasMatch() && isPlainFolderName(releaseId);
}

bool publishRelease(const ReleaseOptions& options, ReleaseSummary* summary, QString* error)
{
    QElapsedTimer timer;
    timer.start();
    ReleaseSummary result;

    if (!isUsableReleaseId(options.releaseId)) {
        setError(error, QStringLiteral("Release ID must be 1-128 letters, digits, '.', '_' or '-', "
                                       "starting with a letter or digit, not ending with a dot and "
                                       "not a Windows device name: %1").arg(options.releaseId));
        return false;
    }
    if (options.gameRoot.trimmed().isEmpty()) {
        setError(error, QStringLiteral("The game root name must not be empty"));
        return false;
    }
    if (options.compressionLevel < 0 || options.compressionLevel > kMaxCompressionLevel) {
        setError(error, QStringLiteral("Compression level must be from 0 to %1").arg(kMaxCompressionLevel));
        return false;
    }
    if (options.chunkSettings == ReleaseOptions::ChunkSettings::AsGiven
        && !checkChunking(options.chunking, error))
        return false;
    for (const LaunchProfile& profile : options.launchProfiles) {
        if (profile.id.isEmpty() || profile.title.isEmpty()
            || normalizeRelativePath(profile.executable).isEmpty()) {
            setError(error, QStringLiteral("Invalid launch profile: %1").arg(profile.id));
            return false;
        }
    }

    const QDir repo(options.repoDir);
    const QString manifestPath = manifestRelativePath(options.releaseId);
    if (QFileInfo::exists(repo.filePath(manifestPath))) {
        setError(error, QStringLiteral("Release %1 already exists in the repository").arg(options.releaseId));
        return false;
    }

    PointerSigning signing;
    if (!preparePointerSigning(repo, options.privateKeyPath, options.trustedKeyPaths,
                               options.expiresInDays, &signing, error))
        return false;
    const ReleaseKey& key = signing.key;

    QVector<SourceFile> sources;
    if (!collectSourceFiles(options, &sources, error))
        return false;
    Manifest live;
    const ChunkingOptions chunking = settleChunking(options, repo, signing.hadPointer ? &signing.current : nullptr,
                                                    sources, &live, &result);
    if (!checkChunking(chunking, error))
        return false;

    ObjectStore store(options.repoDir);
    PreviousChunks previous(live.chunking == chunking ? live.files : QVector<ManifestFile>());
    const QFileInfoList earlier = QDir(repo.filePath(QStringLiteral("manifests")))
                                      .entryInfoList({QStringLiteral("*.json")}, QDir::Files);
    for (const QFileInfo& info : earlier) {
        QByteArray bytes;
        Manifest known;
        if (!readWholeFile(info.absoluteFilePath(), &bytes, nullptr) || !parseManifest(bytes, &known, nullptr))
            continue; // only a missed shortcut: the chunk is then compressed and stored anew
        for (const ManifestFile& file : known.files) {
            for (const ManifestChunk& chunk : file.chunks) {
                store.addKnownChunk(chunk);
                previous.addKnown(chunk.sha256);
            }
        }
    }

    QVector<ManifestFile> files(sources.size());
    QVector<QVector<CutChunk>> cuts(sources.size());
    if (!cutFiles(sources, chunking, previous, &cuts, error))
        return false;

    // The chunks then compress in parallel on every core.
    QVector<Job> jobs;
    for (int i = 0; i < sources.size(); ++i) {
        const SourceFile& source = sources.at(i);
        ManifestFile& entry = files[i];
        entry.path = source.relativePath;
        entry.size = source.size;
        entry.preserve = source.preserve;
        entry.executable = source.executable;
        entry.chunks.resize(cuts.at(i).size());
        jobs.append({i, -1, {}});
        for (int c = 0; c < cuts.at(i).size(); ++c)
            jobs.append({i, c, cuts.at(i).at(c)});
        result.sourceBytes += source.size;
        result.chunks += cuts.at(i).size();
    }
    cuts.clear();

    const bool stored = mapUntilFailure(jobs, [&](const Job& job, QString* failure) {
        return runJob(job, sources, files, options.compressionLevel, store, failure);
    }, error);
    if (!stored)
        return false;

    Manifest manifest;
    manifest.releaseId = options.releaseId;
    manifest.createdUtc = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    manifest.gameRoot = options.gameRoot.trimmed();
    manifest.chunking = chunking;
    manifest.launchProfiles = options.launchProfiles;
    for (LaunchProfile& profile : manifest.launchProfiles)
        profile.executable = normalizeRelativePath(profile.executable);
    for (const QString& entry : options.keepList) {
        if (!entry.trimmed().isEmpty())
            manifest.preserve.append(entry.trimmed());
    }
    manifest.files = files;

    const QByteArray manifestJson = manifestToJson(manifest);
    Manifest reread;
    QString parseError;
    if (!parseManifest(manifestJson, &reread, &parseError)) {
        setError(error, QStringLiteral("The written manifest does not parse: %1").arg(parseError));
        return false;
    }

    QByteArray manifestSignature;
    if (!signBytes(key, manifestJson, &manifestSignature, error))
        return false;
    const QByteArray pointer = channelPointerJson(options.releaseId, manifestPath, Sha256::hash(manifestJson),
                                                  signing.current.sequence + 1, signing.expiresUtc);
    QByteArray pointerSignature;
    if (!signBytes(key, pointer, &pointerSignature, error))
        return false;

    if (!writeFileAtomically(repo.filePath(manifestSignaturePath(manifestPath)), manifestSignature, error)
        || !writeFileAtomically(repo.filePath(manifestPath), manifestJson, error)
        || !switchChannelPointer(repo, pointer, pointerSignature, error)) {
        return false;
    }

    result.files = sources.size();
    result.objectsNew = store.newObjects();
    result.objectsReused = store.reusedObjects();
    result.bytesStoredNew = store.newBytes();
    result.elapsedMs = timer.elapsed();
    result.manifestPath = manifestPath;
    result.manifestBytes = manifestJson.size();
    if (summary)
        *summary = result;
    return true;
}

} // namespace vorn::publish
