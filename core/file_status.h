#pragma once

#include <QHash>
#include <QString>

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
// would block the open forever, and a link would lead elsewhere.
[[nodiscard]] bool openRegularFile(QFile* file);

// The first folder on the way from root to the relative path rel (rel's last part excluded)
// that is a link, relative to root; empty when there is none. A file written or moved below such
// a folder would land wherever the link points. seen, when given, keeps what was looked at, for
// many paths below the same folders.
[[nodiscard]] QString linkedFolder(const QDir& root, const QString& rel,
                                   QHash<QString, EntryKind>* seen = nullptr);

// The refusal to update below the linked folder rel, for the planner and the commit alike.
[[nodiscard]] QString linkRefusal(const QString& rel);

} // namespace vorn
