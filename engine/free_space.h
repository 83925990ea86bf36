#pragma once

#include <QByteArray>
#include <QString>

namespace vorn {

// Headroom kept free on every volume the update writes to.
constexpr qint64 kFreeSpaceReserveBytes = 64LL * 1024 * 1024;

// What the storage query said about one folder's volume.
struct VolumeSpace
{
    bool valid = false;
    QByteArray device;
    qint64 bytesAvailable = -1;
};

struct FreeSpaceCheck
{
    bool enough = true;
    // The figures to show when not enough: required and available bytes.
    qint64 requiredBytes = 0;
    qint64 availableBytes = 0;
};

// The objects land in the cache, the files (staged, then moved) in the game folder. On one
// volume both must fit at once only as far as the larger of the two, since objects are
// deleted as the files grow. A volume whose information is invalid never counts as short.
[[nodiscard]] FreeSpaceCheck checkFreeSpace(qint64 downloadBytes, qint64 fileBytes,
                                            const VolumeSpace& cache, const VolumeSpace& game);

// Queries the volume of an existing folder.
[[nodiscard]] VolumeSpace volumeSpace(const QString& folder);

// "Not enough free disk space. Required: %1 GB; available: %2 GB", localized.
[[nodiscard]] QString noDiskSpaceMessage(const FreeSpaceCheck& check);

} // namespace vorn
