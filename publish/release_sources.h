// The release's sources: the walk over the game folder that decides what may be published and
// which files the player owns, and the chunk settings the release is cut with.
#pragma once

#include "core/channel_pointer.h"
#include "core/types.h"
#include "publish/publisher.h"

#include <QDir>
#include <QString>
#include <QVector>

namespace vorn::publish {

struct SourceFile
{
    QString relativePath;
    QString absolutePath;
    qint64 size = 0;
    bool preserve = false;
    bool executable = false;
};

// The game folder's regular files, sorted by path; anything a client could not install the
// same way (links, special files, names differing only in case, a .vorn folder) is refused.
[[nodiscard]] bool collectSourceFiles(const ReleaseOptions& options, QVector<SourceFile>* files,
                                      QString* error);

[[nodiscard]] bool checkChunking(const ChunkingOptions& chunking, QString* error);

// The settings to cut with. The live release's are noted either way: objects are only shared
// between releases cut alike, which the summary points out.
[[nodiscard]] ChunkingOptions settleChunking(const ReleaseOptions& options, const QDir& repo,
                                             const ChannelPointer* live, const QVector<SourceFile>& sources,
                                             Manifest* previous, ReleaseSummary* result);

} // namespace vorn::publish
