#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

class QDir;
class QFile;

namespace vorn {

// What QFileInfo reports about a path (exists, isFile, size, lastModified as milliseconds since
// the epoch), in one call, plus whether the path itself is a link. Checking an up-to-date
// installation asks this for every file; where the C library can answer directly this avoids
// QFileInfo's allocations and the two local-time conversions behind
// lastModified().toMSecsSinceEpoch().
struct FileStatus
{
    bool exists = false;
    bool isFile = false;
    qint64 size = 0;
    qint64 modifiedMs = 0;
    // Whether the system keeps an execute permission, and whether the owner has it.
    bool modeKnown = false;
    bool executable = false;
    // The other fields describe the link's target, as QFileInfo's do; the update never reads or
    // writes through a link, so a linked file never counts as an installed one.
    bool isLink = false;
};

[[nodiscard]] FileStatus fileStatus(const QString& path);

// What is at a path itself, never following a link. On Windows every reparse point (symbolic
// link, junction, mount point) counts as a link, because each can lead out of the folder.
enum class EntryKind { Missing, File, Directory, Link, Other };
[[nodiscard]] EntryKind entryKind(const QString& path);

// Opens the file for reading only when its path is a regular file itself: a FIFO planted there
// would block the open forever, a device would never end, and a link would lead elsewhere. The
// opened file is checked to be the one looked at, so an entry swapped in between is refused.
[[nodiscard]] bool openRegularFile(QFile* file);

// The whole of one of our own small files (bookkeeping, settings, a kept manifest), read only
// from a regular file and only up to maxBytes: anything else planted there (a link to a huge
// or endless file, a FIFO, a device) fails the read instead of blocking or filling memory.
[[nodiscard]] bool readRegularFile(const QString& path, qint64 maxBytes, QByteArray* bytes,
                                   QString* error = nullptr);

// Opens one of our own files for appending (a log), creating it when missing. A link or a
// FIFO or device at its place is removed first, never written through or waited on; a folder
// there fails the open.
[[nodiscard]] bool openRegularFileForAppend(QFile* file);

// Removes a link (also a folder link or junction) or a FIFO or device at path: the entry
// itself, never what it leads to. False when something of another kind is there or the
// removal fails.
[[nodiscard]] bool removeLinkOrSpecial(const QString& path);

// Makes every folder of rel below root (all of rel's parts) a real folder of our own: missing
// ones are created, and a link or special entry where one belongs is removed (only itself) and
// replaced by a new folder, so nothing written there afterwards lands outside. root itself is
// taken as it is and must exist. replaced, when given, receives the parts that were links.
[[nodiscard]] bool ensureOwnFolder(const QString& root, const QString& rel, QString* error = nullptr,
                                   QStringList* replaced = nullptr);

// The first folder on the way from root to the relative path rel (rel's last part excluded)
// that is a link, relative to root; empty when there is none. A file written or moved below such
// a folder would land wherever the link points. seen, when given, keeps what was looked at, for
// many paths below the same folders.
[[nodiscard]] QString linkedFolder(const QDir& root, const QString& rel,
                                   QHash<QString, EntryKind>* seen = nullptr);

// The refusal to update below the linked folder rel, for the planner and the commit alike.
[[nodiscard]] QString linkRefusal(const QString& rel);

} // namespace vorn
