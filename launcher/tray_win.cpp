#include "launcher/tray.h"

#include <QByteArray>
#include <QCursor>
#include <QString>
#include <QWidget>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <iterator>

namespace vorn {

namespace {

constexpr UINT kTrayCallbackMessage = 0x84B7;
constexpr UINT kTrayIconId = 1;
constexpr WORD kIconResource = 101;
constexpr UINT kBalloonUserClick = 0x405; // NIN_BALLOONUSERCLICK
constexpr int kMinimumBalloonMs = 1000;

// The shell's fixed text fields; longer texts are cut, always terminated.
template <size_t N>
void copyText(wchar_t (&target)[N], const QString& text)
{
    const int count = int(std::min<size_t>(N - 1, size_t(text.size())));
    const int written = text.left(count).toWCharArray(target);
    target[std::max(0, written)] = L'\0';
}

} // namespace

struct NativeTrayIcon::Impl
{
    QWidget* window = nullptr;
    Handlers handlers;
    bool shown = false;

    NOTIFYICONDATAW base() const
    {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof(NOTIFYICONDATAW);
        data.hWnd = reinterpret_cast<HWND>(window->winId());
        data.uID = kTrayIconId;
        return data;
    }
};

NativeTrayIcon::NativeTrayIcon(QWidget* window, Handlers handlers)
    : d(std::make_unique<Impl>())
{
    d->window = window;
    d->handlers = std::move(handlers);
}

NativeTrayIcon::~NativeTrayIcon()
{
    remove();
}

bool NativeTrayIcon::add(const QString& toolTip)
{
    if (d->shown)
        return true;
    NOTIFYICONDATAW data = d->base();
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResource),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    if (!data.hIcon)
        return false;
    copyText(data.szTip, toolTip);
    d->shown = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    // The shell keeps its own copy of the icon.
    DestroyIcon(data.hIcon);
    return d->shown;
}

bool NativeTrayIcon::isShown() const
{
    return d->shown;
}

void NativeTrayIcon::setToolTip(const QString& toolTip)
{
    if (!d->shown)
        return;
    NOTIFYICONDATAW data = d->base();
    data.uFlags = NIF_TIP;
    copyText(data.szTip, toolTip);
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

bool NativeTrayIcon::showBalloon(const QString& title, const QString& text, int milliseconds)
{
    if (!d->shown)
        return false;
    NOTIFYICONDATAW data = d->base();
    data.uFlags = NIF_INFO;
    copyText(data.szInfoTitle, title);
    copyText(data.szInfo, text);
    data.dwInfoFlags = NIIF_INFO;
    data.uTimeout = UINT(std::max(kMinimumBalloonMs, milliseconds));
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

void NativeTrayIcon::remove()
{
    if (!d->shown)
        return;
    NOTIFYICONDATAW data = d->base();
    Shell_NotifyIconW(NIM_DELETE, &data);
    d->shown = false;
}

void NativeTrayIcon::activateMenu(QWidget* menu)
{
    // Otherwise the shell does not close the menu when the user clicks elsewhere.
    SetForegroundWindow(reinterpret_cast<HWND>(menu->winId()));
}

bool NativeTrayIcon::handleNativeEvent(const QByteArray& eventType, void* message, long* result)
{
    if (eventType != "windows_generic_MSG" || !message)
        return false;
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != kTrayCallbackMessage)
        return false;
    switch (LOWORD(msg->lParam)) {
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
        if (d->handlers.menu)
            d->handlers.menu(QCursor::pos());
        break;
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_MBUTTONUP:
        if (d->handlers.activate)
            d->handlers.activate();
        break;
    case kBalloonUserClick:
        if (d->handlers.balloonClicked)
            d->handlers.balloonClicked();
        break;
    default:
        break;
    }
    if (result)
        *result = 0;
    return true;
}

} // namespace vorn
