#include "ui/news_cover_label.h"

#include "ui/painting.h"
#include "ui/style.h"

#include <QLinearGradient>
#include <QPainter>

namespace vorn {

NewsCoverLabel::NewsCoverLabel(QWidget* parent) : QLabel(parent) {}

void NewsCoverLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.fillRect(rect(), style::color(style::kCoverEmpty));
    const QPixmap cover = pixmap(Qt::ReturnByValue);
    if (!cover.isNull())
        painting::drawCovering(painter, rect(), cover);
    QLinearGradient shade(0, 0, 0.32 * width(), 0);
    shade.setColorAt(0, style::color(style::kCoverShade));
    shade.setColorAt(1, QColor(4, 10, 15, 0));
    painter.fillRect(rect(), shade);
    painter.setPen(QPen(style::color(style::kCoverLine), 1, Qt::SolidLine, Qt::SquareCap,
                        Qt::BevelJoin));
    painter.drawLine(0, 0, 0, height());
}

} // namespace vorn
