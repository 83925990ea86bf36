#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>

class QMouseEvent;
class QWidget;
class QWindow;

namespace vorn {

// The edges of a window of `size` that `pos` (window coordinates) lies within `border` pixels
// of; none outside the window or when border is not positive.
[[nodiscard]] Qt::Edges frameEdgesAt(const QSize& size, const QPoint& pos, int border);

// `start` with `edges` dragged by `delta`: the opposite edges stay where they are and the size
// stays within minimum and maximum.
[[nodiscard]] QRect resizedGeometry(const QRect& start, Qt::Edges edges, const QPoint& delta,
                                    const QSize& minimum, const QSize& maximum);

// Moves and resizes a frameless top-level window the way a window manager would move a framed
// one. Widgets of the window carrying the property `windowDragArea` = true move it when dragged
// with the left button; with a positive border, pressing within that many pixels of an edge
// resizes it (not while maximized or full screen). The window system does the work where it
// can (a window manager's own move and resize, with its snapping); otherwise the window follows
// the mouse here. Owned by the window.
class WindowDragHelper final : public QObject
{
    Q_OBJECT
public:
    explicit WindowDragHelper(QWidget* window, int resizeBorder = 0);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Mode { None, Move, Resize };

    void attachToWindowHandle();
    void watchDragAreas();
    bool onWindowMouse(QMouseEvent* event);
    bool onAreaMouse(QMouseEvent* event);
    // The moves and the release of a drag in `mode`, wherever they arrive.
    bool continueDrag(Mode mode, QMouseEvent* event);
    void follow(const QPoint& globalPos);
    void showEdgeCursor(Qt::Edges edges);
    [[nodiscard]] bool resizable() const;

    QWidget* m_window;
    QPointer<QWindow> m_handle;
    int m_border;
    Mode m_mode = Mode::None;
    Qt::Edges m_edges;
    QPoint m_pressGlobal;
    QPoint m_dragOffset;
    QRect m_startGeometry;
    bool m_edgeCursorSet = false;
};

} // namespace vorn
