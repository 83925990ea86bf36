#pragma once

#include "core/types.h"

#include <QDir>
#include <QString>
#include <QVector>

namespace vorn::publish {

// A manifest spends about 210 bytes per chunk. This many chunks keep it to a few MiB, which
// every player downloads once per release.
constexpr qint64 kChunkBudget = 40000;
constexpr qint64 kSmallestChosenAverage = 64 * 1024;

// One step of the ladder the publisher chooses from: min = average / 4, max = average * 4,
// files up to the average kept whole. The top step (4 MiB) is the long-standing default
// instead, whose 8 MiB maximum stays below the launcher's object limit, so large releases
// published before keep their settings.
[[nodiscard]] ChunkingOptions chunkingForAverage(qint64 averageBytes);

// Chunks the files would be cut into, from their sizes alone. Content-defined cuts land a
// little after the average on random data, so real releases come out about a fifth below.
[[nodiscard]] qint64 estimateChunkCount(const QVector<qint64>& fileSizes,
                                        const ChunkingOptions& options);

struct ChunkChoice
{
    ChunkingOptions options;
    qint64 estimatedChunks = 0;
    // False when even the largest step cuts more chunks than the budget.
    bool withinBudget = false;
};

// The smallest power-of-two average from 64 KiB to 4 MiB that keeps the estimated chunk count
// under the budget: small chunks make small updates, but every chunk costs manifest.
[[nodiscard]] ChunkChoice chooseChunking(const QVector<qint64>& fileSizes,
                                         qint64 budget = kChunkBudget);

// The release the repository's channel pointer names, and the settings it was cut with.
// False when there is no such release or its manifest cannot be read.
[[nodiscard]] bool readLiveChunking(const QDir& repo, QString* releaseId, ChunkingOptions* chunking);

} // namespace vorn::publish
