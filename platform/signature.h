#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vorn::platform {

// A read-only view of bytes owned by the caller.
struct ByteSpan final
{
    ByteSpan() = default;
    ByteSpan(const void* bytes, std::size_t length)
        : data(static_cast<const unsigned char*>(bytes)), size(bytes ? length : 0)
    {
    }
    ByteSpan(const std::vector<unsigned char>& bytes) : ByteSpan(bytes.data(), bytes.size()) {}
    ByteSpan(const std::string& bytes) : ByteSpan(bytes.data(), bytes.size()) {}

    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// True only if signature is a valid RSASSA-PKCS1-v1_5 / SHA-256 signature of data under the
// RSA public key in publicKeyBlob (a CryptoAPI PUBLICKEYBLOB). The signature holds its bytes
// least significant first, the order CryptoAPI produces and takes. On failure *error (if given)
// is "<what failed>: <library or system text>".
[[nodiscard]] bool verifyReleaseSignature(ByteSpan publicKeyBlob, ByteSpan data, ByteSpan signature,
                                          std::string* error);

// The same check against several trusted keys, as while a publisher moves from one key to the
// next: true if any of them verifies, and *keyIndex (if given) is the first that did. On failure
// *error is the first key's, so a single key fails exactly as verifyReleaseSignature does.
[[nodiscard]] bool verifyReleaseSignatureByAnyKey(const std::vector<ByteSpan>& publicKeyBlobs,
                                                  ByteSpan data, ByteSpan signature,
                                                  std::size_t* keyIndex, std::string* error);

} // namespace vorn::platform
