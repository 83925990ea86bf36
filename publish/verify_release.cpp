// The verify command: pointer, manifest and every object of a release checked as a launcher
// would, with every problem listed rather than the first.
#include "publish/publisher.h"

#include "core/channel_pointer.h"
#include "core/manifest.h"
#include "core/object_format.h"
#include "core/release_signature.h"
#include "core/sha256.h"
#include "publish/publisher_internal.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QtConcurrent>

namespace vorn::publish {

namespace {

struct ObjectCheck
{
    bool ok = false;
    QString problem;
};

// Loads one stored object and checks it against the chunk that names it.
ObjectCheck checkObject(const QDir& repo, const ManifestChunk& chunk, QByteArray* plain)
{
    const QString relative = objectRelativePath(chunk.blobSha256);
    QFile file(repo.filePath(relative));
    if (!file.open(QIODevice::ReadOnly))
        return {false, QStringLiteral("%1: missing (%2)").arg(relative, file.errorString())};
    const QByteArray blob = file.readAll();
    if (blob.size() != chunk.blobSize)
        return {false, QStringLiteral("%1: size %2, expected %3").arg(relative).arg(blob.size()).arg(chunk.blobSize)};
    if (Sha256::hash(blob) != chunk.blobSha256)
        return {false, QStringLiteral("%1: content does not match its name").arg(relative)};
    if (!inflateObject(blob, chunk.size, plain))
        return {false, QStringLiteral("%1: does not decompress to %2 bytes").arg(relative).arg(chunk.size)};
    if (Sha256::hash(*plain) != chunk.sha256)
        return {false, QStringLiteral("%1: decompressed chunk does not match its digest").arg(relative)};
    return {true, QString()};
}

} // namespace

bool verifyRelease(const QString& repoDir, const QList<QByteArray>& publicKeyBlobs,
                   const QString& releaseId, VerifyReport* report, QString* error)
{
    VerifyReport result;
    const QDir repo(repoDir);
    QByteArray pointerJson;
    QByteArray pointerSignature;
    if (!readWholeFile(repo.filePath(QStringLiteral("channels/live.json")), &pointerJson, error)
        || !readWholeFile(repo.filePath(QStringLiteral("channels/live.sig")), &pointerSignature, error))
        return false;

    QString failure;
    ChannelPointer pointer;
    if (!verifyReleaseSignature(publicKeyBlobs, pointerJson, pointerSignature, nullptr, &failure))
        result.problems.append(QStringLiteral("channels/live.sig: %1").arg(failure));
    if (!parseChannelPointer(pointerJson, &pointer, &failure)) {
        setError(error, QStringLiteral("channels/live.json: %1").arg(failure));
        return false;
    }
    result.sequence = pointer.sequence;
    result.expiresUtc = pointer.expiresUtc;
    if (pointer.expiresUtc.isValid() && pointer.expiresUtc < QDateTime::currentDateTimeUtc())
        result.problems.append(QStringLiteral("channels/live.json: expired at %1; launchers refuse it "
                                              "(run vorn-publish refresh)")
                                   .arg(pointer.expiresUtc.toString(Qt::ISODate)));

    result.releaseId = releaseId.isEmpty() ? pointer.releaseId : releaseId;
    const bool pointerRelease = result.releaseId == pointer.releaseId;
    const QString manifestPath =
        pointerRelease ? pointer.manifestPath : manifestRelativePath(result.releaseId);
    QByteArray manifestJson;
    QByteArray manifestSignature;
    if (!readWholeFile(repo.filePath(manifestPath), &manifestJson, error)
        || !readWholeFile(repo.filePath(manifestSignaturePath(manifestPath)), &manifestSignature, error))
        return false;
    if (pointerRelease && Sha256::hash(manifestJson) != pointer.manifestSha256)
        result.problems.append(QStringLiteral("%1: digest differs from the channel pointer's").arg(manifestPath));
    if (!verifyReleaseSignature(publicKeyBlobs, manifestJson, manifestSignature, nullptr, &failure))
        result.problems.append(QStringLiteral("%1: %2").arg(manifestSignaturePath(manifestPath), failure));
    Manifest manifest;
    if (!parseManifest(manifestJson, &manifest, &failure)) {
        result.problems.append(QStringLiteral("%1: %2").arg(manifestPath, failure));
    } else {
        if (manifest.releaseId != result.releaseId)
            result.problems.append(QStringLiteral("%1: names release %2").arg(manifestPath, manifest.releaseId));
        result.files = manifest.files.size();

        // Every object is checked once; every file's digest is rebuilt from its chunks.
        QMutex mutex;
        QHash<QByteArray, QString> objectProblems;
        QSet<QByteArray> objects;
        QStringList fileProblems;
        QtConcurrent::blockingMap(manifest.files, [&](const ManifestFile& file) {
            Sha256 digest;
            bool complete = true;
            for (const ManifestChunk& chunk : file.chunks) {
                QByteArray plain;
                const ObjectCheck check = checkObject(repo, chunk, &plain);
                QMutexLocker lock(&mutex);
                objects.insert(chunk.blobSha256);
                if (!check.ok) {
                    objectProblems.insert(chunk.blobSha256, check.problem);
                    complete = false;
                    continue;
                }
                lock.unlock();
                digest.addData(plain);
            }
            if (complete && digest.result() != file.sha256) {
                QMutexLocker lock(&mutex);
                fileProblems.append(QStringLiteral("%1: chunks do not add up to the file's digest").arg(file.path));
            }
        });
        result.objects = objects.size();
        QStringList sortedObjectProblems = objectProblems.values();
        sortedObjectProblems.sort();
        fileProblems.sort();
        result.problems += sortedObjectProblems;
        result.problems += fileProblems;
    }
    if (report)
        *report = result;
    if (!result.problems.isEmpty()) {
        setError(error, QStringLiteral("%1 problem(s) in release %2").arg(result.problems.size()).arg(result.releaseId));
        return false;
    }
    return true;
}

} // namespace vorn::publish
