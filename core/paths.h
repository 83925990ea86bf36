#pragma once

#include <QString>

namespace vorn {

// A path from the network, a manifest or state.json, turned into a "/"-separated path that stays
// inside the game folder; empty if no such path can be made. Both separators are accepted on every
// platform because a manifest written on Windows is read everywhere.
[[nodiscard]] QString normalizeRelativePath(const QString& text);

// The safety rule alone, for a path that is already normalized. Besides escapes from the
// folder it refuses what Windows would read as another name: a segment ending in a dot or a
// blank ("Data./a.pak"), and device names with or without extension ("CON", "aux.txt").
[[nodiscard]] bool isSafeRelativePath(const QString& path);

// One plain folder name: a safe path of a single segment without characters that Windows
// keeps out of file names (release folders are named so).
[[nodiscard]] bool isPlainFolderName(const QString& name);

// Lookup and duplicate key of a normalized path: paths differing only in letter case are one file.
[[nodiscard]] QString pathKey(const QString& normalizedPath);

} // namespace vorn
