#include "core/file_status.h"

#include <QDir>
#include <QFile>

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

bool openRegularFile(QFile* file)
{
    // Windows has no FIFO to block an open; a reparse point or device is refused by its kind.
    return entryKind(file->fileName()) == EntryKind::File && file->open(QIODevice::ReadOnly);
}

bool openRegularFileForAppend(QFile* file)
{
    const QString path = file->fileName();
    const EntryKind kind = entryKind(path);
    if ((kind == EntryKind::Link || kind == EntryKind::Other) && !removeLinkOrSpecial(path))
        return false;
    if (kind == EntryKind::Directory || !file->open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    if (entryKind(path) == EntryKind::File)
        return true;
    file->close();
    return false;
}

} // namespace vorn
