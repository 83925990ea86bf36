#include "tests/platform/test_process_list_child.h"

#include "platform/wide_text_win.h"

#include <windows.h>

namespace vorn::test {

std::string programDirectory()
{
    wchar_t buffer[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH * 2);
    const std::string path = platform::fromWide(std::wstring(buffer, length));
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

ChildProcess::~ChildProcess()
{
    stop();
}

bool ChildProcess::start(const std::string& program)
{
    std::wstring commandLine = L"\"" + platform::toWide(program) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    m_handle = reinterpret_cast<long long>(info.hProcess);
    return true;
}

void ChildProcess::stop()
{
    if (m_handle == 0)
        return;
    HANDLE process = reinterpret_cast<HANDLE>(m_handle);
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
    m_handle = 0;
}

} // namespace vorn::test
