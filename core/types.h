#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVector>

namespace vorn {

// Digests are 32 raw bytes; an empty QByteArray means "no digest". Sizes and offsets are qint64.

struct ChunkingOptions
{
    QString algorithm = QStringLiteral("fastcdc-v1");
    qint64 wholeFileThreshold = 8 * 1024 * 1024;
    qint64 minBytes = 1024 * 1024;
    qint64 averageBytes = 4 * 1024 * 1024;
    qint64 maxBytes = 8 * 1024 * 1024;
};

struct LaunchProfile
{
    QString id;
    QString title;
    QString executable;
    QString arguments;
};

struct ManifestChunk
{
    qint64 offset = 0;
    qint64 size = 0;
    QByteArray sha256;
    QByteArray blobSha256;
    qint64 blobSize = 0;
};

struct ManifestFile
{
    QString path;
    qint64 size = 0;
    QByteArray sha256;
    // The file belongs to the user once it exists: installed if missing, never replaced or removed.
    bool preserve = false;
    // Installed with execute permission where the system has such a thing (a game client
    // started on Linux, directly or through Wine); systems without it ignore the flag.
    bool executable = false;
    QVector<ManifestChunk> chunks;
};

struct Manifest
{
    int schema = 1;
    QString releaseId;
    QString createdUtc;
    QString gameRoot = QStringLiteral("Ostravel");
    ChunkingOptions chunking;
    QString compression = QStringLiteral("qt-zlib-v1");
    QVector<LaunchProfile> launchProfiles;
    // Carried for the publisher; per-file ownership is ManifestFile::preserve.
    QStringList preserve;
    QVector<ManifestFile> files;
    // The sequence of the channel pointer that announced the release (0: none). Set by the
    // client, not the publisher, and kept in the installed manifest, so that an older release
    // is refused even when nothing else remembers what was installed.
    qint64 channelSequence = 0;
};

struct ChunkRange
{
    qint64 offset = 0;
    qint64 size = 0;
};

// Size and modification time of an installed file right after the install that wrote it.
struct LocalFileState
{
    qint64 size = -1;
    qint64 modifiedMs = -1;
};

struct ChunkSource
{
    qint64 offset = 0;
    qint64 size = 0;
    QByteArray sha256;
    QByteArray blobSha256;
    qint64 blobSize = 0;
    // false: copy size bytes at localOffset from a file already in the game folder: localPath
    // (absolute), or the current copy of the file being built when that is empty.
    bool fromObject = true;
    qint64 localOffset = 0;
    QString localPath;
};

struct FilePlan
{
    ManifestFile file;
    QString targetPath;
    QVector<ChunkSource> sources;
};

struct ObjectRef
{
    QByteArray sha256;
    qint64 size = 0;
};

struct UpdatePlan
{
    bool ok = false;
    QString error;
    QString releaseId;
    QVector<FilePlan> files;
    QVector<ObjectRef> objects;
    QStringList removals;
    qint64 downloadBytes = 0;
    qint64 assembleBytes = 0;
};

bool operator==(const ChunkingOptions& a, const ChunkingOptions& b);
bool operator==(const LaunchProfile& a, const LaunchProfile& b);
bool operator==(const ManifestChunk& a, const ManifestChunk& b);
bool operator==(const ManifestFile& a, const ManifestFile& b);
bool operator==(const Manifest& a, const Manifest& b);
bool operator==(const ChunkRange& a, const ChunkRange& b);
bool operator==(const LocalFileState& a, const LocalFileState& b);
bool operator==(const ChunkSource& a, const ChunkSource& b);
bool operator==(const FilePlan& a, const FilePlan& b);
bool operator==(const ObjectRef& a, const ObjectRef& b);
bool operator==(const UpdatePlan& a, const UpdatePlan& b);

inline bool operator!=(const ChunkingOptions& a, const ChunkingOptions& b) { return !(a == b); }
inline bool operator!=(const LaunchProfile& a, const LaunchProfile& b) { return !(a == b); }
inline bool operator!=(const ManifestChunk& a, const ManifestChunk& b) { return !(a == b); }
inline bool operator!=(const ManifestFile& a, const ManifestFile& b) { return !(a == b); }
inline bool operator!=(const Manifest& a, const Manifest& b) { return !(a == b); }
inline bool operator!=(const ChunkRange& a, const ChunkRange& b) { return !(a == b); }
inline bool operator!=(const LocalFileState& a, const LocalFileState& b) { return !(a == b); }
inline bool operator!=(const ChunkSource& a, const ChunkSource& b) { return !(a == b); }
inline bool operator!=(const FilePlan& a, const FilePlan& b) { return !(a == b); }
inline bool operator!=(const ObjectRef& a, const ObjectRef& b) { return !(a == b); }
inline bool operator!=(const UpdatePlan& a, const UpdatePlan& b) { return !(a == b); }

// Registers "vorn::Manifest" and "vorn::UpdatePlan" for queued signals. Safe to call repeatedly
// and from any thread; programs that use parseManifest or buildUpdatePlan get it automatically
// when their QCoreApplication starts.
void registerCoreMetaTypes();

} // namespace vorn

Q_DECLARE_METATYPE(vorn::Manifest)
Q_DECLARE_METATYPE(vorn::UpdatePlan)
