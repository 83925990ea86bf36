#pragma once

#include <QPushButton>

namespace vorn {

// The cross of a dialog's title bar, with a red plate under the mouse.
class DialogCloseButton final : public QPushButton
{
    Q_OBJECT
public:
    explicit DialogCloseButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vorn
