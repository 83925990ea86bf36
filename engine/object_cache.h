#pragma once

#include "core/repository_layout.h"

namespace vorn {

// Where the object lives in the cache folder cacheRoot.
[[nodiscard]] QString objectCachePath(const QString& cacheRoot, const QByteArray& blobSha256);

} // namespace vorn
