#include "core/file_status.h"

#include <QDir>

#include <windows.h>

namespace vorn {

EntryKind entryKind(const QString& path)
{
    if (path.isEmpty())
        return EntryKind::Missing;
    const QString native = QDir::toNativeSeparators(path);
    // Describes the entry itself: for a reparse point, the link, never its target.
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t*>(native.utf16()));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return EntryKind::Missing;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return EntryKind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return EntryKind::Directory;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return EntryKind::Other;
    return EntryKind::File;
}

} // namespace vorn
