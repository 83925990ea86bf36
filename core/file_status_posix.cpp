#include "core/file_status.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn {

FileStatus fileStatus(const QString& path)
{
    FileStatus result;
    if (path.isEmpty())
        return result;
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::lstat(name.constData(), &status) != 0)
        return result;
    // Follows symbolic links, as QFileInfo does; only a link costs the second call.
    if (S_ISLNK(status.st_mode)) {
        result.isLink = true;
        if (::stat(name.constData(), &status) != 0)
            return result;
    }
    result.exists = true;
    result.isFile = S_ISREG(status.st_mode);
    result.size = result.isFile ? qint64(status.st_size) : 0;
    // The conversion QFileInfo applies to the same field.
    result.modifiedMs = qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000;
    result.modeKnown = true;
    result.executable = (status.st_mode & S_IXUSR) != 0;
    return result;
}

EntryKind entryKind(const QString& path)
{
    struct stat status {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return EntryKind::Missing;
    if (S_ISLNK(status.st_mode))
        return EntryKind::Link;
    if (S_ISREG(status.st_mode))
        return EntryKind::File;
    if (S_ISDIR(status.st_mode))
        return EntryKind::Directory;
    return EntryKind::Other;
}

namespace {

// QFile opens by name (and keeps the name, which callers use), so the entry is first opened by
// descriptor without following a link and without waiting on a FIFO, checked to be a regular
// file, and the QFile's handle is then required to be that very file: an entry swapped in
// between is refused.
bool openCheckedRegularFile(QFile* file, int flags, QIODevice::OpenMode mode)
{
    const QByteArray name = QFile::encodeName(file->fileName());
    const int probe = ::open(name.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (probe < 0)
        return false;
    struct stat checked {};
    struct stat opened {};
    const bool regular = ::fstat(probe, &checked) == 0 && S_ISREG(checked.st_mode);
    const bool same = regular && file->open(mode) && ::fstat(file->handle(), &opened) == 0
        && opened.st_dev == checked.st_dev && opened.st_ino == checked.st_ino;
    ::close(probe);
    if (!same && file->isOpen())
        file->close();
    return same;
}

} // namespace

bool openRegularFile(QFile* file)
{
    // Looked at first so that a device is not even opened.
    return entryKind(file->fileName()) == EntryKind::File
        && openCheckedRegularFile(file, O_RDONLY, QIODevice::ReadOnly);
}

bool openRegularFileForAppend(QFile* file)
{
    const QString path = file->fileName();
    const EntryKind kind = entryKind(path);
    if ((kind == EntryKind::Link || kind == EntryKind::Other) && !removeLinkOrSpecial(path))
        return false;
    // Without a reader, opening a FIFO for writing with O_NONBLOCK fails at once (ENXIO).
    return openCheckedRegularFile(file, O_WRONLY | O_APPEND | O_CREAT, QIODevice::WriteOnly | QIODevice::Append);
}

} // namespace vorn
