#include "platform/process_list.h"

#include "platform/wide_text_win.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>

namespace vorn::platform {

bool isProcessRunning(const std::string& exeName)
{
    const std::wstring wanted = toWide(exeName);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry))
        found = _wcsicmp(entry.szExeFile, wanted.c_str()) == 0;
    CloseHandle(snapshot);
    return found;
}

} // namespace vorn::platform
