#pragma once

#include <QByteArray>
#include <QString>

namespace vorn {

// True only if signature (the bytes of a .sig file, least significant byte first) is a valid
// RSASSA-PKCS1-v1_5 / SHA-256 signature of data under publicKeyBlob (the bytes of
// public-key.blob). On failure *error, if given, is "<what failed>: <system or library text>".
[[nodiscard]] bool verifyReleaseSignature(const QByteArray& publicKeyBlob, const QByteArray& data,
                                          const QByteArray& signature, QString* error);

} // namespace vorn
