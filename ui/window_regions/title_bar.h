#pragma once

class QMainWindow;
class QMenu;
class QPushButton;
class QWidget;

namespace vorn {

class LanguageDropdownButton;
class WindowControlButton;

// The title bar: the brand (the site's link), the community links, the language menu and the
// window's own minimize and close buttons. It is the window's drag area.
struct TitleBarRegion
{
    QWidget* titleBar = nullptr;
    QPushButton* headerLogo = nullptr;
    QPushButton* brandWordmark = nullptr;
    QPushButton* discordButton = nullptr;
    QPushButton* telegramButton = nullptr;
    LanguageDropdownButton* languageButton = nullptr;
    QMenu* languageMenu = nullptr;
    WindowControlButton* minimizeButton = nullptr;
    WindowControlButton* closeButton = nullptr;

    // The window buttons act on window itself; the rest are heard through the view's signals.
    void buildTitleBar(QMainWindow* window, QWidget* parent);
};

} // namespace vorn
