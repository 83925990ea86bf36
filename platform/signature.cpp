#include "platform/signature.h"

namespace vorn::platform {

bool verifyReleaseSignatureByAnyKey(const std::vector<ByteSpan>& publicKeyBlobs, ByteSpan data,
                                    ByteSpan signature, std::size_t* keyIndex, std::string* error)
{
    if (publicKeyBlobs.empty()) {
        if (error)
            *error = "Cannot import release public key: no release public key is trusted";
        return false;
    }
    for (std::size_t i = 0; i < publicKeyBlobs.size(); ++i) {
        std::string failure;
        if (verifyReleaseSignature(publicKeyBlobs[i], data, signature, &failure)) {
            if (keyIndex)
                *keyIndex = i;
            return true;
        }
        if (i == 0 && error)
            *error = failure;
    }
    return false;
}

} // namespace vorn::platform
