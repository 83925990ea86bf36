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
    // Whether the system keeps an execute permission, and whether the owner has it.
    bool modeKnown = false;
    bool executable = false;
};

[[nodiscard]] FileStatus fileStatus(const QString& path);

} // namespace vorn
