// The prune command: old manifests and the objects no kept manifest references.
#include "publish/publisher.h"

#include "core/channel_pointer.h"
#include "core/manifest.h"
#include "publish/publisher_internal.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace vorn::publish {

bool pruneRepository(const QString& repoDir, int keep, PruneSummary* summary, QString* error)
{
    PruneSummary result;
    if (keep < 1) {
        setError(error, QStringLiteral("At least one release must be kept"));
        return false;
    }
    const QDir repo(repoDir);
    QByteArray pointerJson;
    ChannelPointer pointer;
    QString failure;
    if (!readWholeFile(repo.filePath(QStringLiteral("channels/live.json")), &pointerJson, error))
        return false;
    if (!parseChannelPointer(pointerJson, &pointer, &failure)) {
        setError(error, QStringLiteral("channels/live.json: %1").arg(failure));
        return false;
    }

    struct Release
    {
        QString path;
        Manifest manifest;
    };
    QVector<Release> releases;
    const QFileInfoList manifestFiles = QDir(repo.filePath(QStringLiteral("manifests")))
                                            .entryInfoList({QStringLiteral("*.json")}, QDir::Files);
    for (const QFileInfo& info : manifestFiles) {
        QByteArray bytes;
        Release release;
        release.path = QStringLiteral("manifests/") + info.fileName();
        // An unreadable manifest could reference any object: deleting nothing is the safe answer.
        if (!readWholeFile(info.absoluteFilePath(), &bytes, error))
            return false;
        if (!parseManifest(bytes, &release.manifest, &failure)) {
            setError(error, QStringLiteral("%1: %2; nothing was deleted").arg(release.path, failure));
            return false;
        }
        releases.append(release);
    }
    std::sort(releases.begin(), releases.end(), [](const Release& a, const Release& b) {
        return a.manifest.createdUtc > b.manifest.createdUtc;
    });

    QSet<QByteArray> referenced;
    QVector<Release> doomed;
    int kept = 0;
    for (const Release& release : releases) {
        const bool live = release.path == pointer.manifestPath;
        if (live || kept < keep) {
            if (!live || kept < keep)
                ++kept;
            result.keptReleases.append(release.manifest.releaseId);
            for (const ManifestFile& file : release.manifest.files) {
                for (const ManifestChunk& chunk : file.chunks)
                    referenced.insert(chunk.blobSha256);
            }
        } else {
            doomed.append(release);
        }
    }
    if (!result.keptReleases.contains(pointer.releaseId)) {
        setError(error, QStringLiteral("The live release %1 has no manifest in the repository; "
                                       "nothing was deleted").arg(pointer.releaseId));
        return false;
    }

    for (const Release& release : doomed) {
        QFile::remove(repo.filePath(manifestSignaturePath(release.path)));
        if (!QFile::remove(repo.filePath(release.path))) {
            setError(error, QStringLiteral("Cannot delete %1").arg(release.path));
            return false;
        }
        result.deletedReleases.append(release.manifest.releaseId);
    }

    QDirIterator objects(repo.filePath(QStringLiteral("objects")), {QStringLiteral("*.bin")},
                         QDir::Files, QDirIterator::Subdirectories);
    while (objects.hasNext()) {
        const QString path = objects.next();
        const QByteArray digest = QByteArray::fromHex(objects.fileInfo().completeBaseName().toLatin1());
        if (digest.size() == 32 && referenced.contains(digest))
            continue;
        const qint64 size = objects.fileInfo().size();
        if (QFile::remove(path)) {
            ++result.objectsDeleted;
            result.bytesFreed += size;
        }
    }
    if (summary)
        *summary = result;
    return true;
}

} // namespace vorn::publish
