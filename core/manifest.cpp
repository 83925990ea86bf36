#include "core/manifest.h"

#include "core/json_values.h"
#include "core/local_state.h"
#include "core/object_format.h"
#include "core/paths.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace vorn {

namespace {

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

bool readChunking(const QJsonObject& object, ChunkingOptions* chunking)
{
    chunking->algorithm = object.value(QLatin1String("algorithm")).toString();
    return chunking->algorithm == QLatin1String("fastcdc-v1")
        && readNonNegativeInteger(object.value(QLatin1String("wholeFileThreshold")),
                                  &chunking->wholeFileThreshold)
        && readNonNegativeInteger(object.value(QLatin1String("minBytes")), &chunking->minBytes)
        && readNonNegativeInteger(object.value(QLatin1String("averageBytes")),
                                  &chunking->averageBytes)
        && readNonNegativeInteger(object.value(QLatin1String("maxBytes")), &chunking->maxBytes);
}

// A chunk or object above the download limit could never be fetched, and a chunk size is
// what the launcher sets aside to unpack it: both are bounded here, before anything is planned.
bool readChunk(const QJsonObject& object, ManifestChunk* chunk)
{
    return readNonNegativeInteger(object.value(QLatin1String("offset")), &chunk->offset)
        && readNonNegativeInteger(object.value(QLatin1String("size")), &chunk->size)
        && readNonNegativeInteger(object.value(QLatin1String("blobSize")), &chunk->blobSize)
        && chunk->size <= kMaxObjectBytes && chunk->blobSize <= kMaxObjectBytes
        && readSha256Hex(object.value(QLatin1String("sha256")), &chunk->sha256)
        && readSha256Hex(object.value(QLatin1String("blobSha256")), &chunk->blobSha256);
}

QJsonValue number(qint64 value)
{
    return QJsonValue(static_cast<double>(value));
}

QString hex(const QByteArray& digest)
{
    return QString::fromLatin1(digest.toHex());
}

} // namespace

bool parseManifest(const QByteArray& bytes, Manifest* output, QString* error)
{
    if (!output)
        return fail(error, QStringLiteral("Manifest output is null"));

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (document.isNull() || !document.isObject())
        return fail(error, QStringLiteral("Invalid manifest JSON: %1").arg(parseError.errorString()));
    const QJsonObject root = document.object();

    if (root.value(QLatin1String("schema")).toInt(-1) != 1)
        return fail(error, QStringLiteral("Unsupported manifest schema"));

    Manifest manifest;
    manifest.releaseId = root.value(QLatin1String("releaseId")).toString();
    manifest.createdUtc = root.value(QLatin1String("createdUtc")).toString();
    manifest.gameRoot = root.value(QLatin1String("gameRoot")).toString();
    manifest.compression = root.value(QLatin1String("compression")).toString();
    if (manifest.releaseId.isEmpty() || manifest.gameRoot.isEmpty()
        || manifest.compression != QLatin1String("qt-zlib-v1"))
        return fail(error, QStringLiteral("Manifest header is incomplete or unsupported"));

    if (!readChunking(root.value(QLatin1String("chunking")).toObject(), &manifest.chunking))
        return fail(error, QStringLiteral("Unsupported or invalid chunking configuration"));

    QSet<QString> profileIds;
    const QJsonArray profiles = root.value(QLatin1String("launchProfiles")).toArray();
    for (const QJsonValue& element : profiles) {
        const QJsonObject object = element.toObject();
        LaunchProfile profile;
        profile.id = object.value(QLatin1String("id")).toString();
        profile.title = object.value(QLatin1String("title")).toString();
        profile.executable =
            normalizeRelativePath(object.value(QLatin1String("executable")).toString());
        profile.arguments = object.value(QLatin1String("arguments")).toString();
        const QString key = profile.id.toCaseFolded();
        if (profile.id.isEmpty() || profile.title.isEmpty() || profile.executable.isEmpty()
            || profileIds.contains(key))
            return fail(error, QStringLiteral("Invalid or duplicate launch profile"));
        profileIds.insert(key);
        manifest.launchProfiles.append(profile);
    }

    // Only ever a floor for later releases: absent or unreadable counts as none.
    (void)readNonNegativeInteger(root.value(QLatin1String("channelSequence")), &manifest.channelSequence);

    const QJsonArray preserve = root.value(QLatin1String("preserve")).toArray();
    for (const QJsonValue& element : preserve) {
        if (!element.isString())
            continue;
        const QString entry = element.toString().trimmed();
        if (!entry.isEmpty())
            manifest.preserve.append(entry);
    }

    QSet<QString> fileKeys;
    const QJsonArray files = root.value(QLatin1String("files")).toArray();
    fileKeys.reserve(files.size());
    manifest.files.reserve(files.size());
    for (const QJsonValue& element : files) {
        const QJsonObject object = element.toObject();
        ManifestFile file;
        file.path = normalizeRelativePath(object.value(QLatin1String("path")).toString());
        const QString key = pathKey(file.path);
        if (file.path.isEmpty() || isStateFolderPath(file.path) || fileKeys.contains(key)
            || !readNonNegativeInteger(object.value(QLatin1String("size")), &file.size)
            || !readSha256Hex(object.value(QLatin1String("sha256")), &file.sha256))
            return fail(error, QStringLiteral("Invalid or duplicate file entry"));
        fileKeys.insert(key);
        file.preserve = object.value(QLatin1String("policy")).toString() == QLatin1String("preserve");
        file.executable = object.value(QLatin1String("executable")).toBool(false);

        // Unsigned: two sizes below 2^63 cannot wrap, and once the sum passes 2^63 - 1 no later
        // offset can match it, so the parse stops before a third addition.
        quint64 running = 0;
        const QJsonArray chunks = object.value(QLatin1String("chunks")).toArray();
        file.chunks.reserve(chunks.size());
        for (const QJsonValue& chunkValue : chunks) {
            ManifestChunk chunk;
            if (!readChunk(chunkValue.toObject(), &chunk)
                || static_cast<quint64>(chunk.offset) != running)
                return fail(error, QStringLiteral("Invalid chunk entry in %1").arg(file.path));
            file.chunks.append(chunk);
            running += static_cast<quint64>(chunk.size);
        }
        if (file.chunks.isEmpty() || running != static_cast<quint64>(file.size))
            return fail(error, QStringLiteral("Chunks do not cover %1").arg(file.path));
        manifest.files.append(file);
    }

    *output = manifest;
    return true;
}

QByteArray manifestToJson(const Manifest& manifest)
{
    QJsonObject chunking;
    chunking.insert(QLatin1String("algorithm"), manifest.chunking.algorithm);
    chunking.insert(QLatin1String("wholeFileThreshold"), number(manifest.chunking.wholeFileThreshold));
    chunking.insert(QLatin1String("minBytes"), number(manifest.chunking.minBytes));
    chunking.insert(QLatin1String("averageBytes"), number(manifest.chunking.averageBytes));
    chunking.insert(QLatin1String("maxBytes"), number(manifest.chunking.maxBytes));

    QJsonArray profiles;
    for (const LaunchProfile& profile : manifest.launchProfiles) {
        QJsonObject object;
        object.insert(QLatin1String("id"), profile.id);
        object.insert(QLatin1String("title"), profile.title);
        object.insert(QLatin1String("executable"), profile.executable);
        object.insert(QLatin1String("arguments"), profile.arguments);
        profiles.append(object);
    }

    QJsonArray files;
    for (const ManifestFile& file : manifest.files) {
        QJsonArray chunks;
        for (const ManifestChunk& chunk : file.chunks) {
            QJsonObject object;
            object.insert(QLatin1String("offset"), number(chunk.offset));
            object.insert(QLatin1String("size"), number(chunk.size));
            object.insert(QLatin1String("sha256"), hex(chunk.sha256));
            object.insert(QLatin1String("blobSha256"), hex(chunk.blobSha256));
            object.insert(QLatin1String("blobSize"), number(chunk.blobSize));
            chunks.append(object);
        }
        QJsonObject object;
        object.insert(QLatin1String("path"), file.path);
        object.insert(QLatin1String("size"), number(file.size));
        object.insert(QLatin1String("sha256"), hex(file.sha256));
        object.insert(QLatin1String("policy"),
                      file.preserve ? QStringLiteral("preserve") : QStringLiteral("replace"));
        // Only where true: manifests of releases without executables stay as they were.
        if (file.executable)
            object.insert(QLatin1String("executable"), true);
        object.insert(QLatin1String("chunks"), chunks);
        files.append(object);
    }

    QJsonObject root;
    root.insert(QLatin1String("schema"), manifest.schema);
    root.insert(QLatin1String("releaseId"), manifest.releaseId);
    root.insert(QLatin1String("createdUtc"), manifest.createdUtc);
    root.insert(QLatin1String("gameRoot"), manifest.gameRoot);
    root.insert(QLatin1String("compression"), manifest.compression);
    root.insert(QLatin1String("chunking"), chunking);
    root.insert(QLatin1String("launchProfiles"), profiles);
    root.insert(QLatin1String("preserve"), QJsonArray::fromStringList(manifest.preserve));
    root.insert(QLatin1String("files"), files);
    if (manifest.channelSequence > 0)
        root.insert(QLatin1String("channelSequence"), number(manifest.channelSequence));
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

} // namespace vorn

namespace {

// Queued signals carry these records; any program that links this file registers them.
void registerCoreMetaTypesAtStartup()
{
    vorn::registerCoreMetaTypes();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(registerCoreMetaTypesAtStartup)
