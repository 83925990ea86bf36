#include "engine/file_ops.h"

#include <QFile>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn {

bool renameEntry(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    struct stat existing;
    if (::lstat(target.constData(), &existing) == 0)
        return false;
    return ::rename(source.constData(), target.constData()) == 0;
}

bool replaceEntry(const QString& from, const QString& to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

bool setInstalledFileMode(const QString& path, bool executable)
{
    return ::chmod(QFile::encodeName(path).constData(), executable ? 0755 : 0644) == 0;
}

bool removeLink(const QString& path)
{
    return ::unlink(QFile::encodeName(path).constData()) == 0;
}

void syncDirectory(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace vorn
