#include "core/release_signature.h"

#include "platform/signature.h"

#include <string>

namespace vorn {

bool verifyReleaseSignature(const QByteArray& publicKeyBlob, const QByteArray& data,
                            const QByteArray& signature, QString* error)
{
    using platform::ByteSpan;
    std::string text;
    const bool valid = platform::verifyReleaseSignature(
        ByteSpan(publicKeyBlob.constData(), static_cast<std::size_t>(publicKeyBlob.size())),
        ByteSpan(data.constData(), static_cast<std::size_t>(data.size())),
        ByteSpan(signature.constData(), static_cast<std::size_t>(signature.size())),
        error ? &text : nullptr);
    if (!valid && error)
        *error = QString::fromStdString(text);
    return valid;
}

} // namespace vorn
