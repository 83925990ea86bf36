#include "selfupdater/self_update.h"
#include "selfupdater/system_calls.h"

#include "platform/wide_text_win.h"

#include <string>
#include <vector>

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    using namespace vorn::selfupdate;
    NativeSystemCalls system;
    // ShellExecuteW may hand the start to shell extensions, which expect COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    int exitCode = 1;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) {
        system.showError(tagArguments, messageUnreadableArguments);
    } else {
        std::vector<std::string> arguments;
        for (int i = 0; i < count; ++i)
            arguments.push_back(vorn::platform::fromWide(wide[i]));
        LocalFree(wide);
        exitCode = runSelfUpdate(arguments, system);
    }

    if (SUCCEEDED(com))
        CoUninitialize();
    return exitCode;
}
