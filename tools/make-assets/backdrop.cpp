#include "art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QtMath>

namespace vorn::art {

namespace {

// A mountain ridge: a few long waves plus jagged detail, as a closed shape down to the bottom.
QPainterPath ridge(int width, int height, double base, double amplitude, quint32 seed,
                   double jag)
{
    Random random(seed);
    const double p1 = random.range(0, 6.28), p2 = random.range(0, 6.28), p3 = random.range(0, 6.28);
    QPainterPath path;
    path.moveTo(0, height);
    double detail = 0;
    for (int x = 0; x <= width; x += 6) {
        detail = detail * 0.6 + random.range(-1, 1) * jag;
        const double y = base - amplitude * (0.55 * std::sin(x * 0.0021 + p1)
                                             + 0.3 * std::sin(x * 0.0057 + p2)
                                             + 0.15 * std::sin(x * 0.013 + p3))
                         + detail;
        path.lineTo(x, y);
    }
    path.lineTo(width, height);
    path.closeSubpath();
    return path;
}

void paintCastle(QPainter& painter, const QPointF& foot, double scale)
{
    painter.save();
    painter.translate(foot);
    painter.scale(scale, scale);
    QPainterPath castle;
    // The crag it stands on.
    castle.moveTo(-330, 420);
    castle.cubicTo(-250, 200, -170, 60, -120, 30);
    castle.lineTo(-96, 4);
    castle.lineTo(112, 0);
    castle.cubicTo(150, 30, 180, 90, 214, 120);
    castle.lineTo(236, 150);
    castle.cubicTo(280, 220, 330, 330, 380, 420);
    castle.closeSubpath();
    auto tower = [&castle](double x, double width, double height, double roof) {
        castle.addRect(QRectF(x - width / 2, -height, width, height + 2));
        QPainterPath spire;
        spire.moveTo(x - width / 2 - 4, -height);
        spire.lineTo(x, -height - roof);
        spire.lineTo(x + width / 2 + 4, -height);
        spire.closeSubpath();
        castle.addPath(spire);
    };
    castle.addRect(QRectF(-95, -70, 200, 72)); // curtain wall
    for (int i = 0; i < 10; ++i)
        castle.addRect(QRectF(-95 + i * 20.5, -80, 11, 12)); // battlements
    tower(-95, 30, 120, 46);
    tower(105, 28, 105, 40);
    tower(-40, 34, 170, 64);
    tower(30, 46, 230, 92); // the keep
    tower(62, 16, 150, 38);
    castle.setFillRule(Qt::WindingFill);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(6, 9, 14));
    painter.drawPath(castle.simplified());

    // Lit windows.
    Random random(77);
    const QPointF windows[] = {{30, -200}, {30, -170}, {24, -140}, {36, -140}, {-40, -140},
                               {-40, -110}, {-95, -95}, {105, -80}, {62, -120}, {0, -40},
                               {-60, -40}, {70, -40}};
    for (const QPointF& w : windows) {
        paintGlow(painter, w, 14, QColor(255, 190, 90, 70));
        painter.setBrush(QColor(255, 208, 120, int(random.range(170, 240))));
        painter.drawRect(QRectF(w.x() - 2, w.y() - 4, 4, 8));
    }
    painter.restore();
}

void paintTrees(QPainter& painter, double fromX, double toX, double groundY, quint32 seed,
                const QColor& color)
{
    Random random(seed);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    for (double x = fromX; x < toX; x += random.range(14, 34)) {
        const double h = random.range(60, 150);
        const double w = h * random.range(0.26, 0.36);
        const double base = groundY + random.range(-10, 16);
        QPainterPath tree;
        const int tiers = 4;
        for (int t = 0; t < tiers; ++t) {
            const double top = base - h + t * h / (tiers + 1.0);
            const double bottom = top + h * 0.45;
            const double half = w * (0.35 + 0.65 * (t + 1) / tiers) / 2;
            tree.moveTo(x, top);
            tree.lineTo(x + half, bottom);
            tree.lineTo(x - half, bottom);
            tree.closeSubpath();
        }
        tree.addRect(QRectF(x - 2, base - h * 0.2, 4, h * 0.2 + 30));
        tree.setFillRule(Qt::WindingFill);
        painter.drawPath(tree);
    }
}

} // namespace

QImage heroBackdrop(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double sx = width / 1920.0;
    const double sy = height / 1080.0;
    painter.scale(sx, sy);
    const int w = 1920;
    const int h = 1080;
    const QPointF light(1330, 610);

    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0.0, QColor(3, 6, 11));
    sky.setColorAt(0.35, QColor(8, 15, 26));
    sky.setColorAt(0.58, QColor(20, 28, 40));
    sky.setColorAt(0.75, QColor(12, 18, 27));
    sky.setColorAt(1.0, QColor(4, 7, 11));
    painter.fillRect(QRectF(0, 0, w, h), sky);

    // Warm light behind the citadel.
    paintGlow(painter, light, 1100, QColor(190, 120, 45, 70));
    paintGlow(painter, light, 520, QColor(255, 170, 70, 95));
    paintGlow(painter, light, 190, QColor(255, 221, 150, 150));

    Random random(2024);
    for (int i = 0; i < 260; ++i) {
        const QPointF star(random.range(0, w), random.range(0, 560));
        const double distance = QLineF(star, light).length();
        if (distance < 380)
            continue;
        const double size = random.range(0.6, 1.9);
        const int alpha = int(random.range(40, 200));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(200, 215, 240, alpha));
        painter.drawEllipse(star, size, size);
        if (size > 1.6)
            paintGlow(painter, star, 7, QColor(190, 210, 255, 50));
    }

    // Rays fanning up from the light.
    for (int i = 0; i < 9; ++i) {
        const double angle = qDegreesToRadians(-160.0 + i * 17.5 + random.range(-4, 4));
        const double spread = qDegreesToRadians(random.range(1.2, 3.2));
        const double length = random.range(700, 1100);
        QPainterPath ray;
        ray.moveTo(light);
        ray.lineTo(light + QPointF(std::cos(angle - spread), std::sin(angle - spread)) * length);
        ray.lineTo(light + QPointF(std::cos(angle + spread), std::sin(angle + spread)) * length);
        ray.closeSubpath();
        QRadialGradient fade(light, length);
        fade.setColorAt(0, QColor(255, 200, 110, int(random.range(16, 30))));
        fade.setColorAt(1, QColor(255, 200, 110, 0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(fade);
        painter.drawPath(ray);
    }

    // Cloud banks lit from below near the light.
    for (int i = 0; i < 14; ++i) {
        const QPointF centre(random.range(0, w), random.range(150, 470));
        const double rx = random.range(160, 420), ry = random.range(14, 34);
        const double warmth = std::max(0.0, 1.0 - QLineF(centre, light).length() / 900.0);
        QRadialGradient cloud(centre, rx);
        cloud.setColorAt(0, QColor(int(28 + 120 * warmth), int(36 + 70 * warmth),
                                   int(52 + 10 * warmth), int(60 + 50 * warmth)));
        cloud.setColorAt(1, QColor(20, 30, 44, 0));
        painter.save();
        painter.translate(centre);
        painter.scale(1.0, ry / rx);
        painter.setPen(Qt::NoPen);
        painter.setBrush(cloud);
        painter.drawEllipse(QPointF(0, 0), rx, rx);
        painter.restore();
    }

    // Far range, warm where the light touches it.
    const QPainterPath far = ridge(w, h, 640, 120, 11, 5);
    QLinearGradient farFill(0, 0, w, 0);
    farFill.setColorAt(0.0, QColor(14, 22, 34));
    farFill.setColorAt(0.55, QColor(30, 31, 38));
    farFill.setColorAt(0.7, QColor(46, 38, 34));
    farFill.setColorAt(0.85, QColor(28, 29, 36));
    farFill.setColorAt(1.0, QColor(14, 22, 34));
    painter.setPen(QPen(QColor(255, 190, 100, 60), 1.6));
    painter.setBrush(farFill);
    painter.drawPath(far);

    paintCastle(painter, QPointF(1330, 640), 1.05);

    // Mist in the valleys.
    for (int i = 0; i < 3; ++i) {
        QLinearGradient mist(0, 640 + i * 60, 0, 760 + i * 60);
        mist.setColorAt(0, QColor(70, 86, 104, 0));
        mist.setColorAt(0.5, QColor(70, 86, 104, 34));
        mist.setColorAt(1, QColor(70, 86, 104, 0));
        painter.fillRect(QRectF(0, 640 + i * 60, w, 120), mist);
    }

    const QPainterPath middle = ridge(w, h, 790, 90, 23, 7);
    QLinearGradient middleFill(0, 650, 0, h);
    middleFill.setColorAt(0, QColor(12, 18, 27));
    middleFill.setColorAt(1, QColor(6, 9, 14));
    painter.setPen(QPen(QColor(230, 160, 80, 40), 1.2));
    painter.setBrush(middleFill);
    painter.drawPath(middle);

    // Low warm haze along the middle range.
    paintGlow(painter, QPointF(1330, 800), 600, QColor(255, 160, 60, 28));

    const QPainterPath near = ridge(w, h, 930, 60, 41, 4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(4, 6, 10));
    painter.drawPath(near);
    paintTrees(painter, -20, 560, 900, 5, QColor(4, 6, 10));
    paintTrees(painter, 1640, 1950, 910, 9, QColor(4, 6, 10));

    // Embers drifting up from the valley.
    for (int i = 0; i < 150; ++i) {
        const QPointF ember(random.range(700, 1920), random.range(420, 1040));
        const double size = random.range(0.8, 2.4);
        const int alpha = int(random.range(60, 220));
        paintGlow(painter, ember, size * 5, QColor(255, 170, 70, alpha / 3));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 214, 140, alpha));
        painter.drawEllipse(ember, size, size);
    }

    // Vignette.
    QRadialGradient vignette(QPointF(w * 0.58, h * 0.52), w * 0.75);
    vignette.setColorAt(0.55, QColor(0, 0, 0, 0));
    vignette.setColorAt(1.0, QColor(0, 0, 0, 170));
    painter.fillRect(QRectF(0, 0, w, h), vignette);
    painter.end();
    return image;
}

} // namespace vorn::art
