#include "ui/styled_spin_box.h"

#include "ui/painting.h"
#include "ui/style.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionSpinBox>

namespace vorn {

StyledSpinBox::StyledSpinBox(QWidget* parent) : QSpinBox(parent)
{
    setMouseTracking(true);
}

void StyledSpinBox::paintEvent(QPaintEvent* event)
{
    QSpinBox::paintEvent(event);
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    for (const auto control : {QStyle::SC_SpinBoxUp, QStyle::SC_SpinBoxDown}) {
        const QRect area = style()->subControlRect(QStyle::CC_SpinBox, &option, control, this);
        if (area.isEmpty())
            continue;
        // Our chevron replaces whatever arrow the base style drew.
        painter.fillRect(area.adjusted(1, 0, 0, 0), style::color(style::kSpinButtonBackground));
        const bool lit = area.contains(m_mouse);
        painting::drawAreaChevron(painter, QRectF(area), control == QStyle::SC_SpinBoxUp,
                                  style::color(lit ? style::kArrowHover : style::kArrow));
    }
}

void StyledSpinBox::mouseMoveEvent(QMouseEvent* event)
{
    m_mouse = event->pos();
    update();
    QSpinBox::mouseMoveEvent(event);
}

void StyledSpinBox::leaveEvent(QEvent* event)
{
    m_mouse = QPoint(-1, -1);
    update();
    QSpinBox::leaveEvent(event);
}

} // namespace vorn
