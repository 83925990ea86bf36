#include "engine/object_cache.h"

#include <QDir>

namespace vorn {

QString objectCachePath(const QString& cacheRoot, const QByteArray& blobSha256)
{
    return QDir(cacheRoot).filePath(objectRelativePath(blobSha256));
}

} // namespace vorn
