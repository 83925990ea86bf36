#include "ui/fantasy_launch_button.h"

#include "ui/painting.h"
#include "ui/style.h"

#include <QPainter>

namespace vorn {

FantasyLaunchButton::FantasyLaunchButton(const QPixmap& normal, const QPixmap& active,
                                         QWidget* parent)
    : QPushButton(parent), m_normal(normal), m_active(active)
{
    setAttribute(Qt::WA_Hover);
}

void FantasyLaunchButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const bool enabled = isEnabled();
    const bool pressed = isDown();
    const bool hovered = enabled && underMouse();

    const QRect plate = rect().adjusted(1, 1, -1, -1);
    painting::drawNinePatch(painter, plate, (hovered || pressed) ? m_active : m_normal);

    const QRect overlay = plate.adjusted(8, 7, -8, -7);
    if (pressed)
        painter.fillRect(overlay, style::color(style::kLaunchPressedOverlay));
    else if (hovered)
        painter.fillRect(overlay, style::color(style::kLaunchHoverOverlay));
    if (!enabled)
        painter.fillRect(rect(), style::color(style::kLaunchDisabledVeil));

    QFont font(QStringLiteral("Georgia"));
    // Without the list the widget's own families (from style sheets) would be tried before
    // a serif where Georgia is not installed.
    font.setFamilies({QStringLiteral("Georgia"), QStringLiteral("serif")});
    font.setPixelSize(style::kLaunchTextPixelSize);
    font.setWeight(QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, style::kLaunchLetterSpacing);
    painter.setFont(font);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRect textRect = pressed ? rect().translated(1, 1) : rect();
    const QString label = text().toUpper();
    QColor shadow = style::color(style::kLaunchShadow);
    if (!enabled)
        shadow.setAlpha(style::kLaunchShadowDisabledAlpha);
    painter.setPen(shadow);
    painter.drawText(textRect.translated(1, 2), Qt::AlignCenter, label);
    QRgb textColor = style::kLaunchTextDisabled;
    if (enabled)
        textColor = hovered ? style::kLaunchTextHover : style::kLaunchText;
    painter.setPen(style::color(textColor));
    painter.drawText(textRect, Qt::AlignCenter, label);
}

} // namespace vorn
