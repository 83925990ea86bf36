#pragma once

#include <QString>

class QIODevice;

namespace vorn {

// Moves a file or folder to a new name on the same volume in one step, or fails: never falls
// back to copying, because a copy interrupted by a crash would leave a partial file under a
// name the transaction counts as complete. Fails when something already exists at to.
[[nodiscard]] bool renameEntry(const QString& from, const QString& to);

// Gives from the name to, replacing a file already there, without waiting for the disk.
[[nodiscard]] bool replaceEntry(const QString& from, const QString& to);

// Stores bytes as path for files that every reader verifies before use (cached objects): a
// temporary name, then one rename, so a partial file never carries the name. It does not wait
// for the disk, because a file lost or damaged by a power cut is caught by that verification
// and fetched again; waiting would cost the download as much as the network does.
[[nodiscard]] bool storeVerifiedFile(const QString& path, const QByteArray& bytes, QString* error);

// Removes the link at path itself, never what it points to (on Windows also a junction or a
// folder link, which need another call than a file link).
[[nodiscard]] bool removeLink(const QString& path);

// Removes whatever is at path: a file, a link (the link only) or a folder with everything in it,
// never following a link inside it. True when nothing is left at path. QDir::removeRecursively
// empties the target of a link it is given, so no bookkeeping or cache folder goes through it.
[[nodiscard]] bool removeTree(const QString& path);

// removeTree for rel below root, where a link at any of rel's folders would lead the removal
// into an outside folder: then nothing is removed and the answer is false. root itself is taken
// as it is.
[[nodiscard]] bool removeTree(const QString& root, const QString& rel);

// Makes the entries of a folder (files created, renamed or removed in it) survive a power
// cut. Best effort; where the system offers no such call (or the rename is already written
// through) it does nothing.
void syncDirectory(const QString& folder);

// Gives an installed file its permissions: rwxr-xr-x for an executable, rw-r--r-- otherwise.
// Where the system keeps no execute permission this does nothing and succeeds.
[[nodiscard]] bool setInstalledFileMode(const QString& path, bool executable);

// Writes all of data, continuing after short writes, so that a full disk ends in an error whose
// text names the cause instead of a silently short file.
[[nodiscard]] bool writeFully(QIODevice* device, const char* data, qint64 size);

} // namespace vorn
