#pragma once

#include <QPushButton>

namespace vorn {

// A launch-profile choice: a dot, a title and a subtitle from the "profileTitle",
// "profileSubtitle" and "profileAccent" properties, and a tick when checked.
class ProfileOptionButton final : public QPushButton
{
    Q_OBJECT
public:
    explicit ProfileOptionButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vorn
