#include "core/file_status.h"

#include <QFile>

#include <sys/stat.h>

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

} // namespace vorn
