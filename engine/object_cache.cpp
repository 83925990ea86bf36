#include "engine/object_cache.h"

#include <QDir>

namespace vorn {

QString objectRelativePath(const QByteArray& blobSha256)
{
    const QString hex = QString::fromLatin1(blobSha256.toHex());
    return QStringLiteral("objects/%1/%2.bin").arg(hex.left(2), hex);
}

QString objectCachePath(const QString& cacheRoot, const QByteArray& blobSha256)
{
    return QDir(cacheRoot).filePath(objectRelativePath(blobSha256));
}

} // namespace vorn
