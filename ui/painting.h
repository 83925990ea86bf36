#pragma once

#include <QList>
#include <QSize>

class QColor;
class QIcon;
class QImage;
class QPainter;
class QPixmap;
class QPointF;
class QRect;
class QRectF;

// Drawing shared by the painted widgets, the artwork tool and the gallery.
namespace vorn::painting {

// Fixed border widths of a framed plate image: min(width / 3, 14) and min(height / 3, 8).
[[nodiscard]] QSize ninePatchBorders(const QSize& imageSize);

// Corners copied unscaled, edges stretched along their length, centre in both directions.
void drawNinePatch(QPainter& painter, const QRect& target, const QPixmap& image);

// The image scaled to cover size (aspect ratio kept), cut to its centred part. size is in
// logical pixels: the result holds size x devicePixelRatio pixels and carries that ratio, so
// it is drawn at size and stays sharp on a scaled display.
[[nodiscard]] QPixmap coveringPixmap(const QPixmap& image, const QSize& size,
                                     qreal devicePixelRatio = 1.0);
// Draws coveringPixmap(image, target.size()) into target, for the painter's device ratio.
void drawCovering(QPainter& painter, const QRect& target, const QPixmap& image);

// The hover plate behind the window controls and the dialog close button.
void drawControlHoverPlate(QPainter& painter, const QRectF& bounds, const QColor& top,
                           const QColor& bottom, const QColor& outline);
void drawCrossGlyph(QPainter& painter, const QPointF& centre, const QColor& color);
void drawMinimizeGlyph(QPainter& painter, const QPointF& centre, const QColor& color);

// A chevron in area pointing up (or down), for spin and combo boxes.
void drawAreaChevron(QPainter& painter, const QRectF& area, bool up, const QColor& color);

// The game utility glyphs, drawn around the painter's origin.
void drawCheckUpdateGlyph(QPainter& painter, const QColor& color);
void drawPauseGlyph(QPainter& painter, const QColor& color);
void drawResumeGlyph(QPainter& painter, const QColor& color);
void drawSettingsGlyph(QPainter& painter, const QColor& color);

enum class SocialGlyph { Discord, Telegram };
void drawSocialGlyph(QPainter& painter, const QRectF& bounds, SocialGlyph glyph);
// Drawn for each given device pixel ratio (at least 1 and 2), so the icon is sharp on any screen.
[[nodiscard]] QIcon socialIcon(SocialGlyph glyph, int size,
                               const QList<qreal>& devicePixelRatios = {});

} // namespace vorn::painting
