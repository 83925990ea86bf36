#pragma once

#include <QCheckBox>

namespace vorn {

// A check box with a painted gold indicator.
class StyledCheckBox final : public QCheckBox
{
    Q_OBJECT
public:
    explicit StyledCheckBox(const QString& text, QWidget* parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

} // namespace vorn
