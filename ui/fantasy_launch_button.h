#pragma once

#include <QPixmap>
#include <QPushButton>

namespace vorn {

// The big PLAY button: a framed gold plate stretched as a nine-patch, with engraved text.
class FantasyLaunchButton final : public QPushButton
{
    Q_OBJECT
public:
    FantasyLaunchButton(const QPixmap& normal, const QPixmap& active, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_normal;
    QPixmap m_active;
};

} // namespace vorn
