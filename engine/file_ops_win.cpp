#include "engine/file_ops.h"

#include <QDir>

#include <windows.h>

namespace vorn {

bool renameEntry(const QString& from, const QString& to)
{
    const QString source = QDir::toNativeSeparators(from);
    const QString target = QDir::toNativeSeparators(to);
    // Without MOVEFILE_REPLACE_EXISTING an existing target makes the move fail; write-through
    // returns only once the new name is on the disk, which is what syncDirectory does elsewhere.
    return MoveFileExW(reinterpret_cast<const wchar_t*>(source.utf16()),
                       reinterpret_cast<const wchar_t*>(target.utf16()),
                       MOVEFILE_WRITE_THROUGH)
        != 0;
}

bool replaceEntry(const QString& from, const QString& to)
{
    const QString source = QDir::toNativeSeparators(from);
    const QString target = QDir::toNativeSeparators(to);
    return MoveFileExW(reinterpret_cast<const wchar_t*>(source.utf16()),
                       reinterpret_cast<const wchar_t*>(target.utf16()),
                       MOVEFILE_REPLACE_EXISTING)
        != 0;
}

bool removeLink(const QString& path)
{
    const QString native = QDir::toNativeSeparators(path);
    const auto* name = reinterpret_cast<const wchar_t*>(native.utf16());
    const DWORD attributes = GetFileAttributesW(name);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    // A junction or folder link is removed like an empty folder, which leaves its target as it
    // is; DeleteFileW removes a file link. Neither follows the reparse point.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return RemoveDirectoryW(name) != 0;
    return DeleteFileW(name) != 0;
}

void syncDirectory(const QString&)
{
}

bool setInstalledFileMode(const QString&, bool)
{
    return true;
}

} // namespace vorn
