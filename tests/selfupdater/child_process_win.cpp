#include "tests/selfupdater/child_process.h"

#include "platform/wide_text_win.h"

#include <windows.h>

namespace vorn::selfupdate::test {

namespace {

// The quoting CommandLineToArgvW undoes.
std::wstring quoted(const std::wstring& argument)
{
    std::wstring result = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        result.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        result += c;
    }
    result.append(backslashes * 2, L'\\');
    return result + L"\"";
}

} // namespace

bool startChild(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                ChildProcess& child)
{
    std::wstring commandLine = quoted(program.wstring());
    for (const std::string& argument : arguments)
        commandLine += L" " + quoted(platform::toWide(argument));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    child.id = process.dwProcessId;
    child.handle = process.hProcess;
    return true;
}

int waitForChild(ChildProcess& child)
{
    if (!child.handle)
        return -1;
    DWORD code = 0;
    const bool ok = WaitForSingleObject(child.handle, INFINITE) == WAIT_OBJECT_0
                    && GetExitCodeProcess(child.handle, &code);
    CloseHandle(child.handle);
    child.handle = nullptr;
    return ok ? int(code) : -1;
}

void killChild(ChildProcess& child)
{
    if (child.handle)
        TerminateProcess(child.handle, 9);
    (void)waitForChild(child);
}

void setEnvironment(const std::string& name, const std::string& value)
{
    SetEnvironmentVariableW(platform::toWide(name).c_str(), platform::toWide(value).c_str());
}

extern const bool replacementLocksExist = true;

void* holdAgainstReplacement(const std::filesystem::path& file)
{
    const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

void release(void* handle)
{
    if (handle)
        CloseHandle(handle);
}

} // namespace vorn::selfupdate::test
