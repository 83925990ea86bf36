#include "ui/launcher_backdrop.h"

#include "ui/painting.h"
#include "ui/style.h"

#include <QLinearGradient>
#include <QPainter>

namespace vorn {

LauncherBackdrop::LauncherBackdrop(const QPixmap& image, QWidget* parent)
    : QWidget(parent), m_image(image)
{
}

void LauncherBackdrop::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (m_image.isNull())
        painter.fillRect(rect(), style::color(style::kBackdropEmpty));
    else {
        const qreal ratio = devicePixelRatioF();
        if (m_scaled.size() != (QSizeF(size()) * ratio).toSize()
            || !qFuzzyCompare(m_scaled.devicePixelRatioF(), ratio))
            m_scaled = painting::coveringPixmap(m_image, size(), ratio);
        painter.drawPixmap(0, 0, m_scaled);
    }

    QLinearGradient shade(0, 0, width(), 0);
    shade.setColorAt(0, style::color(style::kBackdropShadeLeft));
    shade.setColorAt(0.62, style::color(style::kBackdropShadeMiddle));
    shade.setColorAt(1, style::color(style::kBackdropShadeRight));
    painter.fillRect(rect(), shade);

    painter.setPen(QPen(style::color(style::kBackdropFrame), 1, Qt::SolidLine, Qt::SquareCap,
                        Qt::BevelJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace vorn
