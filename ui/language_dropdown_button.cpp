#include "ui/language_dropdown_button.h"

#include "ui/style.h"

#include <QLinearGradient>
#include <QPainter>
#include <QVariant>

namespace vorn {

LanguageDropdownButton::LanguageDropdownButton(QWidget* parent) : QPushButton(parent)
{
    setAttribute(Qt::WA_Hover);
}

void LanguageDropdownButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool hovered = underMouse();

    const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0, style::color(hovered ? style::kLanguageTopHover : style::kLanguageTop));
    fill.setColorAt(1, style::color(style::kLanguageBottom));
    painter.setPen(QPen(style::color(hovered ? style::kLanguageOutlineHover
                                             : style::kLanguageOutline),
                        1));
    painter.setBrush(fill);
    painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);

    QFont font = this->font();
    font.setPixelSize(12);
    font.setWeight(63);
    painter.setFont(font);
    painter.setPen(style::color(style::kLanguageText));
    painter.drawText(QRect(5, 0, width() - 5 - 14, height()), Qt::AlignCenter,
                     property("selectedLanguage").toString().toUpper());

    const QPointF c(width() - 10.5, height() / 2.0);
    painter.setPen(QPen(style::color(style::kLanguageChevron), 1.3, Qt::SolidLine, Qt::RoundCap,
                        Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    const QPointF chevron[3] = {c + QPointF(-3, -1.5), c + QPointF(0, 1.5), c + QPointF(3, -1.5)};
    painter.drawPolyline(chevron, 3);
}

} // namespace vorn
