#include "publish/chunk_choice.h"

#include "core/manifest.h"

#include <QFile>

namespace vorn::publish {

namespace {

constexpr qint64 kLargestChosenMax = 8 * 1024 * 1024;
// A chunk entry: two digests in hexadecimal, offset and sizes. A file entry without its chunks:
// its digest, size and policy, and the path.
constexpr qint64 kChunkEntryBytes = 210;
constexpr qint64 kFileEntryBytes = 150;

bool readSmallFile(const QString& path, QByteArray* bytes)
{
    QFile file(path);
    // Far above any manifest the launcher accepts; only guards against reading a stray huge file.
    if (!file.open(QIODevice::ReadOnly) || file.size() > 256 * 1024 * 1024)
        return false;
    *bytes = file.readAll();
    return file.error() == QFileDevice::NoError;
}

} // namespace

ChunkingOptions chunkingForAverage(qint64 averageBytes)
{
    const ChunkingOptions longStanding;
    if (averageBytes >= longStanding.averageBytes)
        return longStanding;
    ChunkingOptions options;
    options.averageBytes = averageBytes;
    options.minBytes = qMax<qint64>(1, averageBytes / 4);
    options.maxBytes = qMin(averageBytes * 4, kLargestChosenMax);
    options.wholeFileThreshold = averageBytes;
    return options;
}

qint64 estimateChunkCount(const QVector<DeclaredFile>& files, const ChunkingOptions& options)
{
    // Expected cut distance 1.2 averages, written as 6/5 to stay in integers.
    const qint64 distance = options.averageBytes * 6 / 5;
    qint64 count = 0;
    for (const DeclaredFile& file : files) {
        if (file.size <= options.wholeFileThreshold || distance <= 0)
            ++count;
        else
            count += (file.size + distance - 1) / distance;
    }
    return count;
}

qint64 estimateManifestBytes(const QVector<DeclaredFile>& files, const ChunkingOptions& options)
{
    qint64 bytes = 1024 + estimateChunkCount(files, options) * kChunkEntryBytes;
    for (const DeclaredFile& file : files)
        bytes += kFileEntryBytes + file.pathBytes;
    return bytes;
}

ChunkChoice chooseChunking(const QVector<DeclaredFile>& files, qint64 budgetBytes)
{
    const qint64 largest = ChunkingOptions().averageBytes;
    ChunkChoice choice;
    for (qint64 average = kSmallestChosenAverage; average <= largest; average *= 2) {
        choice.options = chunkingForAverage(average);
        choice.estimatedManifestBytes = estimateManifestBytes(files, choice.options);
        choice.withinBudget = choice.estimatedManifestBytes < budgetBytes;
        if (choice.withinBudget)
            break;
    }
    return choice;
}

bool readLiveManifest(const QDir& repo, const ChannelPointer& live, Manifest* manifest)
{
    QByteArray bytes;
    return !live.manifestPath.isEmpty() && readSmallFile(repo.filePath(live.manifestPath), &bytes)
           && parseManifest(bytes, manifest);
}

} // namespace vorn::publish
