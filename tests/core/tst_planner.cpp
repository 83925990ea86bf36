#include "core/chunker.h"
#include "core/local_state.h"
#include "core/planner.h"
#include "core/sha256.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

using namespace vorn;

namespace {

constexpr qint64 MiB = 1024 * 1024;

QByteArray randomBytes(qint64 size, quint32 seed)
{
    QByteArray data(int(size), Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(data.data()), int(size / 4));
    return data;
}

// The object that carries a chunk: named by a digest derived from the chunk's own.
QByteArray blobOf(const QByteArray& chunkDigest)
{
    return Sha256::hash("blob:" + chunkDigest);
}

// A manifest entry cut the way the publisher cuts it.
ManifestFile describe(const QString& path, const QByteArray& content,
                      const ChunkingOptions& options = ChunkingOptions())
{
    ManifestFile file;
    file.path = path;
    file.size = content.size();
    file.sha256 = Sha256::hash(content);
    QBuffer buffer;
    buffer.setData(content);
    const QVector<ChunkRange> ranges = split(options, &buffer, content.size());
    for (const ChunkRange& range : ranges) {
        const QByteArray digest = Sha256::hash(content.mid(int(range.offset), int(range.size)));
        file.chunks.append({range.offset, range.size, digest, blobOf(digest), range.size / 2 + 1});
    }
    return file;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

Manifest release(const QString& id, const QVector<ManifestFile>& files)
{
    Manifest manifest;
    manifest.releaseId = id;
    manifest.files = files;
    return manifest;
}

// Marks the folder as installed with manifest, as a finished update leaves it.
void recordInstall(const QDir& folder, const Manifest& manifest)
{
    QString error;
    QVERIFY2(writeInstalledManifest(folder, manifest, &error), qPrintable(error));
    writeLocalState(folder, manifest);
}

} // namespace

class TestPlanner final : public QObject
{
    Q_OBJECT

private slots:
    void emptyFolderNeedsEverything()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("Game/Nested"); // created by the planner
        ManifestFile a = describe("System/Game.exe", "abc");
        ManifestFile b = describe("Data/b.pak", "defg");
        b.chunks[0].blobSha256 = a.chunks[0].blobSha256; // one object for both
        b.chunks[0].blobSize = a.chunks[0].blobSize;
        ManifestFile c = describe("Data/c.pak", QByteArray());
        const UpdatePlan plan = buildUpdatePlan(release("r2", {a, b, c}), root);
        QVERIFY2(plan.ok, qPrintable(plan.error));
        QVERIFY(QFileInfo(root).isDir());
        QCOMPARE(plan.releaseId, QStringLiteral("r2"));
        QCOMPARE(plan.files.size(), 3);
        QCOMPARE(plan.files[1].file, b);
        QCOMPARE(plan.files[1].targetPath, QDir(root).filePath("Data/b.pak"));
        for (const FilePlan& file : plan.files)
            for (const ChunkSource& source : file.sources)
                QVERIFY(source.fromObject && source.localOffset == 0);
        QCOMPARE(plan.objects.size(), 2);
        QVERIFY(plan.objects[0].sha256.toHex() < plan.objects[1].sha256.toHex());
        QCOMPARE(plan.downloadBytes, a.chunks[0].blobSize + c.chunks[0].blobSize);
        QCOMPARE(plan.assembleBytes, qint64(7));
        QVERIFY(plan.removals.isEmpty());
    }

    void upToDateFolder_data()
    {
        QTest::addColumn<bool>("withState");
        QTest::newRow("trusted by the cache") << true;
        QTest::newRow("hashed without cache") << false;
    }

    void upToDateFolder()
    {
        QFETCH(bool, withState);
        QTemporaryDir dir;
        const QDir folder(dir.path());
        QVector<ManifestFile> files;
        for (int i = 0; i < 40; ++i) {
            const QByteArray content = randomBytes(1000 + i * 37, quint32(i));
            const QString path = QStringLiteral("Data/%1.pak").arg(i);
            QVERIFY(writeFile(folder.filePath(path), content));
            files.append(describe(path, content));
        }
        const Manifest manifest = release("r1", files);
        if (withState)
            recordInstall(folder, manifest);
        const UpdatePlan plan = buildUpdatePlan(manifest, dir.path());
        QVERIFY2(plan.ok, qPrintable(plan.error));
        QVERIFY(plan.files.isEmpty() && plan.objects.isEmpty() && plan.removals.isEmpty());
        QCOMPARE(plan.downloadBytes + plan.assembleBytes, qint64(0));
    }

    void cacheVouchesWithoutReading()
    {
        // Same size and time, other content: only a planner that reads the file would notice.
        QTemporaryDir dir;
        const QDir folder(dir.path());
        const QString path = folder.filePath("Data/a.pak");
        QVERIFY(writeFile(path, "original"));
        const Manifest manifest = release("r1", {describe("Data/a.pak", "original")});
        recordInstall(folder, manifest);
        const QDateTime modified = QFileInfo(path).lastModified();
        QVERIFY(writeFile(path, "modified"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
        file.close();

        QVERIFY(buildUpdatePlan(manifest, dir.path()).files.isEmpty());
        QFile::remove(localStatePath(folder));
        QCOMPARE(buildUpdatePlan(manifest, dir.path()).files.size(), 1);
    }

    void changedMiddleReusesTheRest()
    {
        QTemporaryDir dir;
        const QDir folder(dir.path());
        const QByteArray old = randomBytes(100 * MiB, 1);
        QByteArray changed = old;
        const QByteArray middle = randomBytes(MiB, 2);
        changed.replace(50 * MiB, MiB, middle);
        QVERIFY(writeFile(folder.filePath("Data/big.pak"), old));
        const ManifestFile entry = describe("Data/big.pak", changed);
        const UpdatePlan plan = buildUpdatePlan(release("r2", {entry}), dir.path());
        QVERIFY2(plan.ok, qPrintable(plan.error));
        QCOMPARE(plan.files.size(), 1);

        QSet<QByteArray> expectedObjects;
        int reused = 0;
        const QVector<ChunkSource>& sources = plan.files[0].sources;
        QCOMPARE(sources.size(), entry.chunks.size());
        for (const ChunkSource& source : sources) {
            const QByteArray wanted = changed.mid(int(source.offset), int(source.size));
            if (!source.fromObject) {
                ++reused;
                QCOMPARE(old.mid(int(source.localOffset), int(source.size)), wanted);
            } else {
                QCOMPARE(source.localOffset, qint64(0));
                expectedObjects.insert(source.blobSha256);
                QVERIFY(old.indexOf(wanted) < 0);
            }
        }
        QVERIFY2(sources.size() - reused <= 3, "only the chunks around the change should be missing");
        QVERIFY(reused >= sources.size() - 3 && reused > 10);
        QCOMPARE(plan.objects.size(), expectedObjects.size());
        for (const ObjectRef& object : plan.objects)
            QVERIFY(expectedObjects.contains(object.sha256));
        QCOMPARE(plan.assembleBytes, qint64(100 * MiB));
    }

    // Bytes the installed release already holds come from wherever they lie, as long as the
    // installed manifest still describes that file without reading it.
    void reusesOtherInstalledFiles_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("source"); // where its reused chunks lie; empty: nowhere
        QTest::addColumn<bool>("allLocal");
        QTest::newRow("renamed") << "rename" << "Data/b.pak" << "Data/a.pak" << true;
        QTest::newRow("moved into another folder") << "move" << "Other/Deep/a.pak" << "Data/a.pak" << true;
        QTest::newRow("chunks shared with an unchanged file") << "share" << "Data/mix.pak" << "Data/a.pak" << false;
        QTest::newRow("source replaced by the same release") << "swap" << "Data/b.pak" << "Data/a.pak" << true;
        QTest::newRow("source touched after the install") << "touch" << "Data/b.pak" << "" << false;
        QTest::newRow("the player's file, not installed") << "player" << "Data/b.pak" << "" << false;
        QTest::newRow("the player's at the install") << "preserved" << "Data/b.pak" << "" << false;
    }

    void reusesOtherInstalledFiles()
    {
        QFETCH(QString, change);
        QFETCH(QString, target);
        QFETCH(QString, source);
        QFETCH(bool, allLocal);
        QTemporaryDir dir;
        const QDir folder(dir.path());
        ChunkingOptions small;
        small.wholeFileThreshold = 24 * 1024;
        small.minBytes = 8 * 1024;
        small.averageBytes = 16 * 1024;
        small.maxBytes = 48 * 1024;
        const QByteArray a = randomBytes(256 * 1024, 11);
        const QByteArray other = randomBytes(40 * 1024, 12);
        Manifest installed = release("r1", {describe("Data/a.pak", a, small), describe("Data/c.pak", other, small)});
        installed.chunking = small;
        installed.files[0].preserve = change == "preserved";
        for (const ManifestFile& file : installed.files)
            QVERIFY(writeFile(folder.filePath(file.path), file.path == "Data/a.pak" ? a : other));
        if (change == "player") {
            // Only c.pak was installed; a.pak is the player's own.
            installed.files.removeFirst();
        }
        recordInstall(folder, installed);
        if (change == "touch") {
            QFile touched(folder.filePath("Data/a.pak"));
            QVERIFY(touched.open(QIODevice::ReadWrite));
            QVERIFY(touched.setFileTime(QFileInfo(touched).lastModified().addSecs(-60),
                                        QFileDevice::FileModificationTime));
        }

        QVector<ManifestFile> files{describe("Data/c.pak", other, small)};
        QByteArray wanted = a;
        if (change == "move") {
            files.append(describe(target, a, small));
        } else if (change == "share") {
            wanted = a.left(128 * 1024) + randomBytes(64 * 1024, 13);
            files.append(describe("Data/a.pak", a, small));
            files.append(describe(target, wanted, small));
        } else if (change == "swap") {
            files.append(describe("Data/a.pak", randomBytes(100 * 1024, 14), small));
            files.append(describe(target, a, small));
        } else {
            files.append(describe(target, a, small));
        }
        Manifest next = release("r2", files);
        next.chunking = small;
        const UpdatePlan plan = buildUpdatePlan(next, dir.path());
        QVERIFY2(plan.ok, qPrintable(plan.error));

        const FilePlan* built = nullptr;
        for (const FilePlan& file : plan.files)
            built = file.file.path == target ? &file : built;
        QVERIFY(built);
        QSet<QByteArray> objects;
        for (const ObjectRef& object : plan.objects)
            objects.insert(object.sha256);
        int local = 0;
        for (const ChunkSource& chunk : built->sources) {
            if (chunk.fromObject) {
                QVERIFY(objects.contains(chunk.blobSha256));
                continue;
            }
            ++local;
            QCOMPARE(chunk.localPath, folder.filePath(source));
            QFile from(chunk.localPath);
            QVERIFY(from.open(QIODevice::ReadOnly) && from.seek(chunk.localOffset));
            QCOMPARE(from.read(chunk.size), wanted.mid(int(chunk.offset), int(chunk.size)));
        }
        QCOMPARE(local == built->sources.size(), allLocal);
        QCOMPARE(local > 0, !source.isEmpty());
        if (allLocal && change != "swap")
            QVERIFY(plan.objects.isEmpty());
        QCOMPARE(plan.removals.contains("Data/a.pak"), change == "rename" || change == "move"
                                                           || change == "touch");
    }

    void preservedFiles()
    {
        QTemporaryDir dir;
        const QDir folder(dir.path());
        ManifestFile present = describe("Config/user.ini", "publisher defaults");
        present.preserve = true;
        ManifestFile missing = describe("Config/keys.ini", "publisher keys");
        missing.preserve = true;
        QVERIFY(writeFile(folder.filePath("Config/user.ini"), "the player's own settings"));
        const UpdatePlan plan = buildUpdatePlan(release("r2", {present, missing}), dir.path());
        QVERIFY2(plan.ok, qPrintable(plan.error));
        QCOMPARE(plan.files.size(), 1);
        QCOMPARE(plan.files[0].file.path, QStringLiteral("Config/keys.ini"));
        QVERIFY(plan.files[0].sources[0].fromObject);
    }

    void removals()
    {
        QTemporaryDir dir;
        const QDir folder(dir.path());
        ManifestFile kept = describe("Data/Kept.cfg", "k");
        kept.preserve = true;
        const Manifest installed = release("r1", {describe("Data/Old.pak", "o"), kept,
                                                  describe("Data/Moved.PAK", "m"),
                                                  describe("Data/Gone.pak", "g")});
        for (const ManifestFile& file : installed.files)
            QVERIFY(writeFile(folder.filePath(file.path), file.path == "Data/Kept.cfg" ? "k" : "x"));
        QVERIFY(writeFile(folder.filePath("Data/user-made.txt"), "mine"));
        recordInstall(folder, installed);

        ManifestFile nowPreserved = describe("Data/Gone.pak", "g");
        nowPreserved.preserve = true;
        const Manifest next = release("r2", {describe("data/moved.pak", "m"), nowPreserved});
        const UpdatePlan plan = buildUpdatePlan(next, dir.path());
        QVERIFY2(plan.ok, qPrintable(plan.error));
        QCOMPARE(plan.removals, QStringList{"Data/Old.pak"});
    }

    void objectSizeConflict()
    {
        QTemporaryDir dir;
        ManifestFile a = describe("a.bin", "aaaa");
        ManifestFile b = describe("b.bin", "bbbb");
        b.chunks[0].blobSha256 = a.chunks[0].blobSha256;
        a.chunks[0].blobSize = 100;
        b.chunks[0].blobSize = 120;
        UpdatePlan plan = buildUpdatePlan(release("r", {a, b}), dir.path());
        QVERIFY(!plan.ok);
        QCOMPARE(plan.error, QStringLiteral("Conflicting object sizes in manifest"));

        // A chunk taken from the old copy needs no object, so there is nothing to conflict with.
        QVERIFY(writeFile(QDir(dir.path()).filePath("b.bin"), "bbbb-old"));
        b.chunks[0].sha256 = Sha256::hash("bbbb-old");
        b.chunks[0].size = 8;
        b.size = 8;
        plan = buildUpdatePlan(release("r", {a, b}), dir.path());
        QVERIFY2(plan.ok, qPrintable(plan.error));
        QCOMPARE(plan.objects.size(), 1);
        QVERIFY(!plan.files[1].sources[0].fromObject);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("folder below a file") << "uncreatable" << "Cannot create game directory: %1";
        QTest::newRow("unsafe path") << "unsafe" << "Unsafe target path in manifest";
        QTest::newRow("path into the launcher's state") << "state" << "Unsafe target path in manifest";
        QTest::newRow("folder that is a link")
            << "link" << "Data in the game folder is a link; updates never write through links";
        QTest::newRow("copy cannot be chunked") << "inspect"
                                                << "Cannot inspect Data/a.pak: Invalid chunking options";
    }

    void failures()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QDir folder(dir.path());
        QString root = dir.path();
        Manifest manifest = release("r9", {describe("Data/a.pak", "new content")});
        if (kind == "uncreatable") {
            QVERIFY(writeFile(folder.filePath("file"), "x"));
            root = folder.filePath("file") + "/game/../game";
            message = message.arg(root);
        } else if (kind == "unsafe") {
            manifest.files.append(describe("../escape.dll", "x"));
        } else if (kind == "state") {
            manifest.files.append(describe(".Vorn/state.json", "x"));
        } else if (kind == "link") {
            QVERIFY(QDir().mkpath(folder.filePath("elsewhere")));
            QVERIFY(QFile::link(folder.filePath("elsewhere"), folder.filePath("Data")));
        } else {
            QVERIFY(writeFile(folder.filePath("Data/a.pak"), "old content"));
            manifest.chunking.minBytes = 0;
        }
        const UpdatePlan plan = buildUpdatePlan(manifest, root);
        QVERIFY(!plan.ok);
        QCOMPARE(plan.error, message);
        QCOMPARE(plan.releaseId, QStringLiteral("r9"));
    }

    void emptyCopyIsNotInspected()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(QDir(dir.path()).filePath("a.pak"), QByteArray()));
        Manifest manifest = release("r", {describe("a.pak", "content")});
        manifest.chunking.minBytes = 0; // would make chunking fail
        const UpdatePlan plan = buildUpdatePlan(manifest, dir.path());
        QVERIFY2(plan.ok, qPrintable(plan.error));
        QCOMPARE(plan.files.size(), 1);
    }

    void unreadableCopyComesFromObjects_data()
    {
        QTest::addColumn<QString>("inTheWay");
        QTest::newRow("cannot be opened") << "file";
        QTest::newRow("folder in its place") << "folder";
        // Never read through: the link itself is replaced, even when its target is right.
        QTest::newRow("link to the right content") << "link";
    }

    void unreadableCopyComesFromObjects()
    {
        QFETCH(QString, inTheWay);
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath("a.pak");
        const QByteArray content = randomBytes(64 * 1024, 5);
        const Manifest manifest = release("r", {describe("a.pak", content)});
        if (inTheWay == "folder") {
            QVERIFY(QDir().mkpath(path + "/inside"));
        } else if (inTheWay == "link") {
            QVERIFY(writeFile(path + ".elsewhere", content));
            QVERIFY(QFile::link(path + ".elsewhere", path));
        } else {
            QVERIFY(writeFile(path, content));
        }

        UpdatePlan plan;
        if (inTheWay != "file") {
            plan = buildUpdatePlan(manifest, dir.path());
        } else {
            // Opening fails for every user, root included, when no descriptor is left.
            rlimit saved{};
            QVERIFY(getrlimit(RLIMIT_NOFILE, &saved) == 0);
            QFile probe("/dev/null");
            QVERIFY(probe.open(QIODevice::ReadOnly));
            const rlim_t lowestFree = rlim_t(probe.handle());
            probe.close();
            rlimit tight = saved;
            tight.rlim_cur = lowestFree;
            QVERIFY(setrlimit(RLIMIT_NOFILE, &tight) == 0);
            plan = buildUpdatePlan(manifest, dir.path());
            QVERIFY(setrlimit(RLIMIT_NOFILE, &saved) == 0);
        }
        QVERIFY2(plan.ok, qPrintable(plan.error));
        QCOMPARE(plan.files.size(), 1);
        QVERIFY(plan.files[0].sources[0].fromObject);
        QCOMPARE(plan.objects.size(), 1);
    }

    void manyFilesKeepManifestOrder()
    {
        QTemporaryDir dir;
        const QDir folder(dir.path());
        QVector<ManifestFile> files;
        QStringList expected;
        for (int i = 0; i < 200; ++i) {
            const QString path = QStringLiteral("Data/%1.pak").arg(199 - i);
            const QByteArray content = randomBytes(2000 + i, quint32(1000 + i));
            if (i % 3 == 0)
                QVERIFY(writeFile(folder.filePath(path), content));
            else if (i % 3 == 1)
                QVERIFY(writeFile(folder.filePath(path), content.left(1000) + "changed"));
            if (i % 3 != 0)
                expected.append(path);
            files.append(describe(path, content));
        }
        const UpdatePlan first = buildUpdatePlan(release("r", files), dir.path());
        QVERIFY2(first.ok, qPrintable(first.error));
        QStringList planned;
        for (const FilePlan& file : first.files)
            planned.append(file.file.path);
        QCOMPARE(planned, expected);
        for (int run = 0; run < 3; ++run)
            QVERIFY(buildUpdatePlan(release("r", files), dir.path()) == first);
        const int byName = QMetaType::type("vorn::UpdatePlan"); // registered at start-up
        QVERIFY(byName != QMetaType::UnknownType);
        QCOMPARE(byName, qMetaTypeId<UpdatePlan>());
    }
};

QTEST_GUILESS_MAIN(TestPlanner)
#include "tst_planner.moc"
