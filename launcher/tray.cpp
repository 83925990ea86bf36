#include "launcher/tray.h"

#include "config/localization.h"
#include "ui/images.h"
#include "ui/relabel.h"
#include "ui/style.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace vorn {

namespace {

// Windows adds its notification area late after a sign-in; one more try catches that.
constexpr int kNativeRetryMs = 1500;

QString toolTipText()
{
    return translate("Tray/Tooltip", "Ostravel");
}

} // namespace

Tray::Tray(QWidget* window, QObject* parent)
    : QObject(parent)
    , m_menu(std::make_unique<QMenu>())
{
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    // Without a parent the menu would not see the window's style sheet. Entries the window
    // does not allow right now (Launch during an update) must look unavailable.
    m_menu->setStyleSheet(QLatin1String(style::kMainWindowStyleSheet)
                          + QLatin1String("QMenu::item:disabled{color:#5d636b;}"));
    m_open = addEntry("Tray/Open", "Open", &Tray::openRequested);
    m_launch = addEntry("Tray/Launch", "Launch", &Tray::launchRequested);
    m_update = addEntry("Tray/Update", "Update", &Tray::updateRequested);
    m_settings = addEntry("Tray/Settings", "Settings", &Tray::settingsRequested);
    m_menu->addSeparator();
    m_exit = addEntry("Tray/Exit", "Exit", &Tray::exitRequested);

    m_qtIcon = new QSystemTrayIcon(QIcon(assetPath("launcher-icon.ico")), this);
    m_qtIcon->setToolTip(toolTipText());
    connect(m_qtIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        switch (reason) {
        case QSystemTrayIcon::Context: {
            // Where the click was, not where the cursor is once the menu comes up.
            const QPoint at = QCursor::pos();
            if (m_menu->isVisible())
                closeMenu();
            else
                QTimer::singleShot(0, this, [this, at] { toggleMenu(at); });
            return;
        }
        case QSystemTrayIcon::DoubleClick:
        case QSystemTrayIcon::Trigger:
        case QSystemTrayIcon::MiddleClick:
            closeMenu();
            emit openRequested();
            return;
        case QSystemTrayIcon::Unknown:
            return;
        }
    });
    connect(m_qtIcon, &QSystemTrayIcon::messageClicked, this, &Tray::messageClicked);
    qApp->installEventFilter(this);

    NativeTrayIcon::Handlers handlers;
    handlers.menu = [this](const QPoint& cursor) { toggleMenu(cursor); };
    handlers.activate = [this] {
        closeMenu();
        emit openRequested();
    };
    handlers.balloonClicked = [this] { emit messageClicked(); };
    m_native = std::make_unique<NativeTrayIcon>(window, std::move(handlers));
    addNativeIcon();
}

Tray::~Tray() = default;

QAction* Tray::addEntry(const char* key, const char* fallback, void (Tray::*request)())
{
    QAction* action = m_menu->addAction(translate(key, fallback));
    bindLocale(action, key, fallback);
    connect(action, &QAction::triggered, this, [this, request] {
        closeMenu();
        emit(this->*request)();
    });
    return action;
}

void Tray::addNativeIcon()
{
    if (m_native->add(toolTipText()))
        return;
    m_qtIcon->show();
    QTimer::singleShot(kNativeRetryMs, this, [this] {
        if (!m_native->isShown() && m_native->add(toolTipText()))
            m_qtIcon->hide();
    });
}

bool Tray::isAvailable() const
{
    return m_native->isShown() || (m_qtIcon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable());
}

void Tray::showMessage(const QString& title, const QString& text, int milliseconds)
{
    if (m_native->isShown() && m_native->showBalloon(title, text, milliseconds))
        return;
    m_qtIcon->show();
    m_qtIcon->showMessage(title, text, QSystemTrayIcon::Information, milliseconds);
}

void Tray::setActionsEnabled(bool launch, bool update)
{
    m_launch->setEnabled(launch);
    m_update->setEnabled(update);
}

void Tray::retranslate()
{
    relabelWidgetTree(m_menu.get(), currentLanguage());
    m_qtIcon->setToolTip(toolTipText());
    m_native->setToolTip(toolTipText());
}

void Tray::remove()
{
    closeMenu();
    m_native->remove();
    m_qtIcon->hide();
}

bool Tray::handleNativeEvent(const QByteArray& eventType, void* message, long* result)
{
    return m_native->handleNativeEvent(eventType, message, result);
}

void Tray::toggleMenu(const QPoint& at)
{
    if (m_menu->isVisible()) {
        closeMenu();
        return;
    }
    m_menu->popup(at);
    m_menu->raise();
    m_menu->activateWindow();
    m_native->activateMenu(m_menu.get());
}

void Tray::closeMenu()
{
    if (m_menu->isVisible())
        m_menu->close();
}

bool Tray::eventFilter(QObject* watched, QEvent* event)
{
    // A menu left open while the user works elsewhere would float over their windows.
    if (event->type() == QEvent::ApplicationDeactivate && watched == qApp)
        closeMenu();
    return QObject::eventFilter(watched, event);
}

} // namespace vorn
