#pragma once

#include <QComboBox>

namespace vorn {

// A combo box whose drop-down arrow is a painted chevron that lights up under the mouse.
class StyledComboBox final : public QComboBox
{
    Q_OBJECT
public:
    explicit StyledComboBox(QWidget* parent = nullptr);

    [[nodiscard]] QPoint lastMousePosition() const { return m_mouse; }
    [[nodiscard]] QRect arrowArea() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPoint m_mouse{-1, -1};
};

} // namespace vorn
