// The keygen command: a new release key pair as the files the publisher and launcher read.
#include "publish/publisher.h"

#include "core/save_file.h"
#include "publish/publisher_internal.h"
#include "publish/release_keys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vorn::publish {

bool generateKeyFiles(const QString& outDir, int bits, QString* error)
{
    const QDir dir(outDir);
    const QString privatePath = dir.filePath(QStringLiteral("release-private.pem"));
    const QString publicPath = dir.filePath(QStringLiteral("public-key.blob"));
    for (const QString& path : {privatePath, publicPath}) {
        if (QFileInfo::exists(path)) {
            setError(error, QStringLiteral("Refusing to overwrite %1").arg(path));
            return false;
        }
    }
    if (!QDir().mkpath(outDir)) {
        setError(error, QStringLiteral("Cannot create folder %1").arg(outDir));
        return false;
    }
    ReleaseKey key;
    std::string failure;
    std::vector<unsigned char> blob;
    if (!generateReleaseKey(bits, &key, &failure) || !exportPublicKeyBlob(key, &blob, &failure)
        || !writePrivateKeyFile(key, QFile::encodeName(privatePath).toStdString(), &failure)) {
        setError(error, fromStd(failure));
        return false;
    }
    return writeFileAtomically(publicPath,
                               QByteArray(reinterpret_cast<const char*>(blob.data()), int(blob.size())),
                               error);
}

} // namespace vorn::publish
