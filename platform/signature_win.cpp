#include "platform/signature.h"

#include "platform/wide_text_win.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace vorn::platform {

namespace {

constexpr std::size_t maxDword = std::numeric_limits<DWORD>::max();

void fail(std::string* error, const char* context, DWORD code)
{
    if (error)
        *error = windowsErrorText(context, code);
}

} // namespace

bool verifyReleaseSignature(ByteSpan publicKeyBlob, ByteSpan data, ByteSpan signature,
                            std::string* error)
{
    HCRYPTPROV provider = 0;
    HCRYPTKEY key = 0;
    HCRYPTHASH hash = 0;
    bool valid = false;

    if (!CryptAcquireContextW(&provider, nullptr,
                              L"Microsoft Enhanced RSA and AES Cryptographic Provider",
                              PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        provider = 0;
        fail(error, "Cannot open verification provider", GetLastError());
    } else if (publicKeyBlob.size > maxDword) {
        fail(error, "Cannot import release public key", ERROR_INVALID_PARAMETER);
    } else if (!CryptImportKey(provider, publicKeyBlob.data,
                               static_cast<DWORD>(publicKeyBlob.size), 0, 0, &key)) {
        key = 0;
        fail(error, "Cannot import release public key", GetLastError());
    } else if (!CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
        hash = 0;
        fail(error, "Cannot calculate signing hash", GetLastError());
    } else {
        bool hashed = true;
        // Nothing is fed for empty data: the digest is then the one of the empty string.
        for (std::size_t offset = 0; hashed && offset < data.size;) {
            const std::size_t piece = std::min<std::size_t>(data.size - offset, 1u << 30);
            hashed = CryptHashData(hash, data.data + offset, static_cast<DWORD>(piece), 0);
            offset += piece;
        }
        if (!hashed) {
            fail(error, "Cannot calculate signing hash", GetLastError());
        } else if (signature.size > maxDword) {
            fail(error, "Invalid release signature", ERROR_INVALID_PARAMETER);
        } else {
            // CryptoAPI takes the bytes least significant first, exactly as the file holds them.
            std::vector<BYTE> bytes(signature.data, signature.data + signature.size);
            if (CryptVerifySignatureW(hash, bytes.empty() ? nullptr : bytes.data(),
                                      static_cast<DWORD>(bytes.size()), key, nullptr, 0))
                valid = true;
            else
                fail(error, "Invalid release signature", GetLastError());
        }
    }

    if (hash)
        CryptDestroyHash(hash);
    if (key)
        CryptDestroyKey(key);
    if (provider)
        CryptReleaseContext(provider, 0);
    return valid;
}

} // namespace vorn::platform
