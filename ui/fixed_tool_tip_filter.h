#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class QLabel;
class QRect;
class QSize;
class QWidget;

namespace vorn {

// Where a tip of tipSize goes for a widget at anchor (global): above it, kept 4 px inside the
// available area horizontally, and below it when there is no room above.
[[nodiscard]] QPoint fixedToolTipPosition(const QRect& anchor, const QSize& tipSize,
                                          const QRect& available);

// Replaces Qt's tool-tip window with one label placed predictably over the widget.
// Installed on the application.
class FixedToolTipFilter final : public QObject
{
    Q_OBJECT
public:
    explicit FixedToolTipFilter(QObject* parent = nullptr);
    ~FixedToolTipFilter() override;

    [[nodiscard]] QLabel* tipLabel() const { return m_tip.get(); }
    [[nodiscard]] QWidget* shownFor() const { return m_widget; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showFor(QWidget* widget);
    void hideTip();

    QPointer<QWidget> m_widget;
    std::unique_ptr<QLabel> m_tip;
};

} // namespace vorn
