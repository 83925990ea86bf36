#pragma once

#include "core/file_status.h"
#include "core/types.h"

#include <QHash>

class QDir;

namespace vorn {

// Path key (see pathKey) -> size and modification time recorded after the last install.
using LocalState = QHash<QString, LocalFileState>;

// The most of installed-manifest.json or state.json that is read: a manifest as large as a
// server may send, and state.json holds less per file than the manifest does.
constexpr qint64 kMaxInstalledManifestBytes = 64 * 1024 * 1024;

[[nodiscard]] QString installedManifestPath(const QDir& gameFolder);
[[nodiscard]] QString localStatePath(const QDir& gameFolder);

// Whether a normalized relative path lies in the launcher's own folder .vorn (in any letter
// case): a release must never write there, or it could plant bookkeeping or a transaction.
[[nodiscard]] bool isStateFolderPath(const QString& normalizedPath);

// Makes .vorn a real folder. A link there (or anything that is neither file nor folder) is
// removed, never followed, so that no bookkeeping is written outside the game folder.
[[nodiscard]] bool ensureStateFolder(const QDir& gameFolder, QString* error = nullptr);

// Removes what a write of installed-manifest.json or state.json leaves when the process dies
// between writing its temporary file and renaming it. Only while no other update runs there.
void removeStaleStateFiles(const QDir& gameFolder);

// .vorn/state.json of the game folder. Never fails: anything unreadable (also anything but a
// regular file there) gives an empty map or a skipped entry, which only costs hashing time later.
[[nodiscard]] LocalState loadLocalState(const QDir& gameFolder);

// Writes .vorn/installed-manifest.json atomically; the previous file survives a failure. A link
// at its place is replaced, never written through.
[[nodiscard]] bool writeInstalledManifest(const QDir& gameFolder, const Manifest& manifest,
                                          QString* error = nullptr);

// Records size and modification time of every manifest file present now. The cache is advisory,
// so a failure to write it is not reported.
void writeLocalState(const QDir& gameFolder, const Manifest& manifest);

// Whether the installed manifest's entry still describes a file without reading it: a regular
// file (no link) that the last install wrote itself, whose size and modification time are still
// those the install recorded. A file the player owned at that install is never described: its
// recorded state is the player's, its entry the publisher's. installed and recorded are null
// when the path has no entry.
[[nodiscard]] bool isDescribedByInstall(const FileStatus& current, const ManifestFile* installed,
                                        const LocalFileState* recorded);

// Whether a file may count as up to date without reading it: described by the install, which
// wrote the wanted digest and size.
[[nodiscard]] bool isTrustedByCache(const FileStatus& current, const ManifestFile& wanted,
                                    const ManifestFile* installed, const LocalFileState* recorded);

// Drops the recorded state of paths (normalized, relative) from state.json, so that the next
// planning reads those files instead of trusting them. Advisory like the cache itself: a
// failure is not reported.
void forgetLocalState(const QDir& gameFolder, const QStringList& paths);

} // namespace vorn
