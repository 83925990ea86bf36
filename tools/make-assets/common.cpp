#include "art.h"

#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

namespace vorn::art {

double Random::next()
{
    // xorshift32
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return (m_state & 0xffffff) / double(0x1000000);
}

QString sansFamily()
{
    return QStringLiteral("Montserrat");
}

QString serifFamily()
{
    return QStringLiteral("DejaVu Serif");
}

QPainterPath centredText(const QString& text, const QFont& font, const QPointF& centre)
{
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF bounds = path.boundingRect();
    return path.translated(centre - bounds.center());
}

QPainterPath fitWidth(const QPainterPath& path, double maxWidth)
{
    const QRectF bounds = path.boundingRect();
    if (bounds.width() <= maxWidth)
        return path;
    QTransform narrow;
    narrow.translate(bounds.center().x(), bounds.center().y());
    narrow.scale(maxWidth / bounds.width(), 1.0);
    narrow.translate(-bounds.center().x(), -bounds.center().y());
    return narrow.map(path);
}

void paintGold(QPainter& painter, const QPainterPath& path, double rimWidth, double glowRadius,
               bool bright)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (glowRadius > 0) {
        for (int i = 6; i >= 1; --i) {
            painter.setPen(QPen(QColor(255, 170, 60, 9), glowRadius * i / 3.0, Qt::SolidLine,
                                Qt::RoundCap, Qt::RoundJoin));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(path);
        }
    }
    if (rimWidth > 0) {
        painter.setPen(QPen(QColor(14, 9, 4, 235), rimWidth, Qt::SolidLine, Qt::RoundCap,
                            Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    }
    const QRectF bounds = path.boundingRect();
    QLinearGradient gold(bounds.topLeft(), bounds.bottomLeft());
    gold.setColorAt(0.0, bright ? QColor(255, 247, 214) : QColor(252, 236, 178));
    gold.setColorAt(0.32, bright ? QColor(246, 206, 118) : QColor(232, 190, 98));
    gold.setColorAt(0.55, QColor(196, 140, 52));
    gold.setColorAt(0.78, QColor(236, 188, 96));
    gold.setColorAt(1.0, QColor(140, 88, 30));
    painter.setPen(QPen(QColor(255, 232, 170, 120), 0.6));
    painter.setBrush(gold);
    painter.drawPath(path);
    painter.restore();
}

void paintGlow(QPainter& painter, const QPointF& centre, double radius, const QColor& color)
{
    QRadialGradient glow(centre, radius);
    glow.setColorAt(0, color);
    QColor middle = color;
    middle.setAlphaF(color.alphaF() * 0.35);
    glow.setColorAt(0.4, middle);
    QColor edge = color;
    edge.setAlpha(0);
    glow.setColorAt(1, edge);
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(centre, radius, radius);
    painter.restore();
}

void paintRule(QPainter& painter, const QPointF& centre, double halfWidth, const QColor& color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient line(centre.x() - halfWidth, 0, centre.x() + halfWidth, 0);
    QColor clear = color;
    clear.setAlpha(0);
    line.setColorAt(0, clear);
    line.setColorAt(0.5, color);
    line.setColorAt(1, clear);
    painter.setPen(QPen(QBrush(line), 1.4));
    painter.drawLine(QPointF(centre.x() - halfWidth, centre.y()),
                     QPointF(centre.x() + halfWidth, centre.y()));
    const double d = 4.5;
    QPainterPath diamond;
    diamond.moveTo(centre.x(), centre.y() - d);
    diamond.lineTo(centre.x() + d, centre.y());
    diamond.lineTo(centre.x(), centre.y() + d);
    diamond.lineTo(centre.x() - d, centre.y());
    diamond.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPath(diamond);
    painter.restore();
}

} // namespace vorn::art
