#include "platform/secret.h"

#include <windows.h>
#include <wincrypt.h>

#include <limits>

namespace vorn::platform {

namespace {

// DPAPI measures in DWORDs; a 64-bit build could otherwise seal or open a silently cut copy.
bool fitsBlob(const std::string& bytes)
{
    return bytes.size() <= std::numeric_limits<DWORD>::max();
}

} // namespace

bool protectSecret(const std::string& text, std::string* sealed)
{
    sealed->clear();
    if (!fitsBlob(text))
        return false;
    DATA_BLOB input = {DWORD(text.size()),
                       reinterpret_cast<BYTE*>(const_cast<char*>(text.data()))};
    DATA_BLOB output = {};
    // User scope: no CRYPTPROTECT_LOCAL_MACHINE, so another Windows user cannot open it.
    if (!CryptProtectData(&input, L"VORN Launcher Proxy", nullptr, nullptr, nullptr,
                          CRYPTPROTECT_UI_FORBIDDEN, &output))
        return false;
    sealed->assign(reinterpret_cast<const char*>(output.pbData), output.cbData);
    LocalFree(output.pbData);
    return true;
}

bool unprotectSecret(const std::string& sealed, std::string* text)
{
    text->clear();
    if (!fitsBlob(sealed))
        return false;
    DATA_BLOB input = {DWORD(sealed.size()),
                       reinterpret_cast<BYTE*>(const_cast<char*>(sealed.data()))};
    DATA_BLOB output = {};
    if (!CryptUnprotectData(&input, nullptr, nullptr, nullptr, nullptr,
                            CRYPTPROTECT_UI_FORBIDDEN, &output))
        return false;
    text->assign(reinterpret_cast<const char*>(output.pbData), output.cbData);
    LocalFree(output.pbData);
    return true;
}

} // namespace vorn::platform
