#pragma once

#include <QObject>
#include <QPoint>

#include <functional>
#include <memory>

class QAction;
class QByteArray;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace vorn {

class NativeTrayIcon;

// The launcher's place in the notification area: its icon, the menu (Open, Launch, Update,
// Settings, Exit) and the notification balloons. Where the platform has an icon of its own
// (Windows) that one is used and Qt's icon is the fallback; elsewhere Qt's icon is the tray.
// The entries only announce what the user chose; the window decides what follows.
class Tray final : public QObject
{
    Q_OBJECT
public:
    // `window` receives the native icon's messages (its nativeEvent passes them on).
    explicit Tray(QWidget* window, QObject* parent = nullptr);
    ~Tray() override;

    // Whether the user can find the launcher there: the native icon is in place, or Qt's icon
    // is shown in a notification area that exists. Without it, hiding the window would leave
    // a launcher nobody can reach.
    [[nodiscard]] bool isAvailable() const;
    // A balloon on the icon; the native one, else Qt's.
    void showMessage(const QString& title, const QString& text, int milliseconds);
    // The entries follow what the window's own buttons allow.
    void setActionsEnabled(bool launch, bool update);
    // Tool tip and menu in the language of the loaded catalogues.
    void retranslate();
    // Takes the icon out of the notification area (before the launcher quits).
    void remove();
    // Window messages of the native icon; true when the message was the tray's.
    bool handleNativeEvent(const QByteArray& eventType, void* message, long* result);

    [[nodiscard]] QMenu* menu() const { return m_menu.get(); }
    [[nodiscard]] QSystemTrayIcon* qtIcon() const { return m_qtIcon; }
    [[nodiscard]] QAction* openAction() const { return m_open; }
    [[nodiscard]] QAction* launchAction() const { return m_launch; }
    [[nodiscard]] QAction* updateAction() const { return m_update; }
    [[nodiscard]] QAction* settingsAction() const { return m_settings; }
    [[nodiscard]] QAction* exitAction() const { return m_exit; }

signals:
    void openRequested();
    void launchRequested();
    void updateRequested();
    void settingsRequested();
    void exitRequested();
    // A balloon was clicked.
    void messageClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addNativeIcon();
    void toggleMenu(const QPoint& at);
    void closeMenu();
    QAction* addEntry(const char* key, const char* fallback, void (Tray::*request)());

    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_qtIcon = nullptr;
    std::unique_ptr<NativeTrayIcon> m_native;
    QAction* m_open = nullptr;
    QAction* m_launch = nullptr;
    QAction* m_update = nullptr;
    QAction* m_settings = nullptr;
    QAction* m_exit = nullptr;
};

// The platform's own notification-area icon. Only Windows has one beside Qt's; elsewhere
// adding it fails and Qt's icon serves alone.
class NativeTrayIcon final
{
public:
    struct Handlers
    {
        // Right click: the menu at the cursor.
        std::function<void(const QPoint& cursor)> menu;
        // Left, double or middle click.
        std::function<void()> activate;
        std::function<void()> balloonClicked;
    };

    NativeTrayIcon(QWidget* window, Handlers handlers);
    ~NativeTrayIcon();
    NativeTrayIcon(const NativeTrayIcon&) = delete;
    NativeTrayIcon& operator=(const NativeTrayIcon&) = delete;

    [[nodiscard]] bool add(const QString& toolTip);
    [[nodiscard]] bool isShown() const;
    void setToolTip(const QString& toolTip);
    [[nodiscard]] bool showBalloon(const QString& title, const QString& text, int milliseconds);
    void remove();
    // Makes the menu's window the foreground one, so that it closes when the user clicks
    // elsewhere.
    void activateMenu(QWidget* menu);
    bool handleNativeEvent(const QByteArray& eventType, void* message, long* result);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace vorn
