#pragma once

#include "core/types.h"

#include <QHash>

class QIODevice;

namespace vorn {

class Sha256;

// Content-defined cutting, "fastcdc-v1": the same rule as the publisher's, so that an old copy
// of a file yields the chunks the new manifest already names. Files up to wholeFileThreshold are
// one chunk and are not read. Returns ranges covering [0, size), or an empty vector on failure.
[[nodiscard]] QVector<ChunkRange> split(const ChunkingOptions& options, QIODevice* device,
                                        qint64 size, QString* error = nullptr);

// Digest of the whole device, or an empty array on failure.
[[nodiscard]] QByteArray sha256OfDevice(QIODevice* device, QString* error = nullptr);

// Digest of length bytes from offset, or an empty array on failure.
[[nodiscard]] QByteArray sha256OfRange(QIODevice* device, qint64 offset, qint64 length,
                                       QString* error = nullptr);

// Feeds the next length bytes of the device into hash; fails on a short read.
[[nodiscard]] bool hashDeviceBytes(QIODevice* device, Sha256* hash, qint64 length,
                                   QString* error = nullptr);

// Chunk digest -> where that content first lies in the device. Empty on failure; a successful
// index is never empty (an empty device has the empty chunk).
using LocalChunkIndex = QHash<QByteArray, ChunkRange>;
[[nodiscard]] LocalChunkIndex indexLocalChunks(QIODevice* device, const ChunkingOptions& options,
                                               QString* error = nullptr);

} // namespace vorn
