#pragma once

#include <QLabel>

namespace vorn {

// The cover image of the current news entry, cropped to fill and shaded from the left.
class NewsCoverLabel final : public QLabel
{
    Q_OBJECT
public:
    explicit NewsCoverLabel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vorn
