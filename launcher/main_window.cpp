#include "launcher/main_window.h"

#include "config/localization.h"
#include "config/settings.h"
#include "launcher/single_instance.h"
#include "ui/main_window_view.h"

#include <QLoggingCategory>

namespace vorn {

Q_LOGGING_CATEGORY(lcWindow, "vorn.window", QtInfoMsg)

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainWindow"));
    m_view = new MainWindowView(this);
    connect(m_view, &MainWindowView::languageChosen, this, &MainWindow::retranslate);
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

void MainWindow::retranslate(const QString& language)
{
    setLanguage(language);
    (void)loadCatalogues(language, launcherFilePath(QStringLiteral("locales")));
    const QString code = currentLanguage();
    m_view->applyLanguage(code);
    setWindowTitle(translate("Main/WindowTitle", "Ostravel"));
}

bool MainWindow::nativeEvent(const QByteArray& eventType, void* message, long* result)
{
    if (answerActivationMessage(eventType, message, result)) {
        bringToFront();
        return true;
    }
    return QMainWindow::nativeEvent(eventType, message, result);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    m_view->rescaleNews(size());
}

} // namespace vorn
