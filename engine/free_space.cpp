#include "engine/free_space.h"

#include "config/localization.h"

#include <QStorageInfo>

namespace vorn {

FreeSpaceCheck checkFreeSpace(qint64 downloadBytes, qint64 fileBytes, const VolumeSpace& cache,
                              const VolumeSpace& game)
{
    const bool shared = cache.valid && game.valid && cache.device == game.device;
    const qint64 cacheFree = cache.valid ? cache.bytesAvailable : -1;
    const qint64 gameFree = game.valid ? game.bytesAvailable : -1;
    const qint64 cacheNeed =
        (shared ? qMax(downloadBytes, fileBytes) : downloadBytes) + kFreeSpaceReserveBytes;
    const qint64 gameNeed = fileBytes + kFreeSpaceReserveBytes;

    const bool cacheShort = cacheFree >= 0 && cacheFree < cacheNeed;
    const bool gameShort = !shared && gameFree >= 0 && gameFree < gameNeed;

    FreeSpaceCheck check;
    check.enough = !cacheShort && !gameShort;
    if (shared || cacheShort) {
        check.requiredBytes = cacheNeed;
        check.availableBytes = cacheFree;
    } else {
        check.requiredBytes = gameNeed;
        check.availableBytes = gameFree;
    }
    return check;
}

VolumeSpace volumeSpace(const QString& folder)
{
    QStorageInfo info(folder);
    info.refresh();
    VolumeSpace space;
    space.valid = info.isValid();
    if (space.valid) {
        space.device = info.device();
        space.bytesAvailable = info.bytesAvailable();
    }
    return space;
}

QString noDiskSpaceMessage(const FreeSpaceCheck& check)
{
    constexpr double kGigabyte = 1073741824.0;
    return translate("Updater/NoDiskSpace",
                     "Not enough free disk space. Required: %1 GB; available: %2 GB")
        .arg(double(check.requiredBytes) / kGigabyte, 0, 'f', 1)
        .arg(double(check.availableBytes) / kGigabyte, 0, 'f', 1);
}

} // namespace vorn
