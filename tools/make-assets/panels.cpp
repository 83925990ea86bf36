#include "art.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QtMath>

namespace vorn::art {

namespace {

void paintNightField(QPainter& painter, int width, int height, const QPointF& light, quint32 seed)
{
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(6, 11, 19));
    sky.setColorAt(0.6, QColor(14, 22, 34));
    sky.setColorAt(1, QColor(5, 8, 12));
    painter.fillRect(QRectF(0, 0, width, height), sky);
    paintGlow(painter, light, width * 0.7, QColor(255, 160, 60, 60));
    Random random(seed);
    for (int i = 0; i < 40; ++i) {
        const QPointF star(random.range(0, width), random.range(0, height * 0.5));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(200, 215, 240, int(random.range(40, 160))));
        painter.drawEllipse(star, random.range(0.6, 1.5), random.range(0.6, 1.5));
    }
}

void paintSparks(QPainter& painter, const QRectF& area, int count, quint32 seed)
{
    Random random(seed);
    for (int i = 0; i < count; ++i) {
        const QPointF spark(random.range(area.left(), area.right()),
                            random.range(area.top(), area.bottom()));
        const double size = random.range(0.8, 2.2);
        paintGlow(painter, spark, size * 5, QColor(255, 180, 80, 60));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 222, 150, int(random.range(90, 230))));
        painter.drawEllipse(spark, size, size);
    }
}

// An open tome with glowing pages and runes rising from it.
void paintKnowledge(QPainter& painter, int width, int height)
{
    const double u = width / 400.0;
    const QPointF centre(width / 2.0, height * 0.5);
    paintNightField(painter, width, height, centre, 3);
    // Shelves in the dark.
    for (int row = 0; row < 3; ++row) {
        const double y = height * (0.16 + row * 0.2);
        painter.fillRect(QRectF(0, y, width, 5 * u), QColor(40, 30, 20, 140));
        Random random(100 + row);
        for (double x = 0; x < width; x += random.range(7, 14) * u) {
            const double h = random.range(0.1, 0.16) * height;
            const double bookWidth = random.range(5, 10) * u;
            const QColor spine = QColor::fromHsv(int(random.range(15, 40)), 120,
                                                 int(random.range(40, 90)), 150);
            painter.fillRect(QRectF(x, y - h, bookWidth - u, h), spine);
        }
    }
    QLinearGradient shelfShade(0, 0, 0, height);
    shelfShade.setColorAt(0, QColor(5, 8, 12, 120));
    shelfShade.setColorAt(1, QColor(5, 8, 12, 40));
    painter.fillRect(QRectF(0, 0, width, height), shelfShade);

    paintGlow(painter, centre + QPointF(0, 20 * u), 150 * u, QColor(255, 200, 110, 120));
    // The book.
    const double bw = 120 * u, bh = 52 * u;
    const QPointF spine(centre.x(), centre.y() + 30 * u);
    for (int side : {-1, 1}) {
        QPainterPath page;
        page.moveTo(spine);
        page.cubicTo(spine + QPointF(side * bw * 0.3, -bh * 0.35),
                     spine + QPointF(side * bw * 0.7, -bh * 0.3), spine + QPointF(side * bw, -bh * 0.1));
        page.lineTo(spine + QPointF(side * bw, bh * 0.45));
        page.cubicTo(spine + QPointF(side * bw * 0.7, bh * 0.25),
                     spine + QPointF(side * bw * 0.3, bh * 0.3), spine + QPointF(0, bh * 0.55));
        page.closeSubpath();
        QLinearGradient paper(spine, spine + QPointF(side * bw, 0));
        paper.setColorAt(0, QColor(255, 236, 190));
        paper.setColorAt(1, QColor(196, 150, 86));
        painter.setPen(QPen(QColor(90, 60, 25), 1.5 * u));
        painter.setBrush(paper);
        painter.drawPath(page);
        painter.setPen(QPen(QColor(120, 84, 40, 150), 1.2 * u));
        for (int line = 1; line <= 4; ++line) {
            const double t = line / 5.0;
            painter.drawLine(spine + QPointF(side * bw * 0.18, -bh * 0.15 + t * bh * 0.55),
                             spine + QPointF(side * bw * 0.85, -bh * 0.05 + t * bh * 0.45));
        }
    }
    // Glowing motes of lore rising from the pages.
    Random random(9);
    for (int i = 0; i < 7; ++i) {
        const QPointF at(centre.x() + random.range(-95, 95) * u, centre.y() - random.range(10, 100) * u);
        const double r = random.range(4, 8) * u;
        paintGlow(painter, at, r * 3, QColor(255, 200, 110, 90));
        QPainterPath mote;
        mote.moveTo(at.x(), at.y() - r);
        mote.quadTo(at, QPointF(at.x() + r, at.y()));
        mote.quadTo(at, QPointF(at.x(), at.y() + r));
        mote.quadTo(at, QPointF(at.x() - r, at.y()));
        mote.quadTo(at, QPointF(at.x(), at.y() - r));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 236, 190, int(random.range(160, 240))));
        painter.drawPath(mote);
    }
    paintSparks(painter, QRectF(centre.x() - 120 * u, centre.y() - 110 * u, 240 * u, 130 * u), 40, 5);
}

// A beacon tower with its fire lit against the night.
void paintSupport(QPainter& painter, int width, int height)
{
    const double u = width / 400.0;
    const QPointF fire(width * 0.5, height * 0.3);
    paintNightField(painter, width, height, fire, 4);
    // Rays.
    for (int i = 0; i < 10; ++i) {
        const double angle = i * M_PI / 5 + 0.2;
        QPainterPath ray;
        ray.moveTo(fire);
        ray.lineTo(fire + QPointF(std::cos(angle - 0.05), std::sin(angle - 0.05)) * 260 * u);
        ray.lineTo(fire + QPointF(std::cos(angle + 0.05), std::sin(angle + 0.05)) * 260 * u);
        ray.closeSubpath();
        QRadialGradient fade(fire, 260 * u);
        fade.setColorAt(0, QColor(255, 200, 110, 60));
        fade.setColorAt(1, QColor(255, 200, 110, 0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(fade);
        painter.drawPath(ray);
    }
    paintGlow(painter, fire, 120 * u, QColor(255, 190, 90, 150));
    // Hills and the tower.
    QPainterPath hill;
    hill.moveTo(0, height);
    hill.cubicTo(width * 0.25, height * 0.62, width * 0.7, height * 0.6, width, height * 0.72);
    hill.lineTo(width, height);
    hill.closeSubpath();
    painter.setPen(QPen(QColor(255, 180, 90, 70), 1.5 * u));
    painter.setBrush(QColor(8, 12, 18));
    painter.drawPath(hill);
    QPainterPath tower;
    tower.moveTo(fire.x() - 30 * u, height * 0.75);
    tower.lineTo(fire.x() - 20 * u, fire.y() + 22 * u);
    tower.lineTo(fire.x() + 20 * u, fire.y() + 22 * u);
    tower.lineTo(fire.x() + 30 * u, height * 0.75);
    tower.closeSubpath();
    tower.addRect(QRectF(fire.x() - 28 * u, fire.y() + 12 * u, 56 * u, 10 * u));
    for (int i = 0; i < 4; ++i)
        tower.addRect(QRectF(fire.x() - 28 * u + i * 15 * u, fire.y() + 4 * u, 9 * u, 9 * u));
    tower.setFillRule(Qt::WindingFill);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(10, 13, 18));
    painter.drawPath(tower.simplified());
    // Flames.
    Random random(12);
    for (int i = 0; i < 5; ++i) {
        QPainterPath flame;
        const double x = fire.x() + (i - 2) * 7 * u;
        const double h = random.range(26, 46) * u;
        flame.moveTo(x - 9 * u, fire.y() + 8 * u);
        flame.cubicTo(x - 10 * u, fire.y() - h * 0.4, x - 2 * u, fire.y() - h * 0.6, x, fire.y() - h);
        flame.cubicTo(x + 3 * u, fire.y() - h * 0.6, x + 10 * u, fire.y() - h * 0.4, x + 9 * u,
                      fire.y() + 8 * u);
        flame.closeSubpath();
        QLinearGradient hot(0, fire.y() - h, 0, fire.y() + 8 * u);
        hot.setColorAt(0, QColor(255, 140, 40, 40));
        hot.setColorAt(0.5, QColor(255, 190, 80, 200));
        hot.setColorAt(1, QColor(255, 246, 210, 255));
        painter.setBrush(hot);
        painter.drawPath(flame);
    }
    // A lit window.
    paintGlow(painter, QPointF(fire.x(), height * 0.58), 16 * u, QColor(255, 190, 90, 120));
    painter.setBrush(QColor(255, 210, 130));
    painter.drawRect(QRectF(fire.x() - 3 * u, height * 0.56, 6 * u, 12 * u));
    paintSparks(painter, QRectF(fire.x() - 80 * u, fire.y() - 90 * u, 160 * u, 90 * u), 30, 6);
}

// A scrying orb sending out rings of light.
void paintStreams(QPainter& painter, int width, int height)
{
    const double u = width / 400.0;
    const QPointF orb(width * 0.5, height * 0.4);
    paintNightField(painter, width, height, orb, 5);
    painter.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 5; ++i) {
        painter.setPen(QPen(QColor(255, 196, 100, 120 - i * 20), 2 * u));
        const double r = 50 * u + i * 22 * u;
        painter.drawArc(QRectF(orb.x() - r, orb.y() - r, 2 * r, 2 * r), 20 * 16, 140 * 16);
        painter.drawArc(QRectF(orb.x() - r, orb.y() - r, 2 * r, 2 * r), 200 * 16, 140 * 16);
    }
    paintGlow(painter, orb, 110 * u, QColor(120, 180, 255, 90));
    QRadialGradient glass(orb - QPointF(12 * u, 14 * u), 52 * u);
    glass.setColorAt(0, QColor(240, 248, 255));
    glass.setColorAt(0.25, QColor(140, 190, 240));
    glass.setColorAt(0.7, QColor(40, 70, 130));
    glass.setColorAt(1, QColor(14, 24, 48));
    painter.setPen(QPen(QColor(255, 214, 140, 160), 1.5 * u));
    painter.setBrush(glass);
    painter.drawEllipse(orb, 44 * u, 44 * u);
    // Swirl inside.
    painter.setPen(QPen(QColor(255, 220, 150, 170), 2 * u, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    QPainterPath swirl;
    swirl.moveTo(orb + QPointF(-26 * u, 8 * u));
    swirl.cubicTo(orb + QPointF(-10 * u, -30 * u), orb + QPointF(24 * u, -10 * u),
                  orb + QPointF(6 * u, 10 * u));
    swirl.cubicTo(orb + QPointF(-6 * u, 22 * u), orb + QPointF(20 * u, 28 * u),
                  orb + QPointF(30 * u, 6 * u));
    painter.drawPath(swirl);
    // Golden stand.
    QPainterPath stand;
    stand.moveTo(orb.x() - 34 * u, orb.y() + 40 * u);
    stand.cubicTo(orb.x() - 20 * u, orb.y() + 56 * u, orb.x() - 16 * u, orb.y() + 66 * u,
                  orb.x() - 30 * u, orb.y() + 80 * u);
    stand.lineTo(orb.x() + 30 * u, orb.y() + 80 * u);
    stand.cubicTo(orb.x() + 16 * u, orb.y() + 66 * u, orb.x() + 20 * u, orb.y() + 56 * u,
                  orb.x() + 34 * u, orb.y() + 40 * u);
    stand.cubicTo(orb.x() + 10 * u, orb.y() + 50 * u, orb.x() - 10 * u, orb.y() + 50 * u,
                  orb.x() - 34 * u, orb.y() + 40 * u);
    stand.closeSubpath();
    paintGold(painter, stand, 1.5 * u, 0);
    paintSparks(painter, QRectF(orb.x() - 130 * u, orb.y() - 90 * u, 260 * u, 170 * u), 36, 7);
}

} // namespace

QImage navigationArtwork(int kind, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    switch (kind) {
    case 0:
        paintKnowledge(painter, width, height);
        break;
    case 1:
        paintSupport(painter, width, height);
        break;
    default:
        paintStreams(painter, width, height);
        break;
    }
    painter.end();
    return image;
}

QImage navigationCaption(const QString& text, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double u = width / 400.0;
    QFont font(sansFamily());
    font.setWeight(QFont::Bold);
    font.setPixelSize(int(27 * u));
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.6 * u);
    QPainterPath label = centredText(text, font, QPointF(width / 2.0, height * 0.855));
    // Long captions are narrowed to keep a margin at the panel's sides.
    label = fitWidth(label, width - 36 * u);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 170));
    painter.drawPath(label.translated(0, 2 * u));
    QLinearGradient fill(0, label.boundingRect().top(), 0, label.boundingRect().bottom());
    fill.setColorAt(0, QColor(255, 246, 222));
    fill.setColorAt(1, QColor(232, 196, 128));
    painter.setBrush(fill);
    painter.drawPath(label);
    paintRule(painter, QPointF(width / 2.0, height * 0.74), width * 0.3, QColor(222, 170, 84));
    painter.end();
    return image;
}

QImage newsDefault(int width, int height)
{
    QImage image = heroBackdrop(1920, 1080)
                       .scaled(width, height, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    image = image.copy((image.width() - width) / 2, (image.height() - height) / 2, width, height)
                .convertToFormat(QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRectF(0, 0, width, height), QColor(4, 8, 12, 90));
    const int crestSize = int(height * 0.62);
    painter.drawImage(QPointF((width - crestSize) / 2.0, (height - crestSize) / 2.0 - height * 0.04),
                      crest(crestSize));
    painter.end();
    return image;
}

QImage plate(int width, int height, bool active)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outer(0, 0, width, height);

    // Every layer is uniform along the long edges, so the plate stretches cleanly as a
    // nine-patch with 14 px sides and 8 px top and bottom.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(8, 6, 3, 235));
    painter.drawRoundedRect(outer, 5, 5);

    QLinearGradient frame(0, 0, 0, height);
    frame.setColorAt(0, active ? QColor(255, 232, 160) : QColor(236, 198, 120));
    frame.setColorAt(0.5, active ? QColor(200, 140, 52) : QColor(160, 112, 44));
    frame.setColorAt(1, active ? QColor(140, 90, 30) : QColor(98, 64, 24));
    painter.setBrush(frame);
    painter.drawRoundedRect(outer.adjusted(1, 1, -1, -1), 4.5, 4.5);

    painter.setBrush(QColor(20, 13, 6));
    painter.drawRoundedRect(outer.adjusted(3.5, 3.5, -3.5, -3.5), 3, 3);

    QLinearGradient body(0, 0, 0, height);
    if (active) {
        body.setColorAt(0, QColor(120, 84, 36));
        body.setColorAt(0.45, QColor(70, 48, 20));
        body.setColorAt(0.55, QColor(54, 36, 15));
        body.setColorAt(1, QColor(30, 20, 9));
    } else {
        body.setColorAt(0, QColor(70, 52, 26));
        body.setColorAt(0.45, QColor(38, 29, 16));
        body.setColorAt(0.55, QColor(28, 21, 12));
        body.setColorAt(1, QColor(16, 12, 8));
    }
    painter.setBrush(body);
    painter.drawRoundedRect(outer.adjusted(4.5, 4.5, -4.5, -4.5), 2.5, 2.5);

    // A fine inner hairline frame and a top sheen.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(active ? QColor(255, 214, 130, 150) : QColor(214, 164, 80, 110), 1));
    painter.drawRoundedRect(outer.adjusted(6.5, 6.5, -6.5, -6.5), 1.5, 1.5);
    painter.setPen(QPen(QColor(255, 236, 180, active ? 110 : 60), 1));
    painter.drawLine(QPointF(8, 5.5), QPointF(width - 8, 5.5));
    painter.end();
    return image;
}

} // namespace vorn::art
