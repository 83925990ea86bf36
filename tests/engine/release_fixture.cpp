#include "tests/engine/release_fixture.h"

#include "core/manifest.h"
#include "engine/object_cache.h"
#include "publish/publisher.h"
#include "tests/support/http_test_server.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

namespace vorn::test {

QByteArray randomBytes(qint64 size, quint32 seed)
{
    QByteArray bytes(int(size), Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes;
}

bool writeFileBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}

QByteArray readFileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeTree(const QString& root, const FileTree& tree)
{
    for (auto it = tree.constBegin(); it != tree.constEnd(); ++it) {
        if (!writeFileBytes(QDir(root).filePath(it.key()), it.value()))
            return false;
    }
    return true;
}

FileTree readTree(const QString& root, bool withStateFolder)
{
    FileTree tree;
    const QDir base(root);
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString rel = base.relativeFilePath(it.next());
        if (!withStateFolder && rel.startsWith(QLatin1String(".vorn/")))
            continue;
        tree.insert(rel, readFileBytes(it.filePath()));
    }
    return tree;
}

bool copyTree(const QString& from, const QString& to)
{
    const QDir base(from);
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = QDir(to).filePath(base.relativeFilePath(path));
        if (it.fileInfo().isDir()) {
            if (!QDir().mkpath(target))
                return false;
        } else if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !QFile::copy(path, target)) {
            return false;
        } else {
            // A copy of an installed folder must stay installed: the state cache vouches for a
            // file only with the modification time the install recorded. (A file that cannot be
            // opened for writing keeps the copy's time and is merely read by the next planning.)
            QFile copied(target);
            if (copied.open(QIODevice::ReadWrite))
                copied.setFileTime(it.fileInfo().lastModified(), QFileDevice::FileModificationTime);
        }
    }
    return true;
}

QStringList transactionFolders(const QString& gameRoot)
{
    return QDir(QDir(gameRoot).filePath(QStringLiteral(".vorn/transactions")))
        .entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

ChunkingOptions smallChunks()
{
    ChunkingOptions options;
    options.wholeFileThreshold = 24 * 1024;
    options.minBytes = 8 * 1024;
    options.averageBytes = 16 * 1024;
    options.maxBytes = 48 * 1024;
    return options;
}

ReleaseRepository::ReleaseRepository(const QString& folder)
    : m_folder(folder)
{
}

QString ReleaseRepository::repoDirectory() const
{
    return QDir(m_folder).filePath(QStringLiteral("repo"));
}

QString ReleaseRepository::manifestFile(const QString& releaseId) const
{
    const QDir repo(repoDirectory());
    QDirIterator it(repoDirectory(), {QStringLiteral("*.json")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (repo.relativeFilePath(path).startsWith(QLatin1String("channels/")))
            continue;
        Manifest manifest;
        if (parseManifest(readFileBytes(path), &manifest) && manifest.releaseId == releaseId)
            return path;
    }
    return QString();
}

bool ReleaseRepository::publish(const QString& releaseId, const FileTree& files,
                                Manifest* manifest, QString* error, const QStringList& preserveGlobs,
                                const QStringList& executables)
{
    const QDir folder(m_folder);
    const QString keys = folder.filePath(QStringLiteral("keys"));
    if (!QFileInfo::exists(QDir(keys).filePath(QStringLiteral("release-private.pem")))
        && !publish::generateKeyFiles(keys, 2048, error))
        return false;
    const QString source = folder.filePath(QStringLiteral("source-%1").arg(releaseId));
    QDir(source).removeRecursively();
    QDir().mkpath(source);
    if (!writeTree(source, files)) {
        *error = QStringLiteral("cannot write the source tree");
        return false;
    }
    for (const QString& path : executables) {
        QFile file(QDir(source).filePath(path));
        if (!file.setPermissions(file.permissions() | QFile::ExeOwner)) {
            *error = QStringLiteral("cannot mark %1 executable").arg(path);
            return false;
        }
    }

    publish::ReleaseOptions options;
    options.sourceDir = source;
    options.repoDir = repoDirectory();
    options.privateKeyPath = QDir(keys).filePath(QStringLiteral("release-private.pem"));
    options.releaseId = releaseId;
    options.chunking = smallChunks();
    options.compressionLevel = 1;
    options.preserveGlobs = preserveGlobs;
    publish::ReleaseSummary summary;
    if (!publish::publishRelease(options, &summary, error))
        return false;
    if (!parseManifest(readFileBytes(QDir(repoDirectory()).filePath(summary.manifestPath)), manifest,
                       error))
        return false;
    return true;
}

QStringList ReleaseRepository::objectUrlPaths(const Manifest& manifest)
{
    QStringList paths;
    QSet<QByteArray> seen;
    for (const ManifestFile& file : manifest.files) {
        for (const ManifestChunk& chunk : file.chunks) {
            if (!seen.contains(chunk.blobSha256)) {
                seen.insert(chunk.blobSha256);
                paths.append(QLatin1Char('/') + objectRelativePath(chunk.blobSha256));
            }
        }
    }
    return paths;
}

void ReleaseRepository::serve(HttpTestServer* server) const
{
    const QDir repo(repoDirectory());
    QDirIterator it(repoDirectory(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        server->on(QByteArray("/") + repo.relativeFilePath(path).toUtf8(),
                   HttpResponse::text(200, readFileBytes(path)));
    }
}

FileTree firstRelease()
{
    FileTree tree;
    tree.insert(QStringLiteral("bin/vorn.exe"), randomBytes(200 * 1024, 1));
    tree.insert(QStringLiteral("data/big.pak"), randomBytes(600 * 1024, 2));
    tree.insert(QStringLiteral("data/levels/a.lvl"), randomBytes(40 * 1024, 3));
    tree.insert(QStringLiteral("data/levels/b.lvl"), randomBytes(10 * 1024, 4));
    tree.insert(QStringLiteral("readme.txt"), QByteArray("Ostravel, first release\n"));
    tree.insert(QStringLiteral("old/obsolete.dat"), randomBytes(50 * 1024, 5));
    tree.insert(QStringLiteral("config/user.cfg"), QByteArray("volume=7\n"));
    tree.insert(QStringLiteral("Removed/notes.txt"), QByteArray("notes of the first release\n"));
    tree.insert(QStringLiteral("empty.dat"), QByteArray());
    return tree;
}

FileTree secondRelease()
{
    FileTree tree = firstRelease();
    QByteArray big = tree.value(QStringLiteral("data/big.pak"));
    big.replace(280 * 1024, 40 * 1024, randomBytes(40 * 1024, 12));
    tree.insert(QStringLiteral("data/big.pak"), big);
    tree.insert(QStringLiteral("data/levels/a.lvl"), randomBytes(44 * 1024, 13));
    tree.insert(QStringLiteral("data/levels/renamed.lvl"), tree.take(QStringLiteral("data/levels/b.lvl")));
    tree.insert(QStringLiteral("readme.txt"), QByteArray("Ostravel, second release\n"));
    tree.remove(QStringLiteral("old/obsolete.dat"));
    tree.insert(QStringLiteral("data/new.pak"), randomBytes(300 * 1024, 14));
    tree.insert(QStringLiteral("config/user.cfg"), QByteArray("volume=5\n"));
    tree.insert(QStringLiteral("Removed/notes.txt"), QByteArray("notes of the second release\n"));
    return tree;
}

FileTree movedRelease()
{
    FileTree tree = firstRelease();
    tree.insert(QStringLiteral("bin/x64/vorn.exe"), tree.take(QStringLiteral("bin/vorn.exe")));
    tree.insert(QStringLiteral("packs/big.pak"), tree.take(QStringLiteral("data/big.pak")));
    tree.insert(QStringLiteral("data/obsolete.dat"), tree.take(QStringLiteral("old/obsolete.dat")));
    const QByteArray a = tree.value(QStringLiteral("data/levels/a.lvl"));
    tree.insert(QStringLiteral("data/levels/a.lvl"), tree.value(QStringLiteral("data/levels/b.lvl")));
    tree.insert(QStringLiteral("data/levels/b.lvl"), a);
    return tree;
}

QStringList userOwnedGlobs()
{
    return {QStringLiteral("config/*.cfg")};
}

FileTree expectedAfterUpdate(const FileTree& installed, const FileTree& release)
{
    FileTree expected = release;
    const QString userFile = QStringLiteral("config/user.cfg");
    if (installed.contains(userFile))
        expected.insert(userFile, installed.value(userFile));
    return expected;
}

} // namespace vorn::test
