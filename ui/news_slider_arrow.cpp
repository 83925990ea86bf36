#include "ui/news_slider_arrow.h"

#include "ui/style.h"

#include <QPainter>
#include <QRadialGradient>

namespace vorn {

NewsSliderArrow::NewsSliderArrow(bool next, QWidget* parent) : QPushButton(parent), m_next(next)
{
    setAttribute(Qt::WA_Hover);
}

void NewsSliderArrow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool hovered = underMouse();
    const QPointF middle = QRectF(rect()).center();
    if (hovered) {
        QRadialGradient glow(middle, 22);
        glow.setColorAt(0, style::color(style::kSliderGlowCore));
        glow.setColorAt(0.68, style::color(style::kSliderGlowMiddle));
        glow.setColorAt(1, style::color(style::kSliderGlowEdge));
        painter.setPen(Qt::NoPen);
        painter.setBrush(glow);
        painter.drawRoundedRect(QRectF(middle.x() - 14, middle.y() - 21, 28, 42), 8, 8);
    }
    painter.setPen(QPen(style::color(hovered ? style::kSliderHover : style::kSlider),
                        hovered ? 2.2 : 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const double cx = width() / 2.0 + (m_next ? -1 : 1);
    const double cy = height() / 2.0;
    if (m_next) {
        painter.drawLine(QPointF(cx - 4, cy - 7), QPointF(cx + 3, cy));
        painter.drawLine(QPointF(cx + 3, cy), QPointF(cx - 4, cy + 7));
    } else {
        painter.drawLine(QPointF(cx + 4, cy - 7), QPointF(cx - 3, cy));
        painter.drawLine(QPointF(cx - 3, cy), QPointF(cx + 4, cy + 7));
    }
}

} // namespace vorn
