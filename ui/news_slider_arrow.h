#pragma once

#include <QPushButton>

namespace vorn {

// The previous (direction false) and next (true) arrows beside the news list.
class NewsSliderArrow final : public QPushButton
{
    Q_OBJECT
public:
    explicit NewsSliderArrow(bool next, QWidget* parent = nullptr);

    [[nodiscard]] bool isNext() const { return m_next; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_next;
};

} // namespace vorn
