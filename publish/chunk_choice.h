#pragma once

#include "core/channel_pointer.h"
#include "core/manifest.h"
#include "core/types.h"

#include <QDir>
#include <QString>
#include <QVector>

namespace vorn::publish {

// Every player downloads the manifest once per release: the settings are chosen to keep it
// under this size where the release allows.
constexpr qint64 kManifestBudgetBytes = 4 * 1024 * 1024;
constexpr qint64 kSmallestChosenAverage = 64 * 1024;

// One step of the ladder the publisher chooses from: min = average / 4, max = average * 4,
// files up to the average kept whole. The top step (4 MiB) is the long-standing default
// instead, whose 8 MiB maximum stays below the launcher's object limit, so large releases
// published before keep their settings.
[[nodiscard]] ChunkingOptions chunkingForAverage(qint64 averageBytes);

struct DeclaredFile
{
    qint64 size = 0;
    qint64 pathBytes = 0;
};

// Chunks the files would be cut into, from their sizes alone: content-defined cuts with a
// quarter of the average as minimum land about 1.2 averages apart.
[[nodiscard]] qint64 estimateChunkCount(const QVector<DeclaredFile>& files,
                                        const ChunkingOptions& options);

// The manifest's size, at about 210 bytes per chunk and 150 per file plus its path.
[[nodiscard]] qint64 estimateManifestBytes(const QVector<DeclaredFile>& files,
                                           const ChunkingOptions& options);

struct ChunkChoice
{
    ChunkingOptions options;
    qint64 estimatedManifestBytes = 0;
    // False when even the largest step leaves the manifest above the budget (a release of very
    // many files, typically).
    bool withinBudget = false;
};

// The smallest power-of-two average from 64 KiB to 4 MiB that keeps the estimated manifest
// under the budget: small chunks make small updates, but every chunk costs manifest.
[[nodiscard]] ChunkChoice chooseChunking(const QVector<DeclaredFile>& files,
                                         qint64 budgetBytes = kManifestBudgetBytes);

// The manifest the verified live pointer names.
[[nodiscard]] bool readLiveManifest(const QDir& repo, const ChannelPointer& live, Manifest* manifest);

} // namespace vorn::publish
