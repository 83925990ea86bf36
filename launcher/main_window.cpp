#include "launcher/main_window.h"

#include "config/localization.h"
#include "launcher/single_instance.h"

#include <QLoggingCategory>
#include <QPalette>

namespace vorn {

Q_LOGGING_CATEGORY(lcWindow, "vorn.window")

namespace {
constexpr int kWindowWidth = 1060;
constexpr int kWindowHeight = 620;
} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(translate("Main/WindowTitle", "Ostravel"));
    setMinimumSize(kWindowWidth, kWindowHeight);
    resize(kWindowWidth, kWindowHeight);
    setAutoFillBackground(true);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, QColor(0x0a, 0x10, 0x17));
    setPalette(dark);
}

MainWindow::~MainWindow() = default;

void MainWindow::bringToFront()
{
    qCDebug(lcWindow) << "bringing the window to the front";
    show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showNormal();
    raise();
    activateWindow();
    bringNativeWindowToFront(this);
}

bool MainWindow::nativeEvent(const QByteArray& eventType, void* message, long* result)
{
    if (answerActivationMessage(eventType, message, result)) {
        bringToFront();
        return true;
    }
    return QWidget::nativeEvent(eventType, message, result);
}

} // namespace vorn
