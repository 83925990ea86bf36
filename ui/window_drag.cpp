#include "ui/window_drag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace vorn {

namespace {

bool isMouseEvent(const QEvent* event)
{
    const QEvent::Type type = event->type();
    return type == QEvent::MouseButtonPress || type == QEvent::MouseMove
           || type == QEvent::MouseButtonRelease;
}

Qt::CursorShape cursorFor(Qt::Edges edges)
{
    const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
    const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
    if (horizontal && vertical) {
        const bool falling = edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge);
        return falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor;
    }
    return horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor;
}

} // namespace

Qt::Edges frameEdgesAt(const QSize& size, const QPoint& pos, int border)
{
    Qt::Edges edges;
    if (border <= 0 || !QRect(QPoint(0, 0), size).contains(pos))
        return edges;
    if (pos.x() < border)
        edges |= Qt::LeftEdge;
    else if (pos.x() >= size.width() - border)
        edges |= Qt::RightEdge;
    if (pos.y() < border)
        edges |= Qt::TopEdge;
    else if (pos.y() >= size.height() - border)
        edges |= Qt::BottomEdge;
    return edges;
}

QRect resizedGeometry(const QRect& start, Qt::Edges edges, const QPoint& delta, const QSize& minimum,
                      const QSize& maximum)
{
    QRect result = start;
    const int minWidth = std::max(1, minimum.width());
    const int minHeight = std::max(1, minimum.height());
    const int maxWidth = std::max(minWidth, maximum.width());
    const int maxHeight = std::max(minHeight, maximum.height());
    if (edges & Qt::LeftEdge)
        result.setLeft(std::clamp(start.left() + delta.x(), start.right() + 1 - maxWidth,
                                  start.right() + 1 - minWidth));
    else if (edges & Qt::RightEdge)
        result.setWidth(std::clamp(start.width() + delta.x(), minWidth, maxWidth));
    if (edges & Qt::TopEdge)
        result.setTop(std::clamp(start.top() + delta.y(), start.bottom() + 1 - maxHeight,
                                 start.bottom() + 1 - minHeight));
    else if (edges & Qt::BottomEdge)
        result.setHeight(std::clamp(start.height() + delta.y(), minHeight, maxHeight));
    return result;
}

WindowDragHelper::WindowDragHelper(QWidget* window, int resizeBorder)
    : QObject(window)
    , m_window(window)
    , m_border(resizeBorder)
{
    window->installEventFilter(this);
    attachToWindowHandle();
    watchDragAreas();
}

void WindowDragHelper::attachToWindowHandle()
{
    QWindow* handle = m_window->windowHandle();
    if (!handle || handle == m_handle)
        return;
    if (m_handle)
        m_handle->removeEventFilter(this);
    m_handle = handle;
    // The native window sees every press before any widget does, also over children that
    // would take it (a button next to the edge), and in window coordinates.
    m_handle->installEventFilter(this);
}

void WindowDragHelper::watchDragAreas()
{
    QList<QWidget*> widgets = m_window->findChildren<QWidget*>();
    widgets.prepend(m_window);
    for (QWidget* widget : qAsConst(widgets)) {
        if (widget->property("windowDragArea").toBool())
            widget->installEventFilter(this);
    }
}

bool WindowDragHelper::resizable() const
{
    return m_border > 0 && !(m_window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
           && m_window->minimumSize() != m_window->maximumSize();
}

bool WindowDragHelper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && (event->type() == QEvent::Show || event->type() == QEvent::WinIdChange)) {
        attachToWindowHandle();
        watchDragAreas();
    }
    if (!isMouseEvent(event))
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (m_handle && watched == m_handle)
        return onWindowMouse(mouse);
    if (watched->isWidgetType() && watched->property("windowDragArea").toBool()
        && static_cast<QWidget*>(watched)->window() == m_window)
        return onAreaMouse(mouse);
    return false;
}

bool WindowDragHelper::onWindowMouse(QMouseEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        if (event->button() != Qt::LeftButton || m_mode != Mode::None || !resizable())
            return false;
        const Qt::Edges edges = frameEdgesAt(m_window->size(), event->pos(), m_border);
        if (!edges)
            return false;
        if (!m_handle->startSystemResize(edges)) {
            m_mode = Mode::Resize;
            m_edges = edges;
            m_pressGlobal = event->globalPos();
            m_startGeometry = m_window->geometry();
        }
        return true;
    }
    if (continueDrag(Mode::Resize, event))
        return true;
    if (event->type() == QEvent::MouseMove && m_mode == Mode::None && event->buttons() == Qt::NoButton
        && resizable())
        showEdgeCursor(frameEdgesAt(m_window->size(), event->pos(), m_border));
    return false;
}

bool WindowDragHelper::onAreaMouse(QMouseEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        if (event->button() != Qt::LeftButton || m_mode != Mode::None)
            return false;
        if (!m_handle || !m_handle->startSystemMove()) {
            m_mode = Mode::Move;
            m_dragOffset = event->globalPos() - m_window->frameGeometry().topLeft();
        }
        return true;
    }
    return continueDrag(Mode::Move, event);
}

bool WindowDragHelper::continueDrag(Mode mode, QMouseEvent* event)
{
    if (m_mode != mode)
        return false;
    if (event->type() == QEvent::MouseMove) {
        follow(event->globalPos());
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease && event->button() == Qt::LeftButton) {
        m_mode = Mode::None;
        return true;
    }
    return false;
}

void WindowDragHelper::follow(const QPoint& globalPos)
{
    if (m_mode == Mode::Move)
        m_window->move(globalPos - m_dragOffset);
    else if (m_mode == Mode::Resize)
        m_window->setGeometry(resizedGeometry(m_startGeometry, m_edges, globalPos - m_pressGlobal,
                                              m_window->minimumSize(), m_window->maximumSize()));
}

void WindowDragHelper::showEdgeCursor(Qt::Edges edges)
{
    if (edges) {
        m_window->setCursor(cursorFor(edges));
        m_edgeCursorSet = true;
    } else if (m_edgeCursorSet) {
        m_window->unsetCursor();
        m_edgeCursorSet = false;
    }
}

} // namespace vorn
