#include "art.h"

#include <QLinearGradient>
#include <QPainter>

namespace vorn::art {

// Covers for the demo announcement site: the launcher's own scenes, each framed differently
// and washed in its own light, so that neighbouring cards are told apart at a glance.
QImage newsCover(int index, int width, int height)
{
    Random random(1000u + quint32(index));
    QImage image;
    if (index % 3 != 0) {
        // A window onto the valley backdrop, wandering along it from cover to cover.
        const QImage hero = heroBackdrop(1920, 1080);
        const int cropWidth = int(random.range(0.45, 0.7) * hero.width());
        const int cropHeight = cropWidth * height / width;
        const int x = int(random.range(0, hero.width() - cropWidth));
        const int y = int(random.range(0.1, 1.0) * (hero.height() - cropHeight));
        image = hero.copy(x, y, cropWidth, cropHeight)
                    .scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else {
        image = navigationArtwork((index / 3) % 3, width, height);
    }
    image = image.convertToFormat(QImage::Format_RGB32);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor washes[] = {QColor(255, 150, 60), QColor(90, 160, 255), QColor(190, 90, 255),
                             QColor(80, 220, 170), QColor(255, 90, 80), QColor(255, 220, 120)};
    QColor wash = washes[index % 6];
    wash.setAlpha(46);
    painter.fillRect(image.rect(), wash);
    paintGlow(painter, QPointF(random.range(0.2, 0.8) * width, random.range(0.2, 0.6) * height),
              width * 0.35, QColor(255, 200, 120, 70));
    QLinearGradient shade(0, 0, 0, height);
    shade.setColorAt(0.55, QColor(3, 6, 10, 0));
    shade.setColorAt(1, QColor(3, 6, 10, 170));
    painter.fillRect(image.rect(), shade);
    const int crestSize = height / 4;
    painter.setOpacity(0.85);
    painter.drawImage(QPointF(width - crestSize - height * 0.06, height - crestSize - height * 0.06),
                      crest(crestSize));
    painter.end();
    return image;
}

} // namespace vorn::art
