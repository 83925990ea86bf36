// Release public key blobs come from a file beside the program; no content may make the check
// read out of bounds, crash or report a failure without saying why.
#include "platform/signature.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using vorn::platform::ByteSpan;
    // Where the header names a modulus length, the last bytes of that length serve as the
    // signature, so keys that import also reach the RSA check itself.
    std::size_t signatureSize = 0;
    if (size >= 16) {
        const std::uint32_t bits = std::uint32_t(data[12]) | std::uint32_t(data[13]) << 8
                                   | std::uint32_t(data[14]) << 16 | std::uint32_t(data[15]) << 24;
        signatureSize = bits / 8 < size ? bits / 8 : size;
    }
    const ByteSpan blob(data, size);
    const ByteSpan signature(data + size - signatureSize, signatureSize);
    std::string error;
    if (!vorn::platform::verifyReleaseSignature(blob, blob, signature, &error)) {
        const bool explained = (error.rfind("Cannot import release public key: ", 0) == 0
                                || error.rfind("Invalid release signature: ", 0) == 0
                                || error.rfind("Cannot calculate signing hash: ", 0) == 0)
                               && error.back() != ' ';
        if (!explained)
            __builtin_trap();
    }
    return 0;
}
