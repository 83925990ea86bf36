#include "launcher/window_frame.h"

#include "ui/window_drag.h"

#include <QByteArray>
#include <QWidget>

#include <windows.h>

#include <cmath>

namespace vorn {

bool answerFrameHitTest(const QByteArray& eventType, void* message, const QWidget* window, int border,
                        long* result)
{
    if (eventType != "windows_generic_MSG" || !message || !window)
        return false;
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != WM_NCHITTEST || window->isMaximized() || window->isFullScreen())
        return false;
    RECT frame;
    if (!GetWindowRect(msg->hwnd, &frame))
        return false;
    // Screen coordinates in device pixels, signed: a second monitor may lie left of the first.
    const QPoint screen(short(LOWORD(msg->lParam)), short(HIWORD(msg->lParam)));
    const QPoint local(screen.x() - frame.left, screen.y() - frame.top);
    const QSize size(frame.right - frame.left, frame.bottom - frame.top);
    const int scaledBorder = int(std::lround(border * window->devicePixelRatioF()));
    const Qt::Edges edges = frameEdgesAt(size, local, scaledBorder);
    long code = 0;
    if (edges == (Qt::LeftEdge | Qt::TopEdge))
        code = HTTOPLEFT;
    else if (edges == (Qt::RightEdge | Qt::TopEdge))
        code = HTTOPRIGHT;
    else if (edges == (Qt::LeftEdge | Qt::BottomEdge))
        code = HTBOTTOMLEFT;
    else if (edges == (Qt::RightEdge | Qt::BottomEdge))
        code = HTBOTTOMRIGHT;
    else if (edges == Qt::LeftEdge)
        code = HTLEFT;
    else if (edges == Qt::RightEdge)
        code = HTRIGHT;
    else if (edges == Qt::TopEdge)
        code = HTTOP;
    else if (edges == Qt::BottomEdge)
        code = HTBOTTOM;
    else
        return false;
    if (result)
        *result = code;
    return true;
}

} // namespace vorn
