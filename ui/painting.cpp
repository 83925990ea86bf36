#include "ui/painting.h"

#include "ui/style.h"

#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

#include <algorithm>

namespace vorn::painting {

QSize ninePatchBorders(const QSize& imageSize)
{
    return {std::min(imageSize.width() / 3, style::kNinePatchMaxBorderX),
            std::min(imageSize.height() / 3, style::kNinePatchMaxBorderY)};
}

void drawNinePatch(QPainter& painter, const QRect& target, const QPixmap& image)
{
    if (image.isNull() || target.width() <= 0 || target.height() <= 0)
        return;
    const QSize borders = ninePatchBorders(image.size());
    // A target narrower than both borders shows only the outer part of each corner
    // instead of letting the corners overlap.
    const int bx = std::min(borders.width(), target.width() / 2);
    const int by = std::min(borders.height(), target.height() / 2);
    const int sw = image.width();
    const int sh = image.height();
    const int sx[4] = {0, bx, sw - bx, sw};
    const int sy[4] = {0, by, sh - by, sh};
    const int dx[4] = {target.left(), target.left() + bx, target.left() + target.width() - bx,
                       target.left() + target.width()};
    const int dy[4] = {target.top(), target.top() + by, target.top() + target.height() - by,
                       target.top() + target.height()};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRect source(sx[column], sy[row], sx[column + 1] - sx[column],
                               sy[row + 1] - sy[row]);
            const QRect destination(dx[column], dy[row], dx[column + 1] - dx[column],
                                    dy[row + 1] - dy[row]);
            if (source.isEmpty() || destination.isEmpty())
                continue;
            painter.drawPixmap(destination, image, source);
        }
    }
}

QPixmap coveringPixmap(const QPixmap& image, const QSize& size, qreal devicePixelRatio)
{
    if (image.isNull() || size.isEmpty())
        return {};
    const qreal ratio = std::max<qreal>(1.0, devicePixelRatio);
    const QSize pixels(qRound(size.width() * ratio), qRound(size.height() * ratio));
    // The source's own ratio would make scaled() think in other units; only its pixels count.
    QPixmap source = image;
    source.setDevicePixelRatio(1.0);
    const QPixmap scaled =
        source.scaled(pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    QPixmap covering = scaled.copy((scaled.width() - pixels.width()) / 2,
                                   (scaled.height() - pixels.height()) / 2, pixels.width(),
                                   pixels.height());
    covering.setDevicePixelRatio(ratio);
    return covering;
}

void drawCovering(QPainter& painter, const QRect& target, const QPixmap& image)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPixmap covering = coveringPixmap(image, target.size(), ratio);
    if (!covering.isNull())
        painter.drawPixmap(target.topLeft(), covering);
}

void drawControlHoverPlate(QPainter& painter, const QRectF& bounds, const QColor& top,
                           const QColor& bottom, const QColor& outline)
{
    const QRectF plate = bounds.adjusted(2.5, 2.5, -2.5, -2.5);
    QLinearGradient gradient(plate.topLeft(), plate.bottomLeft());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    painter.setPen(QPen(outline, 1));
    painter.setBrush(gradient);
    painter.drawRoundedRect(plate, 3, 3);
}

namespace {
QPen roundPen(const QColor& color, double width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}
} // namespace

void drawCrossGlyph(QPainter& painter, const QPointF& centre, const QColor& color)
{
    const double reach = style::kCloseGlyphReach;
    painter.setPen(QPen(color, style::kControlGlyphPen, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre + QPointF(-reach, -reach), centre + QPointF(reach, reach));
    painter.drawLine(centre + QPointF(-reach, reach), centre + QPointF(reach, -reach));
}

void drawMinimizeGlyph(QPainter& painter, const QPointF& centre, const QColor& color)
{
    painter.setPen(QPen(color, style::kControlGlyphPen, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre + QPointF(-5, 3.5), centre + QPointF(5, 3.5));
}

void drawAreaChevron(QPainter& painter, const QRectF& area, bool up, const QColor& color)
{
    const QPointF c = area.center();
    const double towards = up ? -1.0 : 1.0;
    const QPointF apex(c.x(), c.y() + 2.0 * towards);
    const QPointF left(c.x() - 3.5, c.y() - 1.5 * towards);
    const QPointF right(c.x() + 3.5, c.y() - 1.5 * towards);
    painter.setPen(roundPen(color, 1.6));
    painter.setBrush(Qt::NoBrush);
    const QPointF points[3] = {left, apex, right};
    painter.drawPolyline(points, 3);
}

void drawCheckUpdateGlyph(QPainter& painter, const QColor& color)
{
    const QRectF circle(-9.5, -9.5, 19.0, 19.0);
    painter.setBrush(Qt::NoBrush);
    for (const auto& [pen, penColor] :
         {std::pair{4.7, style::color(style::kGlyphArcShadow)}, std::pair{3.4, color}}) {
        painter.setPen(roundPen(penColor, pen));
        painter.drawArc(circle, 90 * 16, 130 * 16);
        painter.drawArc(circle, 270 * 16, 130 * 16);
    }
    painter.setPen(roundPen(style::color(style::kGlyphArrowOutline), 0.8));
    painter.setBrush(color);
    const QPointF first[3] = {{-2.0, 11.7}, {-9.7, 9.1}, {-4.2, 4.7}};
    const QPointF second[3] = {{2.0, -11.7}, {4.6, -3.9}, {10.0, -8.4}};
    painter.drawPolygon(first, 3);
    painter.drawPolygon(second, 3);
}

namespace {

QLinearGradient glyphGradient(const QColor& color)
{
    QLinearGradient gradient(0, -10.5, 0, 10.5);
    gradient.setColorAt(0, color.lighter(128));
    gradient.setColorAt(0.45, color);
    gradient.setColorAt(1, color.darker(118));
    return gradient;
}

} // namespace

void drawPauseGlyph(QPainter& painter, const QColor& color)
{
    QPainterPath bars;
    bars.addRoundedRect(QRectF(-8.0, -10.5, 5.2, 21.0), 1.2, 1.2);
    bars.addRoundedRect(QRectF(2.8, -10.5, 5.2, 21.0), 1.2, 1.2);
    const QColor shadow = style::color(style::kGlyphBarShadow);
    painter.setPen(roundPen(shadow, 1.2));
    painter.setBrush(shadow);
    painter.drawPath(bars.translated(0.8, 1.0));
    painter.setPen(roundPen(style::color(style::kGlyphBarOutline), 0.7));
    painter.setBrush(glyphGradient(color));
    painter.drawPath(bars);
}

void drawResumeGlyph(QPainter& painter, const QColor& color)
{
    QPainterPath triangle;
    triangle.moveTo(-6.5, -10.5);
    triangle.lineTo(10.0, 0);
    triangle.lineTo(-6.5, 10.5);
    triangle.closeSubpath();
    const QColor shadow = style::color(style::kGlyphBarShadow);
    painter.setPen(roundPen(shadow, 1.4));
    painter.setBrush(shadow);
    painter.drawPath(triangle.translated(0.9, 1.0));
    painter.setPen(roundPen(style::color(style::kGlyphPlayOutline), 0.8));
    painter.setBrush(glyphGradient(color));
    painter.drawPath(triangle);
}

void drawSettingsGlyph(QPainter& painter, const QColor& color)
{
    QPolygonF gear;
    for (int i = 0; i < 32; ++i) {
        const double angle = i * M_PI / 16.0 - M_PI / 2.0;
        const double radius = (i % 4 == 1 || i % 4 == 2) ? 11.7 : 8.7;
        gear << QPointF(radius * std::cos(angle), radius * std::sin(angle));
    }
    painter.setPen(roundPen(style::color(style::kGearOutline), 0.9));
    painter.setBrush(color);
    painter.drawPolygon(gear);
    painter.setPen(QPen(style::color(style::kGearHubOutline), 0.8));
    painter.setBrush(style::color(style::kGearHub));
    painter.drawEllipse(QRectF(-3.4, -3.4, 6.8, 6.8));
    painter.setPen(QPen(style::color(style::kGearHighlight), 0.9, Qt::SolidLine, Qt::SquareCap,
                        Qt::BevelJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(-7.0, -7.0, 14.0, 14.0), 30 * 16, 110 * 16);
}

namespace {

// A game-pad-like face with two eyes, in a 24 x 24 design box.
QPainterPath discordPath()
{
    QPainterPath face;
    face.moveTo(5.0, 6.2);
    face.cubicTo(7.2, 5.0, 9.0, 4.5, 9.6, 4.4);
    face.lineTo(10.2, 5.6);
    face.cubicTo(11.4, 5.4, 12.6, 5.4, 13.8, 5.6);
    face.lineTo(14.4, 4.4);
    face.cubicTo(15.0, 4.5, 16.8, 5.0, 19.0, 6.2);
    face.cubicTo(21.2, 9.6, 22.2, 13.2, 21.9, 17.0);
    face.cubicTo(20.2, 18.4, 18.4, 19.2, 16.7, 19.6);
    face.lineTo(15.7, 17.9);
    face.cubicTo(16.4, 17.6, 17.1, 17.3, 17.7, 16.9);
    face.cubicTo(14.0, 18.6, 10.0, 18.6, 6.3, 16.9);
    face.cubicTo(6.9, 17.3, 7.6, 17.6, 8.3, 17.9);
    face.lineTo(7.3, 19.6);
    face.cubicTo(5.6, 19.2, 3.8, 18.4, 2.1, 17.0);
    face.cubicTo(1.8, 13.2, 2.8, 9.6, 5.0, 6.2);
    face.closeSubpath();
    QPainterPath eyes;
    eyes.addEllipse(QPointF(9.0, 13.0), 1.7, 1.9);
    eyes.addEllipse(QPointF(15.0, 13.0), 1.7, 1.9);
    return face.subtracted(eyes);
}

// A paper plane in a circle, in a 24 x 24 design box.
QPainterPath telegramPath()
{
    QPainterPath circle;
    circle.addEllipse(QPointF(12, 12), 10.5, 10.5);
    QPainterPath plane;
    plane.moveTo(5.6, 11.7);
    plane.lineTo(17.6, 7.0);
    plane.cubicTo(18.2, 6.8, 18.6, 7.2, 18.4, 7.9);
    plane.lineTo(16.4, 17.2);
    plane.cubicTo(16.2, 17.9, 15.7, 18.0, 15.2, 17.7);
    plane.lineTo(12.2, 15.5);
    plane.lineTo(10.7, 16.9);
    plane.cubicTo(10.5, 17.1, 10.3, 17.2, 10.0, 17.2);
    plane.lineTo(10.2, 14.1);
    plane.lineTo(15.9, 9.0);
    plane.lineTo(8.9, 13.3);
    plane.lineTo(5.9, 12.4);
    plane.cubicTo(5.3, 12.2, 5.3, 11.9, 5.6, 11.7);
    plane.closeSubpath();
    return circle.subtracted(plane);
}

} // namespace

void drawSocialGlyph(QPainter& painter, const QRectF& bounds, SocialGlyph glyph)
{
    const bool discord = glyph == SocialGlyph::Discord;
    const QPainterPath path = discord ? discordPath() : telegramPath();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(bounds.topLeft());
    painter.scale(bounds.width() / 24.0, bounds.height() / 24.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(style::color(discord ? style::kDiscordBlue : style::kTelegramBlue));
    painter.drawPath(path);
    painter.restore();
}

QIcon socialIcon(SocialGlyph glyph, int size, const QList<qreal>& devicePixelRatios)
{
    QList<qreal> ratios{1.0, 2.0};
    for (qreal ratio : devicePixelRatios)
        if (ratio > 1.0 && !ratios.contains(ratio))
            ratios << ratio;
    QIcon icon;
    for (qreal ratio : ratios) {
        const int pixels = qRound(size * ratio);
        QPixmap pixmap(pixels, pixels);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            drawSocialGlyph(painter, QRectF(0, 0, pixels, pixels), glyph);
        }
        pixmap.setDevicePixelRatio(ratio);
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace vorn::painting
