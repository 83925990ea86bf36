#include "core/repository_layout.h"

namespace vorn {

QString objectRelativePath(const QByteArray& blobSha256)
{
    const QString hex = QString::fromLatin1(blobSha256.toHex());
    return QStringLiteral("objects/%1/%2.bin").arg(hex.left(2), hex);
}

QString manifestSignaturePath(const QString& manifestPath)
{
    QString path = manifestPath;
    path.chop(4);
    return path + QStringLiteral("sig");
}

} // namespace vorn
