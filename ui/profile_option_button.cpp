#include "ui/profile_option_button.h"

#include "ui/style.h"

#include <QLinearGradient>
#include <QPainter>
#include <QVariant>

namespace vorn {

ProfileOptionButton::ProfileOptionButton(QWidget* parent) : QPushButton(parent)
{
    setAttribute(Qt::WA_Hover);
}

void ProfileOptionButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool checked = isChecked();
    const bool hovered = underMouse();
    const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);

    QLinearGradient fill(0, 0, box.right(), 0);
    if (checked) {
        fill.setColorAt(0, QColor(76, 55, 28, 240));
        fill.setColorAt(0.55, QColor(22, 27, 31, 242));
        fill.setColorAt(1, QColor(13, 18, 22, 244));
    } else {
        fill.setColorAt(0, QColor(24, 29, 34, hovered ? 244 : 224));
        fill.setColorAt(1, QColor(13, 18, 22, hovered ? 246 : 225));
    }
    const QColor outline = checked ? style::color(style::kProfileOutlineChecked)
                                   : QColor(80, 83, 82, hovered ? 190 : 100);
    painter.setPen(QPen(outline, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(fill);
    painter.drawRoundedRect(box, 4, 4);

    QRgb dot = style::kProfileDot;
    if (checked)
        dot = property("profileAccent").toBool() ? style::kProfileDotAccent : style::kProfileDotChecked;
    painter.setPen(Qt::NoPen);
    painter.setBrush(style::color(dot));
    painter.drawEllipse(QRectF(13, height() / 2.0 - 5, 10, 10));

    QFont titleFont = font();
    titleFont.setPixelSize(15);
    titleFont.setWeight(63);
    painter.setFont(titleFont);
    painter.setPen(style::color(checked ? style::kProfileTitleChecked : style::kProfileTitle));
    painter.drawText(QRect(33, 7, width() - 34 - 33, 19), Qt::AlignLeft | Qt::AlignVCenter,
                     property("profileTitle").toString());

    QFont subtitleFont = font();
    subtitleFont.setPixelSize(10);
    subtitleFont.setWeight(QFont::Normal);
    painter.setFont(subtitleFont);
    painter.setPen(style::color(checked ? style::kProfileSubtitleChecked : style::kProfileSubtitle));
    painter.drawText(QRect(33, 29, width() - 34 - 33, 15), Qt::AlignLeft | Qt::AlignVCenter,
                     property("profileSubtitle").toString());

    if (checked) {
        const double w = width();
        const double h = height() / 2.0;
        painter.setPen(QPen(style::color(style::kProfileTick), 1.6, Qt::SolidLine, Qt::RoundCap,
                            Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        const QPointF tick[3] = {{w - 24, h}, {w - 19, h + 5}, {w - 11, h - 5}};
        painter.drawPolyline(tick, 3);
    }
}

} // namespace vorn
