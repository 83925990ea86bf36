#include "core/release_signature.h"

#include "platform/signature.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <string>
#include <vector>

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

bool verifyReleaseSignature(const QList<QByteArray>& publicKeyBlobs, const QByteArray& data,
                            const QByteArray& signature, int* keyIndex, QString* error)
{
    using platform::ByteSpan;
    std::vector<ByteSpan> keys;
    keys.reserve(std::size_t(publicKeyBlobs.size()));
    for (const QByteArray& blob : publicKeyBlobs)
        keys.emplace_back(blob.constData(), static_cast<std::size_t>(blob.size()));
    std::string text;
    std::size_t index = 0;
    const bool valid = platform::verifyReleaseSignatureByAnyKey(
        keys, ByteSpan(data.constData(), static_cast<std::size_t>(data.size())),
        ByteSpan(signature.constData(), static_cast<std::size_t>(signature.size())), &index,
        error ? &text : nullptr);
    if (valid && keyIndex)
        *keyIndex = int(index);
    if (!valid && error)
        *error = QString::fromStdString(text);
    return valid;
}

QList<QByteArray> readTrustedPublicKeys(const QString& primaryKeyPath)
{
    // Key blobs are a few hundred bytes; anything far larger is not one.
    constexpr qint64 maxKeyBytes = 64 * 1024;
    QList<QByteArray> keys;
    const auto add = [&keys](const QString& path) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.size() <= maxKeyBytes)
            keys.append(file.readAll());
    };
    add(primaryKeyPath);
    const QDir extra(QFileInfo(primaryKeyPath).absoluteDir().filePath(QStringLiteral("public-keys")));
    for (const QString& name : extra.entryList({QStringLiteral("*.blob")}, QDir::Files, QDir::Name))
        add(extra.filePath(name));
    return keys;
}

} // namespace vorn
