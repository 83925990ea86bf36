#include "selfupdater/system_calls.h"

#include "platform/wide_text_win.h"

#include <algorithm>

#include <windows.h>
#include <shellapi.h>

namespace vorn::selfupdate {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

class Handle final {
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle()
    {
        if (valid())
            CloseHandle(m_handle);
    }
    HANDLE get() const { return m_handle; }
    bool valid() const { return m_handle && m_handle != INVALID_HANDLE_VALUE; }
    // Closing is where some file systems report a failed write.
    bool close()
    {
        const HANDLE handle = m_handle;
        m_handle = nullptr;
        return CloseHandle(handle) != FALSE;
    }

private:
    HANDLE m_handle;
};

// Opens a file or folder only to ask about it; folders need backup semantics.
HANDLE openForQuery(const fs::path& path)
{
    return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool isDirectory(const fs::path& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool deleteFile(const fs::path& path)
{
    if (DeleteFileW(path.c_str()))
        return true;
    if (GetLastError() == ERROR_ACCESS_DENIED
        && SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) && DeleteFileW(path.c_str()))
        return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Links and junctions are removed as entries; what they point to is left alone.
void removeDirectoryTree(const fs::path& directory)
{
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((directory / L"*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const fs::path child = directory / name;
            const bool folder = entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
            const bool link = entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
            if (folder && !link) {
                removeDirectoryTree(child);
            } else if (folder) {
                RemoveDirectoryW(child.c_str());
            } else {
                deleteFile(child);
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    SetFileAttributesW(directory.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(directory.c_str());
}

bool hasEnvironment(const wchar_t* name)
{
    wchar_t value[2];
    return GetEnvironmentVariableW(name, value, 2) > 0;
}

} // namespace

ProcessWait NativeSystemCalls::waitForProcess(unsigned long processId, milliseconds timeout)
{
    Handle process(OpenProcess(SYNCHRONIZE, FALSE, DWORD(processId)));
    if (!process.valid())
        return ProcessWait::NotOpened;
    const DWORD result = WaitForSingleObject(process.get(), DWORD(timeout.count()));
    return result == WAIT_OBJECT_0 ? ProcessWait::Ended : ProcessWait::TimedOut;
}

bool NativeSystemCalls::canonicalDirectory(const fs::path& path, fs::path& canonical)
{
    if (path.empty())
        return false;
    Handle handle(openForQuery(path));
    BY_HANDLE_FILE_INFORMATION information;
    if (!handle.valid() || !GetFileInformationByHandle(handle.get(), &information)
        || !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    const DWORD size = GetFinalPathNameByHandleW(handle.get(), nullptr, 0, flags);
    if (size == 0)
        return false;
    std::wstring text(size, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handle.get(), text.data(), size, flags);
    if (length == 0 || length >= size)
        return false;
    text.resize(length);
    if (text.rfind(L"\\\\?\\UNC\\", 0) == 0)
        text = L"\\\\" + text.substr(8);
    else if (text.rfind(L"\\\\?\\", 0) == 0)
        text = text.substr(4);
    canonical = fs::path(text);
    return true;
}

bool NativeSystemCalls::sameDirectory(const fs::path& a, const fs::path& b)
{
    Handle first(openForQuery(a));
    Handle second(openForQuery(b));
    BY_HANDLE_FILE_INFORMATION one;
    BY_HANDLE_FILE_INFORMATION two;
    if (first.valid() && second.valid() && GetFileInformationByHandle(first.get(), &one)
        && GetFileInformationByHandle(second.get(), &two))
        return one.dwVolumeSerialNumber == two.dwVolumeSerialNumber
               && one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool NativeSystemCalls::createDirectories(const fs::path& path)
{
    if (path.empty())
        return false;
    if (isDirectory(path))
        return true;
    const fs::path parent = path.parent_path();
    if (!parent.empty() && parent != path && !createDirectories(parent))
        return false;
    return CreateDirectoryW(path.c_str(), nullptr) || isDirectory(path);
}

bool NativeSystemCalls::copyFile(const fs::path& from, const fs::path& to)
{
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool NativeSystemCalls::replaceFile(const fs::path& from, const fs::path& to)
{
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
           != FALSE;
}

bool NativeSystemCalls::removeFile(const fs::path& path)
{
    return deleteFile(path);
}

void NativeSystemCalls::removeTree(const fs::path& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        deleteFile(path);
    else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        RemoveDirectoryW(path.c_str());
    else
        removeDirectoryTree(path);
}

bool NativeSystemCalls::writeFileDurably(const fs::path& path, const std::string& bytes)
{
    Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return FlushFileBuffers(file.get()) && file.close();
}

void NativeSystemCalls::sleepFor(milliseconds duration)
{
    Sleep(DWORD(duration.count()));
}

bool NativeSystemCalls::startProgram(const fs::path& program, const fs::path& workingDirectory)
{
    const HINSTANCE result = ShellExecuteW(nullptr, L"open", program.c_str(), nullptr,
                                           workingDirectory.c_str(), SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

void NativeSystemCalls::showError(const std::string& tag, const std::string& message)
{
    const std::string text = errorBoxText(tag, message);
    if (hasEnvironment(platform::toWide(noDialogVariable).c_str())) {
        const std::string line = std::string(errorBoxTitle) + ": " + text + "\n";
        const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
        DWORD written = 0;
        if (error && error != INVALID_HANDLE_VALUE)
            WriteFile(error, line.data(), DWORD(line.size()), &written, nullptr);
        return;
    }
    MessageBoxW(nullptr, platform::toWide(text).c_str(), platform::toWide(errorBoxTitle).c_str(),
                MB_OK | MB_ICONERROR);
}

} // namespace vorn::selfupdate
