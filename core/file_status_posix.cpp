#include "core/file_status.h"

#include <QFile>

#include <sys/stat.h>

namespace vorn {

FileStatus fileStatus(const QString& path)
{
    FileStatus result;
    struct stat status {};
    // Follows symbolic links, as QFileInfo does.
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return result;
    result.exists = true;
    result.isFile = S_ISREG(status.st_mode);
    result.size = result.isFile ? qint64(status.st_size) : 0;
    // The conversion QFileInfo applies to the same field.
    result.modifiedMs = qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000;
    result.modeKnown = true;
    result.executable = (status.st_mode & S_IXUSR) != 0;
    return result;
}

} // namespace vorn
