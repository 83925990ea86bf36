#include "ui/images.h"

#include "ui/style.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QPixmap>

#include <algorithm>
#include <vector>

namespace vorn {

QImage wordmarkPixelPass(const QImage& image)
{
    QImage source = image.convertToFormat(QImage::Format_ARGB32);
    const int width = source.width();
    const int height = source.height();
    if (width == 0 || height == 0)
        return source;

    std::vector<bool> stroke(static_cast<size_t>(width) * height, false);
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb p = line[x];
            const int r = qRed(p);
            const int g = qGreen(p);
            const int b = qBlue(p);
            stroke[static_cast<size_t>(y) * width + x] =
                qAlpha(p) > style::kWordmarkMinAlpha && r > style::kWordmarkMinRed
                && r > b + style::kWordmarkRedOverBlue && g > b + style::kWordmarkGreenOverBlue;
        }
    }

    // Dilate by the halo in x, then in y: together a square around every stroke pixel.
    const int halo = style::kWordmarkHalo;
    std::vector<bool> wide(stroke.size(), false);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!stroke[static_cast<size_t>(y) * width + x])
                continue;
            for (int dx = std::max(0, x - halo); dx <= std::min(width - 1, x + halo); ++dx)
                wide[static_cast<size_t>(y) * width + dx] = true;
        }
    }
    std::vector<bool> keep(stroke.size(), false);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!wide[static_cast<size_t>(y) * width + x])
                continue;
            for (int dy = std::max(0, y - halo); dy <= std::min(height - 1, y + halo); ++dy)
                keep[static_cast<size_t>(dy) * width + x] = true;
        }
    }

    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(source.scanLine(y));
        for (int x = 0; x < width; ++x)
            if (!keep[static_cast<size_t>(y) * width + x])
                line[x] = 0;
    }
    return source;
}

QPixmap logoLeftHalf(const QPixmap& logo)
{
    if (logo.isNull())
        return {};
    return logo.copy(0, 0, logo.width() / 2, logo.height());
}

QPixmap chronicleLogoFor(const QString& language, const QString& russianPath,
                         const QString& englishPath, qreal devicePixelRatio)
{
    const QPixmap image(language == QLatin1String("ru") ? russianPath : englishPath);
    if (image.isNull())
        return {};
    const qreal ratio = std::max<qreal>(1.0, devicePixelRatio);
    QPixmap logo = image.scaled(qRound(style::kChronicleLogoWidth * ratio),
                                qRound(style::kChronicleLogoHeight * ratio), Qt::KeepAspectRatio,
                                Qt::SmoothTransformation);
    logo.setDevicePixelRatio(ratio);
    return logo;
}

QList<qreal> screenDevicePixelRatios()
{
    QList<qreal> ratios;
    for (const QScreen* screen : QGuiApplication::screens())
        if (!ratios.contains(screen->devicePixelRatio()))
            ratios << screen->devicePixelRatio();
    if (ratios.isEmpty())
        ratios << 1.0;
    return ratios;
}

QString assetPath(const char* name)
{
    return QStringLiteral(":/assets/") + QLatin1String(name);
}

} // namespace vorn
