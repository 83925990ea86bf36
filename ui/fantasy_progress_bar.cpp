#include "ui/fantasy_progress_bar.h"

#include "ui/style.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>

namespace vorn {

namespace {

QRectF trackRect(const QRectF& widgetRect)
{
    return widgetRect.adjusted(0.75, 1.25, -0.75, -1.25);
}

} // namespace

double progressFraction(int minimum, int maximum, int value)
{
    // Widened so that extreme ranges do not overflow.
    const double span = static_cast<double>(maximum) - static_cast<double>(minimum);
    if (span < 1.0)
        return 0.0;
    const double fraction = (static_cast<double>(value) - static_cast<double>(minimum)) / span;
    return std::clamp(fraction, 0.0, 1.0);
}

std::optional<QRectF> progressFillRect(const QRectF& widgetRect, double fraction)
{
    if (fraction <= 0.0)
        return std::nullopt;
    const QRectF track = trackRect(widgetRect);
    QRectF fill = track.adjusted(2, 2, -2, -2);
    fill.setWidth(std::max<double>(style::kMinFillWidth, (track.width() - 4) * fraction));
    return fill;
}

FantasyProgressBar::FantasyProgressBar(QWidget* parent) : QProgressBar(parent) {}

void FantasyProgressBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF track = trackRect(QRectF(rect()));
    QLinearGradient trackFill(track.topLeft(), track.bottomLeft());
    trackFill.setColorAt(0, style::color(style::kTrackTop));
    trackFill.setColorAt(0.48, style::color(style::kTrackMiddle));
    trackFill.setColorAt(1, style::color(style::kTrackBottom));
    painter.setPen(QPen(style::color(style::kTrackOutline), 1));
    painter.setBrush(trackFill);
    painter.drawRoundedRect(track, 6, 6);

    const double fraction = progressFraction(minimum(), maximum(), value());
    const std::optional<QRectF> filled = progressFillRect(QRectF(rect()), fraction);
    if (!filled)
        return;
    const QRectF fill = *filled;

    QPainterPath clip;
    clip.addRoundedRect(fill, 4, 4);
    painter.save();
    painter.setClipPath(clip);
    QLinearGradient body(fill.topLeft(), fill.bottomLeft());
    for (int i = 0; i < 5; ++i)
        body.setColorAt(style::kFillStopPositions[i], style::color(style::kFillStops[i]));
    painter.fillRect(fill, body);
    QLinearGradient sheen(fill.topLeft(), fill.topRight());
    for (int i = 0; i < 4; ++i)
        sheen.setColorAt(style::kFillSheenPositions[i], style::color(style::kFillSheenStops[i]));
    painter.fillRect(fill, sheen);

    painter.setPen(QPen(style::color(style::kFillHighlight), 1));
    painter.drawLine(QPointF(fill.left() + 3, fill.top() + 1.2),
                     QPointF(fill.right() - 3, fill.top() + 1.2));
    painter.setPen(QPen(style::color(style::kFillShadow), 1));
    painter.drawLine(QPointF(fill.left() + 3, fill.bottom() - 0.8),
                     QPointF(fill.right() - 3, fill.bottom() - 0.8));

    painter.setPen(QPen(style::color(style::kFillHatch), 1));
    for (double x = fill.left() - 12; x <= fill.right() + 12; x += 16)
        painter.drawLine(QPointF(x, fill.bottom()), QPointF(x + 11, fill.top()));
    painter.restore();

    if (fraction < 0.999) {
        const QPointF centre(fill.right() - 1.5, fill.center().y());
        QRadialGradient glow(centre, 12);
        glow.setColorAt(0, style::color(style::kGlowCore));
        glow.setColorAt(0.45, style::color(style::kGlowMiddle));
        glow.setColorAt(1, style::color(style::kGlowEdge));
        painter.setPen(Qt::NoPen);
        painter.setBrush(glow);
        painter.drawEllipse(centre, 12, 12);
    }

    painter.setPen(QPen(style::color(style::kFillOutline), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(fill.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
}

} // namespace vorn
