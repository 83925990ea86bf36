#pragma once

#include <QList>
#include <QString>

class QImage;
class QPixmap;

namespace vorn {

// Keeps the warm gold strokes of a wordmark and a 2-pixel halo around them; every other
// pixel becomes fully transparent. The result is 32-bit ARGB.
[[nodiscard]] QImage wordmarkPixelPass(const QImage& image);

// The left half of the logo (integer half of its width); empty for an empty image.
[[nodiscard]] QPixmap logoLeftHalf(const QPixmap& logo);

// The chronicle logo image for language: the Russian one for "ru", else the English one,
// scaled to fit the logo area. The pixmap holds that area times devicePixelRatio and carries
// the ratio, so a scaled display shows it sharp at the same logical size.
[[nodiscard]] QPixmap chronicleLogoFor(const QString& language, const QString& russianPath,
                                       const QString& englishPath, qreal devicePixelRatio = 1.0);

// The device pixel ratios of the screens attached now (1 when there is none).
[[nodiscard]] QList<qreal> screenDevicePixelRatios();

// Resource paths of the launcher's images.
[[nodiscard]] QString assetPath(const char* name);

} // namespace vorn
