#include "platform/system_error.h"

#include "platform/wide_text_win.h"

#include <windows.h>

namespace vorn::platform {

std::string windowsErrorText(const std::string& context, unsigned long code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                                        nullptr);
    std::string message;
    if (length != 0 && buffer)
        message = trimmed(fromWide(std::wstring(buffer, length)));
    if (buffer)
        LocalFree(buffer);
    if (message.empty())
        message = "Windows error " + std::to_string(code);
    return context + ": " + message;
}

std::string systemErrorText(const std::string& context, unsigned long code)
{
    return windowsErrorText(context, code);
}

unsigned long lastSystemError()
{
    return GetLastError();
}

} // namespace vorn::platform
