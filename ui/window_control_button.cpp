#include "ui/window_control_button.h"

#include "ui/painting.h"
#include "ui/style.h"

#include <QPainter>

namespace vorn {

WindowControlButton::WindowControlButton(WindowControlKind kind, QWidget* parent)
    : QPushButton(parent), m_kind(kind)
{
    setAttribute(Qt::WA_Hover);
}

void WindowControlButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool close = m_kind == WindowControlKind::Close;
    const bool hovered = underMouse();
    if (hovered) {
        if (close)
            painting::drawControlHoverPlate(painter, QRectF(rect()),
                                            style::color(style::kCloseHoverTop),
                                            style::color(style::kCloseHoverBottom),
                                            style::color(style::kCloseHoverOutline));
        else
            painting::drawControlHoverPlate(painter, QRectF(rect()),
                                            style::color(style::kMinimizeHoverTop),
                                            style::color(style::kMinimizeHoverBottom),
                                            style::color(style::kMinimizeHoverOutline));
    }
    QRgb glyph = style::kControlGlyph;
    if (hovered)
        glyph = close ? style::kCloseGlyphHover : style::kMinimizeGlyphHover;
    const QPointF centre = QRectF(rect()).center();
    if (close)
        painting::drawCrossGlyph(painter, centre, style::color(glyph));
    else
        painting::drawMinimizeGlyph(painter, centre, style::color(glyph));
}

} // namespace vorn
