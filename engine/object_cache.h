#pragma once

#include <QByteArray>
#include <QString>

namespace vorn {

// "objects/ab/ab…(64 hex digits).bin": the same name on the server and in the local cache.
[[nodiscard]] QString objectRelativePath(const QByteArray& blobSha256);

// Where the object lives in the cache folder cacheRoot.
[[nodiscard]] QString objectCachePath(const QString& cacheRoot, const QByteArray& blobSha256);

} // namespace vorn
