#pragma once

#include <QProgressBar>
#include <QRectF>

#include <optional>

namespace vorn {

// The filled share of the bar: (value − minimum) / (maximum − minimum) clamped to 0…1, and 0
// for a range narrower than 1.
[[nodiscard]] double progressFraction(int minimum, int maximum, int value);

// The gold fill inside a bar of widgetRect, or nothing when there is nothing to fill.
[[nodiscard]] std::optional<QRectF> progressFillRect(const QRectF& widgetRect, double fraction);

// The download bar: a dark rounded track and a molten-gold fill with a glowing head.
class FantasyProgressBar final : public QProgressBar
{
    Q_OBJECT
public:
    explicit FantasyProgressBar(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vorn
