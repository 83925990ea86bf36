#pragma once

#include <QPushButton>

namespace vorn {

// Shows the code in the "selectedLanguage" property (for example RU) with a chevron.
class LanguageDropdownButton final : public QPushButton
{
    Q_OBJECT
public:
    explicit LanguageDropdownButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vorn
