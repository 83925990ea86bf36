#include "ui/styled_check_box.h"

#include "ui/style.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace vorn {

namespace {
constexpr int kTextLeft = 27;
}

StyledCheckBox::StyledCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent)
{
    setCursor(Qt::PointingHandCursor);
    setMinimumHeight(style::kCheckMinHeight);
    setAttribute(Qt::WA_Hover);
}

QSize StyledCheckBox::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + kTextLeft,
            std::max(style::kCheckMinHeight, metrics.height() + 6)};
}

QSize StyledCheckBox::minimumSizeHint() const
{
    return sizeHint();
}

bool StyledCheckBox::hitButton(const QPoint& pos) const
{
    // The whole painted area toggles, text included.
    return rect().contains(pos);
}

void StyledCheckBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool enabled = isEnabled();
    const bool hovered = enabled && underMouse();

    const int size = style::kCheckIndicatorSize;
    const QRectF box(1, (height() - size) / 2.0, size, size);
    QRgb outline = style::kCheckOutlineDisabled;
    if (enabled)
        outline = hovered ? style::kCheckOutlineHover : style::kCheckOutline;
    painter.setPen(QPen(style::color(outline), 1));
    if (isChecked()) {
        QLinearGradient fill(box.topLeft(), box.bottomLeft());
        fill.setColorAt(0, style::color(enabled ? style::kCheckFillTop : style::kCheckFillDisabledTop));
        fill.setColorAt(1, style::color(enabled ? style::kCheckFillBottom
                                                : style::kCheckFillDisabledBottom));
        painter.setBrush(fill);
    } else {
        painter.setBrush(style::color(style::kCheckEmpty));
    }
    painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);

    if (isChecked()) {
        QPainterPath tick;
        tick.moveTo(box.left() + 4.2, box.center().y() + 0.2);
        tick.lineTo(box.left() + 7.2, box.center().y() + 3.2);
        tick.lineTo(box.left() + 12.8, box.center().y() - 3.4);
        painter.setPen(QPen(style::color(style::kCheckTick), 2, Qt::SolidLine, Qt::RoundCap,
                            Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    }

    QRgb textColor = style::kCheckTextDisabled;
    if (enabled)
        textColor = hovered ? style::kCheckTextHover : style::kCheckText;
    painter.setPen(style::color(textColor));
    painter.setFont(font());
    painter.drawText(QRect(kTextLeft, 0, width() - kTextLeft, height()),
                     Qt::AlignLeft | Qt::AlignVCenter, text());
}

} // namespace vorn
