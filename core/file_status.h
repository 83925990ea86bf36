#pragma once

#include <QString>

namespace vorn {

// What QFileInfo reports about a path (exists, isFile, size, lastModified as milliseconds since
// the epoch), in one call. Checking an up-to-date installation asks this for every file; where
// the C library can answer directly this avoids QFileInfo's allocations and the two local-time
// conversions behind lastModified().toMSecsSinceEpoch().
struct FileStatus
{
    bool exists = false;
    bool isFile = false;
    qint64 size = 0;
    qint64 modifiedMs = 0;
};

[[nodiscard]] FileStatus fileStatus(const QString& path);

} // namespace vorn
