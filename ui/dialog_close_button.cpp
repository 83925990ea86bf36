#include "ui/dialog_close_button.h"

#include "ui/painting.h"
#include "ui/style.h"

#include <QPainter>

namespace vorn {

DialogCloseButton::DialogCloseButton(QWidget* parent) : QPushButton(parent)
{
    setAttribute(Qt::WA_Hover);
}

void DialogCloseButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool hovered = underMouse();
    if (hovered)
        painting::drawControlHoverPlate(painter, QRectF(rect()), style::color(style::kCloseHoverTop),
                                        style::color(style::kCloseHoverBottom),
                                        style::color(style::kCloseHoverOutline));
    painting::drawCrossGlyph(painter, QRectF(rect()).center(),
                             style::color(hovered ? style::kCloseGlyphHover : style::kControlGlyph));
}

} // namespace vorn
