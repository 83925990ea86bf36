#include "publish/chunk_choice.h"

#include "core/channel_pointer.h"
#include "core/manifest.h"
#include "core/paths.h"

#include <QFile>

namespace vorn::publish {

namespace {

constexpr qint64 kLargestChosenMax = 8 * 1024 * 1024;

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

qint64 estimateChunkCount(const QVector<qint64>& fileSizes, const ChunkingOptions& options)
{
    qint64 count = 0;
    for (const qint64 size : fileSizes) {
        if (size <= options.wholeFileThreshold || options.averageBytes <= 0)
            ++count;
        else
            count += (size + options.averageBytes - 1) / options.averageBytes;
    }
    return count;
}

ChunkChoice chooseChunking(const QVector<qint64>& fileSizes, qint64 budget)
{
    const qint64 largest = ChunkingOptions().averageBytes;
    ChunkChoice choice;
    for (qint64 average = kSmallestChosenAverage; average <= largest; average *= 2) {
        choice.options = chunkingForAverage(average);
        choice.estimatedChunks = estimateChunkCount(fileSizes, choice.options);
        choice.withinBudget = choice.estimatedChunks < budget;
        if (choice.withinBudget)
            break;
    }
    return choice;
}

bool readLiveChunking(const QDir& repo, QString* releaseId, ChunkingOptions* chunking)
{
    QByteArray bytes;
    ChannelPointer pointer;
    if (!readSmallFile(repo.filePath(QStringLiteral("channels/live.json")), &bytes)
        || !parseChannelPointer(bytes, &pointer))
        return false;
    const QString manifestPath = normalizeRelativePath(pointer.manifestPath);
    Manifest manifest;
    if (manifestPath.isEmpty() || !readSmallFile(repo.filePath(manifestPath), &bytes)
        || !parseManifest(bytes, &manifest))
        return false;
    *releaseId = manifest.releaseId;
    *chunking = manifest.chunking;
    return true;
}

} // namespace vorn::publish
