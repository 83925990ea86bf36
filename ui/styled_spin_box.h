#pragma once

#include <QSpinBox>

namespace vorn {

// A spin box whose up and down arrows are painted chevrons that light up under the mouse.
class StyledSpinBox final : public QSpinBox
{
    Q_OBJECT
public:
    explicit StyledSpinBox(QWidget* parent = nullptr);

    [[nodiscard]] QPoint lastMousePosition() const { return m_mouse; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPoint m_mouse{-1, -1};
};

} // namespace vorn
