// The game client in the Windows end-to-end test, built as vorn.exe: it writes its arguments,
// one a line, to the file named by VORN_STAND_IN_RECORD, then stays running while the file
// named by VORN_STAND_IN_HOLD exists, so that the launcher can be seen waiting for it.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

bool exists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    wchar_t record[MAX_PATH];
    const DWORD recordLength = GetEnvironmentVariableW(L"VORN_STAND_IN_RECORD", record, MAX_PATH);
    if (recordLength == 0 || recordLength >= MAX_PATH)
        return 2;
    // Written under another name first: the test reads the record as soon as it appears.
    wchar_t partial[MAX_PATH + 8];
    std::swprintf(partial, MAX_PATH + 8, L"%ls.part", record);
    FILE* out = _wfopen(partial, L"wb");
    if (!out)
        return 3;
    for (int i = 1; i < argc; ++i) {
        char utf8[1024];
        const int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, utf8, sizeof utf8, nullptr, nullptr);
        std::fprintf(out, "%s\n", n > 0 ? utf8 : "?");
    }
    std::fclose(out);
    if (!MoveFileExW(partial, record, MOVEFILE_REPLACE_EXISTING))
        return 4;

    wchar_t hold[MAX_PATH];
    const DWORD holdLength = GetEnvironmentVariableW(L"VORN_STAND_IN_HOLD", hold, MAX_PATH);
    if (holdLength == 0 || holdLength >= MAX_PATH)
        return 0;
    // A bound, so that a test that died cannot leave it running for good.
    for (int i = 0; i < 6000 && exists(hold); ++i)
        Sleep(100);
    return 0;
}
