#include "ui/news_card_delegate.h"

#include "config/localization.h"
#include "ui/style.h"

#include <QAbstractItemView>
#include <QIcon>
#include <QLinearGradient>
#include <QListView>
#include <QPainter>
#include <QVariant>
#include <QPainterPath>
#include <QTextDocumentFragment>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace vorn {

namespace {

constexpr int kLinkRole = Qt::UserRole + 1;
constexpr int kTitleRole = Qt::UserRole + 3;
constexpr int kDateRole = Qt::UserRole + 4;
constexpr int kDescriptionRole = Qt::UserRole + 5;

int scaled(int n, double s)
{
    return static_cast<int>(std::lround(n * s));
}

// Word-wrapped text in rect; the last line that fits takes the rest of the text, elided.
void drawWrappedElided(QPainter& painter, const QRect& rect, const QString& text, const QFont& font)
{
    QTextLayout layout(text, font, painter.device());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    const QFontMetricsF metrics(font, painter.device());
    const double lineHeight = metrics.height();
    const int fitting = std::max(0, static_cast<int>(std::floor(rect.height() / lineHeight)));
    layout.beginLayout();
    double y = 0;
    for (int lineIndex = 0; lineIndex < fitting; ++lineIndex) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(rect.width());
        const bool last = lineIndex == fitting - 1;
        const bool more = line.textStart() + line.textLength() < text.size();
        if (last && more) {
            const QString rest = text.mid(line.textStart());
            const QString elided = metrics.elidedText(rest, Qt::ElideRight, rect.width());
            painter.drawText(QPointF(rect.left(), rect.top() + y + metrics.ascent()), elided);
            break;
        }
        line.draw(&painter, QPointF(rect.left(), rect.top() + y));
        y += lineHeight;
    }
    layout.endLayout();
}

} // namespace

double newsCardScale(const QVariant& property)
{
    double s = property.toDouble();
    if (!(s > 0.0)) // also catches NaN
        s = 1.0;
    return std::clamp(s, 1.0, style::kNewsScaleMax);
}

QSize newsCardSizeHint(const QSize& gridSize, int viewportWidth)
{
    if (gridSize.width() > 0 && gridSize.height() > 0)
        return gridSize;
    return {std::max(style::kNewsCardMinWidth, viewportWidth - 1), style::kNewsCardHeight};
}

QRect newsCardImageBox(const QRect& r, double s)
{
    const int height = std::min(scaled(156, s), r.height() - scaled(12, s));
    int width = std::max(static_cast<int>(std::lround(r.width() * 0.46)), scaled(210, s));
    width = std::min(width, scaled(260, s));
    return {r.left() + scaled(6, s), r.top() + (r.height() - height) / 2, width, height};
}

QSize newsCardLargestImageSize()
{
    // newsCardImageBox is bounded by 260·s × 156·s whatever the card's size.
    return {scaled(260, style::kNewsScaleMax), scaled(156, style::kNewsScaleMax)};
}

NewsCardDelegate::NewsCardDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QSize NewsCardDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const auto* list = qobject_cast<const QListView*>(option.widget);
    if (!list)
        return newsCardSizeHint(QSize(), style::kNewsCardMinWidth + 1);
    return newsCardSizeHint(list->gridSize(), list->viewport()->width());
}

void NewsCardDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const
{
    // Rows added since the last layout arrive with an empty rectangle; a card drawn at its
    // minimum size there would stay on screen under the laid-out one.
    if (option.rect.width() <= 6 || option.rect.height() <= 6)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect r = option.rect.adjusted(3, 3, -3, -3);
    const double s = newsCardScale(option.widget ? option.widget->property("newsScale") : QVariant());
    const bool selected = option.state.testFlag(QStyle::State_Selected);

    QLinearGradient card(r.topLeft(), r.bottomLeft());
    card.setColorAt(0, style::color(selected ? style::kCardTopSelected : style::kCardTop));
    card.setColorAt(1, style::color(style::kCardBottom));
    painter->setPen(QPen(style::color(selected ? style::kCardOutlineSelected : style::kCardOutline),
                         1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter->setBrush(card);
    painter->drawRoundedRect(QRectF(r), 5, 5);

    const QRect box = newsCardImageBox(r, s);
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    const QPixmap source = icon.isNull() ? QPixmap() : icon.pixmap(icon.actualSize(QSize(2048, 2048)));
    if (!source.isNull()) {
        const QPixmap cover = source.scaled(box.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QRect coverRect(QPoint(), cover.size());
        coverRect.moveCenter(box.center());
        painter->save();
        QPainterPath clip;
        clip.addRoundedRect(QRectF(box), 3, 3);
        painter->setClipPath(clip);
        painter->drawPixmap(coverRect.topLeft(), cover);
        QLinearGradient shade(coverRect.topLeft(), coverRect.topRight());
        shade.setColorAt(0.45, Qt::transparent);
        shade.setColorAt(1, style::color(style::kCardImageShade));
        painter->fillRect(coverRect, shade);
        painter->restore();
    }

    const int x = box.right() + scaled(17, s);
    const int columnWidth = std::max(60, r.right() - scaled(16, s) - x);

    QFont small = option.font;
    small.setPixelSize(scaled(10, s));
    small.setWeight(QFont::Bold);
    painter->setFont(small);
    painter->setPen(style::color(style::kCardCategory));
    const QRect categoryRow(x, r.top() + scaled(15, s), columnWidth, scaled(14, s));
    painter->drawText(categoryRow, Qt::AlignLeft | Qt::AlignVCenter,
                      translate("Main/NewsCategory", "NEWS"));
    small.setWeight(QFont::Normal);
    painter->setFont(small);
    painter->setPen(style::color(style::kCardDate));
    painter->drawText(categoryRow, Qt::AlignRight | Qt::AlignVCenter,
                      index.data(kDateRole).toString());

    QFont titleFont;
    titleFont.setPixelSize(scaled(20, s));
    titleFont.setWeight(63);
    painter->setFont(titleFont);
    const QString title = QFontMetrics(titleFont).elidedText(index.data(kTitleRole).toString(),
                                                             Qt::ElideRight, columnWidth);
    painter->setPen(style::color(style::kCardTitleShadow));
    painter->drawText(QRect(x + 1, r.top() + scaled(43, s), columnWidth, scaled(25, s)),
                      Qt::AlignLeft | Qt::AlignVCenter, title);
    painter->setPen(style::color(style::kCardTitle));
    painter->drawText(QRect(x, r.top() + scaled(42, s), columnWidth, scaled(25, s)),
                      Qt::AlignLeft | Qt::AlignVCenter, title);

    QFont body = option.font;
    body.setPixelSize(scaled(12, s));
    painter->setFont(body);
    painter->setPen(style::color(style::kCardDescription));
    const QString description =
        QTextDocumentFragment::fromHtml(index.data(kDescriptionRole).toString())
            .toPlainText()
            .trimmed()
            .simplified();
    const int descriptionTop = r.top() + scaled(77, s);
    // In a card squeezed below its usual height the text still stops above the details link.
    const int descriptionHeight =
        std::min(std::max(scaled(52, s), r.bottom() - scaled(28, s) - scaled(6, s) - descriptionTop),
                 r.bottom() - scaled(28, s) - descriptionTop);
    drawWrappedElided(*painter, QRect(x, descriptionTop, columnWidth, descriptionHeight),
                      description, body);

    // A card that explains missing news without a page to show leads nowhere.
    if (index.data(kLinkRole).toString().isEmpty()) {
        painter->restore();
        return;
    }
    QFont details = option.font;
    details.setPixelSize(scaled(10, s));
    details.setWeight(QFont::Bold);
    painter->setFont(details);
    painter->setPen(style::color(selected ? style::kCardDetailsSelected : style::kCardDetails));
    painter->drawText(QRect(x, r.bottom() - scaled(28, s), columnWidth, scaled(16, s)),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      translate("Main/Details", "DETAILS") + QStringLiteral("  \u203A"));
    painter->restore();
}

} // namespace vorn
