#include "core/file_status.h"

#include <QDateTime>
#include <QFileInfo>

namespace vorn {

FileStatus fileStatus(const QString& path)
{
    const QFileInfo info(path);
    FileStatus result;
    result.isLink = entryKind(path) == EntryKind::Link;
    result.exists = info.exists();
    if (!result.exists)
        return result;
    result.isFile = info.isFile();
    result.size = result.isFile ? info.size() : 0;
    result.modifiedMs = info.lastModified().toMSecsSinceEpoch();
    return result;
}

} // namespace vorn
