// The channel pointer: reading the live one and checking it is the publisher's own, its next
// sequence and expiry, signing, switching live.json and live.sig as a pair, and the refresh
// command that does only that.
#include "publish/publisher.h"

#include "core/channel_pointer.h"
#include "core/release_signature.h"
#include "core/save_file.h"
#include "core/sha256.h"
#include "publish/publisher_internal.h"
#include "publish/release_keys.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace vorn::publish {

namespace {

// The largest sequence a JSON number holds exactly.
constexpr qint64 kMaxPointerSequence = (qint64(1) << 53) - 1;

bool loadSigningKey(const QString& path, ReleaseKey* key, QString* error)
{
    std::string failure;
    if (!loadPrivateKeyFile(QFile::encodeName(path).toStdString(), key, &failure)) {
        setError(error, QStringLiteral("Cannot load the private key: %1").arg(fromStd(failure)));
        return false;
    }
    return true;
}

// The signing key's own public half and the further keys the publisher named.
bool trustedPointerKeys(const ReleaseKey& key, const QStringList& trustedKeyPaths,
                        QList<QByteArray>* keys, QString* error)
{
    std::vector<unsigned char> blob;
    std::string failure;
    if (!exportPublicKeyBlob(key, &blob, &failure)) {
        setError(error, fromStd(failure));
        return false;
    }
    keys->append(QByteArray(reinterpret_cast<const char*>(blob.data()), int(blob.size())));
    for (const QString& path : trustedKeyPaths) {
        QByteArray bytes;
        if (!readWholeFile(path, &bytes, error))
            return false;
        keys->append(bytes);
    }
    return true;
}

// The live pointer as the publisher signed it last; *exists is false in a repository without
// one. Its sequence is continued, so it must be the publisher's own: a pointer of unknown
// origin could set the sequence back (clients would refuse every later release) or hand its
// release to a refresh.
bool readLivePointer(const QDir& repo, const QList<QByteArray>& trustedKeys, bool* exists,
                     ChannelPointer* pointer, QString* error)
{
    const QString pointerPath = repo.filePath(QStringLiteral("channels/live.json"));
    // Anything but a file there is no pointer a client could read.
    *exists = QFileInfo(pointerPath).isFile();
    if (!*exists)
        return true;
    QByteArray json;
    QByteArray signature;
    if (!readWholeFile(pointerPath, &json, error)
        || !readWholeFile(repo.filePath(QStringLiteral("channels/live.sig")), &signature, error))
        return false;
    QString failure;
    if (!verifyReleaseSignature(trustedKeys, json, signature, nullptr, &failure)) {
        setError(error, QStringLiteral("The current channel pointer is not signed by the signing key "
                                       "or a trusted one (%1); name the key that signed it with "
                                       "--trust").arg(failure));
        return false;
    }
    if (!parseChannelPointer(json, pointer, &failure)) {
        setError(error, QStringLiteral("channels/live.json: %1").arg(failure));
        return false;
    }
    if (pointer->sequence >= kMaxPointerSequence) {
        setError(error, QStringLiteral("The channel pointer's sequence %1 cannot be raised further")
                            .arg(pointer->sequence));
        return false;
    }
    return true;
}

bool pointerExpiry(int days, QDateTime* expiresUtc, QString* error)
{
    if (days < 1 || days > kMaxPointerLifetimeDays) {
        setError(error, QStringLiteral("The pointer's lifetime must be 1 to %1 days").arg(kMaxPointerLifetimeDays));
        return false;
    }
    // Whole seconds, as the pointer writes it.
    QDateTime now = QDateTime::currentDateTimeUtc();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    *expiresUtc = now.addDays(days);
    return true;
}

} // namespace

bool preparePointerSigning(const QDir& repo, const QString& privateKeyPath,
                           const QStringList& trustedKeyPaths, int expiresInDays,
                           PointerSigning* signing, QString* error)
{
    return loadSigningKey(privateKeyPath, &signing->key, error)
        && trustedPointerKeys(signing->key, trustedKeyPaths, &signing->trustedKeys, error)
        && readLivePointer(repo, signing->trustedKeys, &signing->hadPointer, &signing->current, error)
        && pointerExpiry(expiresInDays, &signing->expiresUtc, error);
}

bool switchChannelPointer(const QDir& repo, const QByteArray& pointer, const QByteArray& signature,
                          QString* error)
{
    const QString pointerPath = repo.filePath(QStringLiteral("channels/live.json"));
    const QString signaturePath = repo.filePath(QStringLiteral("channels/live.sig"));
    if (!QDir().mkpath(QFileInfo(pointerPath).absolutePath())) {
        setError(error, QStringLiteral("Cannot create folder %1").arg(QFileInfo(pointerPath).absolutePath()));
        return false;
    }
    QByteArray oldSignature;
    const bool hadSignature = QFileInfo(signaturePath).isFile()
                              && readWholeFile(signaturePath, &oldSignature, nullptr);

    QSaveFile newSignature(signaturePath);
    QSaveFile newPointer(pointerPath);
    for (QSaveFile* file : {&newSignature, &newPointer}) {
        const QByteArray& bytes = file == &newPointer ? pointer : signature;
        if (!file->open(QIODevice::WriteOnly) || file->write(bytes) != bytes.size()) {
            setError(error, QStringLiteral("Cannot write %1: %2").arg(file->fileName(), file->errorString()));
            return false;
        }
    }
    if (!commitSaveFile(&newSignature)) {
        setError(error, QStringLiteral("Cannot write %1: %2").arg(signaturePath, newSignature.errorString()));
        return false;
    }
    if (!commitSaveFile(&newPointer)) {
        setError(error, QStringLiteral("Cannot write %1: %2").arg(pointerPath, newPointer.errorString()));
        const bool restored = hadSignature ? writeFileAtomically(signaturePath, oldSignature, nullptr)
                                           : QFile::remove(signaturePath);
        if (!restored && error)
            *error += QStringLiteral("; the previous %1 could not be put back").arg(signaturePath);
        return false;
    }
    return true;
}

bool signBytes(const ReleaseKey& key, const QByteArray& data, QByteArray* signature, QString* error)
{
    std::vector<unsigned char> raw;
    std::string failure;
    if (!signRelease(key, platform::ByteSpan(data.constData(), size_t(data.size())), &raw, &failure)) {
        setError(error, fromStd(failure));
        return false;
    }
    *signature = QByteArray(reinterpret_cast<const char*>(raw.data()), int(raw.size()));
    return true;
}

QByteArray channelPointerJson(const QString& releaseId, const QString& manifestPath,
                              const QByteArray& manifestSha256, qint64 sequence,
                              const QDateTime& expiresUtc)
{
    QJsonObject pointer;
    pointer.insert(QStringLiteral("schema"), 1);
    pointer.insert(QStringLiteral("channel"), QStringLiteral("live"));
    pointer.insert(QStringLiteral("releaseId"), releaseId);
    pointer.insert(QStringLiteral("manifestPath"), manifestPath);
    pointer.insert(QStringLiteral("manifestSha256"), QString::fromLatin1(manifestSha256.toHex()));
    if (sequence > 0)
        pointer.insert(QStringLiteral("sequence"), double(sequence));
    if (expiresUtc.isValid())
        pointer.insert(QStringLiteral("expiresUtc"), expiresUtc.toUTC().toString(Qt::ISODate));
    return QJsonDocument(pointer).toJson(QJsonDocument::Compact);
}

bool refreshChannelPointer(const PointerOptions& options, RefreshSummary* summary, QString* error)
{
    const QDir repo(options.repoDir);
    PointerSigning signing;
    if (!preparePointerSigning(repo, options.privateKeyPath, options.trustedKeyPaths,
                               options.expiresInDays, &signing, error))
        return false;
    const ChannelPointer& current = signing.current;
    if (!signing.hadPointer) {
        setError(error, QStringLiteral("The repository has no channel pointer to refresh; publish a release first"));
        return false;
    }

    // Once signing has moved to a new key, launchers that trust only the new key must still
    // accept the live manifest: its signature follows the pointer's.
    QByteArray manifestJson;
    QByteArray manifestSignature;
    const QString signaturePath = manifestSignaturePath(current.manifestPath);
    if (!readWholeFile(repo.filePath(current.manifestPath), &manifestJson, error)
        || !readWholeFile(repo.filePath(signaturePath), &manifestSignature, error))
        return false;
    if (Sha256::hash(manifestJson) != current.manifestSha256) {
        setError(error, QStringLiteral("%1 differs from the digest the channel pointer names").arg(current.manifestPath));
        return false;
    }
    RefreshSummary result;
    if (!verifyReleaseSignature(signing.trustedKeys.first(), manifestJson, manifestSignature, nullptr)) {
        if (!signBytes(signing.key, manifestJson, &manifestSignature, error)
            || !writeFileAtomically(repo.filePath(signaturePath), manifestSignature, error))
            return false;
        result.manifestResigned = true;
    }

    result.releaseId = current.releaseId;
    result.sequence = current.sequence + 1;
    result.expiresUtc = signing.expiresUtc;
    const QByteArray pointer = channelPointerJson(current.releaseId, current.manifestPath,
                                                  current.manifestSha256, result.sequence,
                                                  signing.expiresUtc);
    QByteArray pointerSignature;
    if (!signBytes(signing.key, pointer, &pointerSignature, error)
        || !switchChannelPointer(repo, pointer, pointerSignature, error))
        return false;
    if (summary)
        *summary = result;
    return true;
}

} // namespace vorn::publish
