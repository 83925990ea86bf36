#include "art.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QtMath>

namespace vorn::art {

namespace {

// A heater shield in a 100 x 120 design box.
QPainterPath shieldPath()
{
    QPainterPath shield;
    shield.moveTo(50, 4);
    shield.cubicTo(64, 12, 80, 15, 94, 14);
    shield.cubicTo(96, 58, 86, 94, 50, 116);
    shield.cubicTo(14, 94, 4, 58, 6, 14);
    shield.cubicTo(20, 15, 36, 12, 50, 4);
    shield.closeSubpath();
    return shield;
}

QPainterPath starPath(const QPointF& centre, double outer, double inner, int points)
{
    QPainterPath star;
    for (int i = 0; i < points * 2; ++i) {
        const double angle = i * M_PI / points - M_PI / 2;
        const double radius = (i % 2 == 0) ? outer : inner;
        const QPointF p = centre + QPointF(std::cos(angle), std::sin(angle)) * radius;
        if (i == 0)
            star.moveTo(p);
        else
            star.lineTo(p);
    }
    star.closeSubpath();
    return star;
}

// The crest drawn into a 100 x 120 design box.
void paintCrest(QPainter& painter)
{
    const QPainterPath shield = shieldPath();
    QLinearGradient field(0, 4, 0, 116);
    field.setColorAt(0, QColor(22, 36, 58));
    field.setColorAt(1, QColor(6, 11, 20));
    painter.setPen(Qt::NoPen);
    painter.setBrush(field);
    painter.drawPath(shield);

    // Gold rim: the shield minus a smaller copy of itself.
    QTransform inset;
    inset.translate(50, 60);
    inset.scale(0.84, 0.86);
    inset.translate(-50, -60);
    const QPainterPath inner = inset.map(shield);
    paintGold(painter, shield.subtracted(inner), 1.4, 0);

    // A sword through a ring under an eight-pointed star.
    QPainterPath sword;
    sword.addRect(QRectF(47.6, 30, 4.8, 60));
    QPainterPath tip;
    tip.moveTo(47.6, 90);
    tip.lineTo(50, 99);
    tip.lineTo(52.4, 90);
    tip.closeSubpath();
    sword.addPath(tip);
    sword.addRoundedRect(QRectF(36, 36, 28, 4.6), 2, 2);
    sword.addEllipse(QPointF(50, 28), 3.6, 3.6);
    QPainterPath ring;
    ring.addEllipse(QPointF(50, 62), 19, 19);
    QPainterPath hole;
    hole.addEllipse(QPointF(50, 62), 14.5, 14.5);
    ring = ring.subtracted(hole);
    QPainterPath emblem = ring.united(sword);
    emblem = emblem.united(starPath(QPointF(50, 62), 9, 3.4, 8));
    paintGold(painter, emblem, 1.6, 2.5, true);
}

} // namespace

QImage crest(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double scale = size / 124.0;
    painter.translate((size - 100 * scale) / 2, (size - 120 * scale) / 2);
    painter.scale(scale, scale);
    paintCrest(painter);
    painter.end();
    return image;
}

QImage crestLogo(int halfWidth, int height)
{
    QImage image(halfWidth * 2, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double scale = std::min(halfWidth / 108.0, height / 124.0);
    // Left half: the crest, shown in the header.
    painter.save();
    painter.translate((halfWidth - 100 * scale) / 2, (height - 120 * scale) / 2);
    painter.scale(scale, scale);
    paintGlow(painter, QPointF(50, 60), 60, QColor(255, 170, 70, 40));
    paintCrest(painter);
    painter.restore();
    // Right half: the crest's star alone, for light backgrounds and small marks.
    painter.save();
    painter.translate(halfWidth, 0);
    paintGold(painter, starPath(QPointF(halfWidth / 2.0, height / 2.0), height * 0.36,
                                height * 0.14, 8),
              2.0, 0, true);
    painter.restore();
    painter.end();
    return image;
}

QImage brandWordmark(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double unit = width / 116.0;

    QFont title(serifFamily());
    title.setBold(true);
    title.setPixelSize(int(21 * unit));
    title.setLetterSpacing(QFont::AbsoluteSpacing, 0.6 * unit);
    const QPainterPath word = fitWidth(centredText(QStringLiteral("OSTRAVEL"), title,
                                                   QPointF(width / 2.0, height * 0.47)),
                                       width - 8 * unit);
    // The dark rim lies within the two-pixel halo that the launcher keeps around the gold.
    paintGold(painter, word, 1.4 * unit, 0, true);
    paintRule(painter, QPointF(width / 2.0, height * 0.24), width * 0.32, QColor(214, 164, 80));

    QFont small(sansFamily());
    small.setPixelSize(int(7.5 * unit));
    small.setWeight(QFont::DemiBold);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 2.6 * unit);
    const QPainterPath tagline = centredText(QStringLiteral("ONLINE"), small,
                                             QPointF(width / 2.0, height * 0.72));
    paintGold(painter, tagline, 0, 0);
    painter.end();
    return image;
}

QImage chronicleLogo(bool russian, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double unit = height / 104.0;
    const QPointF centre(width / 2.0, height / 2.0);

    paintGlow(painter, centre, width * 0.45, QColor(255, 160, 60, 36));
    const QString big = russian ? QStringLiteral("ХРОНИКИ") : QStringLiteral("CHRONICLES");
    const QString small = russian ? QStringLiteral("ОСТРАВЕЛА") : QStringLiteral("OF OSTRAVEL");

    QFont titleFont(serifFamily());
    titleFont.setBold(true);
    titleFont.setPixelSize(int((russian ? 40 : 36) * unit));
    titleFont.setLetterSpacing(QFont::AbsoluteSpacing, 1.5 * unit);
    paintGold(painter,
              fitWidth(centredText(big, titleFont, QPointF(centre.x(), height * 0.43)),
                       width - 16 * unit),
              2.2 * unit, 3 * unit, true);

    QFont subtitleFont(sansFamily());
    subtitleFont.setPixelSize(int(13 * unit));
    subtitleFont.setWeight(QFont::DemiBold);
    subtitleFont.setLetterSpacing(QFont::AbsoluteSpacing, 5 * unit);
    paintGold(painter, centredText(small, subtitleFont, QPointF(centre.x(), height * 0.78)),
              1.2 * unit, 0);
    paintRule(painter, QPointF(centre.x(), height * 0.64), width * 0.42, QColor(214, 164, 80));
    paintRule(painter, QPointF(centre.x(), height * 0.1), width * 0.22, QColor(214, 164, 80, 200));
    painter.end();
    return image;
}

} // namespace vorn::art
