#pragma once

#include <QPushButton>

namespace vorn {

enum class WindowControlKind { Minimize = 0, Close = 1 };

// Minimise and close buttons of the window's title bar.
class WindowControlButton final : public QPushButton
{
    Q_OBJECT
public:
    explicit WindowControlButton(WindowControlKind kind, QWidget* parent = nullptr);

    [[nodiscard]] WindowControlKind kind() const { return m_kind; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    WindowControlKind m_kind;
};

} // namespace vorn
