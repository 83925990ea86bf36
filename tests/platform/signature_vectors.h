#pragma once

#include <string>
#include <vector>

namespace vorn::test {

struct SignatureVectors
{
    std::vector<unsigned char> blob;             // public-key.blob
    std::vector<unsigned char> message;          // message.bin
    std::vector<unsigned char> messageSignature; // message.sig, least significant byte first
    std::vector<unsigned char> emptySignature;   // empty.sig, over no bytes
};

// A file of the sets committed under tests/platform/data ("rsa3072/message.sig"), built into the
// program so the Windows build needs no files beside it; empty if there is no such file.
[[nodiscard]] std::vector<unsigned char> committedSignatureFile(const std::string& name);

} // namespace vorn::test
