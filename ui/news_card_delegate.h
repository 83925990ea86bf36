#pragma once

#include <QStyledItemDelegate>

namespace vorn {

// The list's "newsScale" property as used for painting: 0 or less counts as 1, then 1.0…1.5.
[[nodiscard]] double newsCardScale(const QVariant& property);

// The grid size when it is set in both directions, else (max(300, viewport width − 1), 200).
[[nodiscard]] QSize newsCardSizeHint(const QSize& gridSize, int viewportWidth);

// The cover box inside a card of rect r (already inset) at scale s.
[[nodiscard]] QRect newsCardImageBox(const QRect& r, double s);

// The largest cover box of any card: a cover is never shown larger than this.
[[nodiscard]] QSize newsCardLargestImageSize();

// One news card: cover on the left, category, date, title, description and a details link.
class NewsCardDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit NewsCardDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const override;
};

} // namespace vorn
