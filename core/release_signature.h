#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace vorn {

// True only if signature (the bytes of a .sig file, least significant byte first) is a valid
// RSASSA-PKCS1-v1_5 / SHA-256 signature of data under publicKeyBlob (the bytes of
// public-key.blob). On failure *error, if given, is "<what failed>: <system or library text>".
[[nodiscard]] bool verifyReleaseSignature(const QByteArray& publicKeyBlob, const QByteArray& data,
                                          const QByteArray& signature, QString* error);

// The check against every trusted key; *keyIndex (if given) is the first that verified. On
// failure *error is the first key's error.
[[nodiscard]] bool verifyReleaseSignature(const QList<QByteArray>& publicKeyBlobs,
                                          const QByteArray& data, const QByteArray& signature,
                                          int* keyIndex, QString* error);

// The keys a launcher trusts: the file at primaryKeyPath (public-key.blob) first, then every
// *.blob of the folder public-keys beside it, by name. Files that cannot be read are left out;
// a damaged blob can only ever fail to verify.
[[nodiscard]] QList<QByteArray> readTrustedPublicKeys(const QString& primaryKeyPath);

} // namespace vorn
