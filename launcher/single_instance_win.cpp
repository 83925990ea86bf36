#include "launcher/single_instance.h"

#include <QByteArray>
#include <QWidget>

#include <windows.h>

namespace vorn {

namespace {

const wchar_t kMutexName[] = L"Local\\VORN_Launcher_Single_Instance_v1";
// The running window carries this title (the default of Main/WindowTitle).
const wchar_t kWindowTitle[] = L"Ostravel";

} // namespace

struct InstanceLock::Impl
{
    HANDLE mutex = nullptr;
    bool first = true;
};

InstanceLock::InstanceLock()
    : d(std::make_unique<Impl>())
{
    d->mutex = CreateMutexW(nullptr, FALSE, kMutexName);
    // A failed creation counts as the first instance: better two launchers than none.
    d->first = !(d->mutex && GetLastError() == ERROR_ALREADY_EXISTS);
}

InstanceLock::~InstanceLock()
{
    if (d->mutex)
        CloseHandle(d->mutex);
}

bool InstanceLock::isFirstInstance() const
{
    return d->first;
}

void handOverToRunningInstance()
{
    HWND window = FindWindowW(nullptr, kWindowTitle);
    if (!window)
        return;
    DWORD_PTR answer = 0;
    const LRESULT sent = SendMessageTimeoutW(window, kActivationRequest, 0, 0, SMTO_ABORTIFHUNG,
                                             kActivationTimeoutMs, &answer);
    if (sent != 0 && answer == kActivationAcknowledge)
        return;
    ShowWindow(window, SW_SHOW);
    ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

// Windows delivers the request to the window itself (answerActivationMessage).
struct ActivationListener::Impl
{
};

ActivationListener::ActivationListener(QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Impl>())
{
}

ActivationListener::~ActivationListener() = default;

bool answerActivationMessage(const QByteArray& eventType, void* message, long* result)
{
    if (eventType != "windows_generic_MSG" || !message)
        return false;
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != kActivationRequest)
        return false;
    if (result)
        *result = static_cast<long>(kActivationAcknowledge);
    return true;
}

void bringNativeWindowToFront(QWidget* window)
{
    HWND handle = reinterpret_cast<HWND>(window->winId());
    ShowWindow(handle, SW_SHOW);
    ShowWindow(handle, SW_RESTORE);
    SetWindowPos(handle, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    SetForegroundWindow(handle);
}

} // namespace vorn
