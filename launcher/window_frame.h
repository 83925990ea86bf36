#pragma once

class QByteArray;
class QWidget;

namespace vorn {

// Where the window system asks which part of a frameless window lies under the mouse (Windows'
// hit test), answers with the resize border of `border` pixels while the window is neither
// maximized nor full screen. True when answered; elsewhere the border is the drag helper's.
[[nodiscard]] bool answerFrameHitTest(const QByteArray& eventType, void* message, const QWidget* window,
                                      int border, long* result);

} // namespace vorn
