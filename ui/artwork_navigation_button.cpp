#include "ui/artwork_navigation_button.h"

#include "ui/painting.h"
#include "ui/style.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace vorn {

ArtworkNavigationButton::ArtworkNavigationButton(const QPixmap& artwork, const QPixmap& captionRu,
                                                 const QPixmap& captionEn, QWidget* parent)
    : QPushButton(parent), m_artwork(artwork), m_captionRu(captionRu), m_captionEn(captionEn)
{
    setAttribute(Qt::WA_Hover);
}

bool ArtworkNavigationButton::showsRussianCaption() const
{
    const QString label = text();
    return std::any_of(label.begin(), label.end(), [](QChar c) {
        return c.unicode() >= 0x0400 && c.unicode() <= 0x04FF;
    });
}

void ArtworkNavigationButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const bool hovered = underMouse();
    const QRect r = rect().adjusted(1, 1, -1, -1);

    QPainterPath clip;
    clip.addRoundedRect(QRectF(r), 6, 6);
    painter.save();
    painter.setClipPath(clip);
    if (m_artwork.isNull())
        painter.fillRect(r, style::color(style::kArtworkEmpty));
    else
        painting::drawCovering(painter, r, m_artwork);
    QLinearGradient shade(r.topLeft(), r.bottomLeft());
    shade.setColorAt(0, QColor(1, 5, 8, 12));
    shade.setColorAt(0.52, QColor(2, 6, 9, 24));
    shade.setColorAt(0.74, QColor(1, 4, 7, 132));
    shade.setColorAt(1, QColor(1, 3, 5, 224));
    painter.fillRect(r, shade);
    if (hovered)
        painter.fillRect(r, style::color(style::kArtworkHoverWash));
    painter.restore();

    const QPixmap& caption = showsRussianCaption() ? m_captionRu : m_captionEn;
    if (!caption.isNull())
        painter.drawPixmap(r, caption);

    painter.setPen(QPen(style::color(hovered ? style::kArtworkFrameHover : style::kArtworkFrame),
                        hovered ? 1.4 : 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
}

} // namespace vorn
