#include "ui/styled_combo_box.h"

#include "ui/painting.h"
#include "ui/style.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionComboBox>

namespace vorn {

StyledComboBox::StyledComboBox(QWidget* parent) : QComboBox(parent)
{
    setMouseTracking(true);
}

QRect StyledComboBox::arrowArea() const
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect area =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this);
    if (area.width() >= 12)
        return area;
    const int width = style::kComboArrowFallbackWidth;
    return {this->width() - width, 0, width, height()};
}

void StyledComboBox::paintEvent(QPaintEvent* event)
{
    QComboBox::paintEvent(event);
    const QRect area = arrowArea();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painting::drawAreaChevron(painter, QRectF(area), false,
                              style::color(area.contains(m_mouse) ? style::kArrowHover
                                                                  : style::kArrow));
}

void StyledComboBox::mouseMoveEvent(QMouseEvent* event)
{
    m_mouse = event->pos();
    update();
    QComboBox::mouseMoveEvent(event);
}

void StyledComboBox::leaveEvent(QEvent* event)
{
    m_mouse = QPoint(-1, -1);
    update();
    QComboBox::leaveEvent(event);
}

} // namespace vorn
