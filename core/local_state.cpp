#include "core/local_state.h"

#include "core/manifest.h"
#include "core/paths.h"
#include "core/save_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>

#include <cmath>

namespace vorn {

namespace {

// state.json holds doubles; anything that is no qint64 becomes -1, which matches no real file.
qint64 toInteger(const QJsonValue& value)
{
    const double d = value.toDouble(-1);
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!std::isfinite(d) || d < -limit || d >= limit)
        return -1;
    return static_cast<qint64>(d);
}

bool writeWhole(QSaveFile* file, const QByteArray& bytes)
{
    return file->open(QIODevice::WriteOnly) && file->write(bytes) == bytes.size() && commitSaveFile(file);
}

// QSaveFile writes to a link's target; with the link gone it makes a regular file instead. A
// link to a folder (on Windows also a junction) goes the way an empty folder does, which leaves
// its target as it is.
void removeUnlessFileOrFolder(const QString& path)
{
    const EntryKind kind = entryKind(path);
    if ((kind == EntryKind::Link || kind == EntryKind::Other) && !QFile::remove(path))
        QDir().rmdir(path);
}

const QLatin1String kStateFolder(".vorn");

} // namespace

QString installedManifestPath(const QDir& gameFolder)
{
    return gameFolder.filePath(QStringLiteral(".vorn/installed-manifest.json"));
}

QString localStatePath(const QDir& gameFolder)
{
    return gameFolder.filePath(QStringLiteral(".vorn/state.json"));
}

bool isStateFolderPath(const QString& normalizedPath)
{
    return normalizedPath.section(QLatin1Char('/'), 0, 0).compare(kStateFolder, Qt::CaseInsensitive) == 0;
}

bool ensureStateFolder(const QDir& gameFolder, QString* error)
{
    const QString folder = gameFolder.filePath(kStateFolder);
    removeUnlessFileOrFolder(folder);
    // Checked again after mkpath, which accepts a link to a folder as the folder.
    if (entryKind(folder) == EntryKind::Directory
        || (QDir().mkpath(folder) && entryKind(folder) == EntryKind::Directory))
        return true;
    if (error)
        *error = QStringLiteral("Cannot create directory %1").arg(QFileInfo(folder).absoluteFilePath());
    return false;
}

void removeStaleStateFiles(const QDir& gameFolder)
{
    // QSaveFile's temporary names: the file's own name, a dot and six letters or digits.
    static const QRegularExpression temporary(
        QStringLiteral("^(installed-manifest|state)\\.json\\.[A-Za-z0-9]{6}$"));
    const QDir folder(gameFolder.filePath(kStateFolder));
    if (entryKind(folder.path()) != EntryKind::Directory)
        return;
    const QStringList names = folder.entryList(QDir::Files | QDir::System | QDir::Hidden);
    for (const QString& name : names) {
        if (temporary.match(name).hasMatch())
            QFile::remove(folder.filePath(name));
    }
}

LocalState loadLocalState(const QDir& gameFolder)
{
    QByteArray bytes;
    // Opening anything but a regular file could block (a FIFO waits for a writer forever), and
    // a link to a device would never end.
    if (!readRegularFile(localStatePath(gameFolder), kMaxInstalledManifestBytes, &bytes))
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject())
        return {};
    const QJsonObject root = document.object();
    if (root.value(QLatin1String("schema")).toInt(0) != 1)
        return {};

    LocalState state;
    const QJsonArray files = root.value(QLatin1String("files")).toArray();
    state.reserve(files.size());
    for (const QJsonValue& element : files) {
        const QJsonObject entry = element.toObject();
        const QString path = normalizeRelativePath(entry.value(QLatin1String("path")).toString());
        if (path.isEmpty())
            continue;
        LocalFileState recorded;
        recorded.size = toInteger(entry.value(QLatin1String("size")));
        recorded.modifiedMs = toInteger(entry.value(QLatin1String("modifiedMs")));
        state.insert(pathKey(path), recorded);
    }
    return state;
}

bool writeInstalledManifest(const QDir& gameFolder, const Manifest& manifest, QString* error)
{
    const QString path = installedManifestPath(gameFolder);
    if (!ensureStateFolder(gameFolder, error))
        return false;
    removeUnlessFileOrFolder(path);
    QSaveFile file(path);
    if (!writeWhole(&file, manifestToJson(manifest))) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

void writeLocalState(const QDir& gameFolder, const Manifest& manifest)
{
    QJsonArray files;
    for (const ManifestFile& entry : manifest.files) {
        const QString path = normalizeRelativePath(entry.path);
        if (path.isEmpty())
            continue;
        const FileStatus status = fileStatus(gameFolder.filePath(path));
        if (!status.isFile || status.isLink)
            continue;
        files.append(QJsonObject{{QStringLiteral("path"), path},
                                 {QStringLiteral("size"), static_cast<double>(status.size)},
                                 {QStringLiteral("modifiedMs"), static_cast<double>(status.modifiedMs)}});
    }
    const QJsonObject root{{QStringLiteral("schema"), 1},
                           {QStringLiteral("releaseId"), manifest.releaseId},
                           {QStringLiteral("files"), files}};
    const QString path = localStatePath(gameFolder);
    if (!ensureStateFolder(gameFolder))
        return;
    removeUnlessFileOrFolder(path);
    QSaveFile file(path);
    if (!writeWhole(&file, QJsonDocument(root).toJson(QJsonDocument::Compact)))
        file.cancelWriting();
}

bool isDescribedByInstall(const FileStatus& current, const ManifestFile* installed,
                          const LocalFileState* recorded)
{
    return current.isFile && !current.isLink && installed && recorded && !installed->preserve
        && installed->size == current.size && recorded->size == current.size
        && recorded->modifiedMs == current.modifiedMs;
}

bool isTrustedByCache(const FileStatus& current, const ManifestFile& wanted,
                      const ManifestFile* installed, const LocalFileState* recorded)
{
    return isDescribedByInstall(current, installed, recorded) && installed->sha256 == wanted.sha256
        && installed->size == wanted.size;
}

void forgetLocalState(const QDir& gameFolder, const QStringList& paths)
{
    const QString path = localStatePath(gameFolder);
    QByteArray bytes;
    if (paths.isEmpty() || !readRegularFile(path, kMaxInstalledManifestBytes, &bytes))
        return;
    QJsonObject root = QJsonDocument::fromJson(bytes).object();
    QSet<QString> forgotten;
    for (const QString& forget : paths)
        forgotten.insert(pathKey(forget));
    QJsonArray kept;
    const QJsonArray files = root.value(QLatin1String("files")).toArray();
    for (const QJsonValue& element : files) {
        const QString entryPath = normalizeRelativePath(element.toObject().value(QLatin1String("path")).toString());
        if (entryPath.isEmpty() || !forgotten.contains(pathKey(entryPath)))
            kept.append(element);
    }
    if (kept.size() == files.size())
        return;
    root.insert(QStringLiteral("files"), kept);
    QSaveFile save(path);
    if (!writeWhole(&save, QJsonDocument(root).toJson(QJsonDocument::Compact)))
        save.cancelWriting();
}

} // namespace vorn
