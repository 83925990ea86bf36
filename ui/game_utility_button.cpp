#include "ui/game_utility_button.h"

#include "ui/painting.h"
#include "ui/style.h"

#include <QLinearGradient>
#include <QPainter>
#include <QVariant>

namespace vorn {

GameUtilityButton::GameUtilityButton(UtilityKind kind, const QPixmap& normal,
                                     const QPixmap& active, QWidget* parent)
    : QPushButton(parent), m_kind(kind), m_normal(normal), m_active(active)
{
    setAttribute(Qt::WA_Hover);
}

void GameUtilityButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const bool enabled = isEnabled();
    const bool pressed = enabled && isDown();
    const bool hovered = enabled && underMouse();

    const QRect plate = rect().adjusted(1, 1, -1, -1);
    painting::drawNinePatch(painter, plate, (hovered || pressed) ? m_active : m_normal);

    const QRect inner = plate.adjusted(7, 7, -7, -7);
    QLinearGradient shade(inner.topLeft(), inner.bottomLeft());
    shade.setColorAt(0, QColor(255, 222, 142, hovered ? 24 : 8));
    shade.setColorAt(0.48, QColor(20, 13, 6, pressed ? 70 : 18));
    shade.setColorAt(1, QColor(0, 0, 0, pressed ? 82 : 28));
    painter.fillRect(inner, shade);
    if (pressed)
        painter.fillRect(inner, style::color(style::kUtilityPressedOverlay));

    QRgb glyph = style::kUtilityGlyph;
    if (!enabled)
        glyph = style::kUtilityGlyphDisabled;
    else if (hovered)
        glyph = style::kUtilityGlyphHover;
    painter.save();
    painter.translate(QRectF(rect()).center() + (pressed ? QPointF(1, 1) : QPointF()));
    switch (m_kind) {
    case UtilityKind::CheckUpdate:
        painting::drawCheckUpdateGlyph(painter, style::color(glyph));
        break;
    case UtilityKind::PauseResume:
        if (property("resumeGlyph").toBool())
            painting::drawResumeGlyph(painter, style::color(glyph));
        else
            painting::drawPauseGlyph(painter, style::color(glyph));
        break;
    case UtilityKind::Settings:
        painting::drawSettingsGlyph(painter, style::color(glyph));
        break;
    }
    painter.restore();

    if (!enabled)
        painter.fillRect(plate, style::color(style::kUtilityDisabledVeil));
}

} // namespace vorn
