#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QString>

class QPainter;

// The launcher's artwork, drawn from scratch with QPainter.
namespace vorn::art {

// Deterministic pseudo-random numbers so that every run draws the same pictures.
class Random
{
public:
    explicit Random(quint32 seed) : m_state(seed ? seed : 1u) {}
    double next(); // 0 <= x < 1
    double range(double low, double high) { return low + (high - low) * next(); }

private:
    quint32 m_state;
};

// The families registered from assets/fonts ("Montserrat") and the system serif used for
// engraved titles.
QString sansFamily();
QString serifFamily();

// A text outline centred on a point.
QPainterPath centredText(const QString& text, const QFont& font, const QPointF& centre);

// The path narrowed about its centre when it is wider than maxWidth.
QPainterPath fitWidth(const QPainterPath& path, double maxWidth);

// Gold-filled shape with a dark rim and a soft warm glow around it.
void paintGold(QPainter& painter, const QPainterPath& path, double rimWidth, double glowRadius,
               bool bright = false);

// Soft radial light.
void paintGlow(QPainter& painter, const QPointF& centre, double radius, const QColor& color);

// A fading ornamental rule with a diamond in its middle.
void paintRule(QPainter& painter, const QPointF& centre, double halfWidth, const QColor& color);

QImage heroBackdrop(int width, int height);
QImage crestLogo(int halfWidth, int height);
QImage crest(int size);
QImage brandWordmark(int width, int height);
QImage chronicleLogo(bool russian, int width, int height);
QImage plate(int width, int height, bool active);
QImage navigationArtwork(int kind, int width, int height);
QImage navigationCaption(const QString& text, int width, int height);
QImage newsDefault(int width, int height);
// Cover number index of the demo announcement site.
QImage newsCover(int index, int width, int height);

// A Windows icon file holding every image (32-bit bitmaps with masks).
bool writeIcon(const QString& path, const QList<QImage>& images, QString* error);

} // namespace vorn::art
