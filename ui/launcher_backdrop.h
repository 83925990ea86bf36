#pragma once

#include <QPixmap>
#include <QWidget>

namespace vorn {

// The window's painted background: the hero artwork cropped to fill, a shade and a gold frame.
class LauncherBackdrop final : public QWidget
{
    Q_OBJECT
public:
    explicit LauncherBackdrop(const QPixmap& image, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_image;
    QPixmap m_scaled; // the image cut to the current size and pixel ratio, rebuilt when either changes
};

} // namespace vorn
