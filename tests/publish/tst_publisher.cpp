#include "core/channel_pointer.h"
#include "core/manifest.h"
#include "core/release_signature.h"
#include "core/object_format.h"
#include "core/sha256.h"
#include "publish/chunk_choice.h"
#include "publish/publisher.h"
#include "publish/release_keys.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace vorn;
using namespace vorn::publish;

namespace {

QByteArray randomBytes(qint64 size, quint32 seed)
{
    QByteArray bytes(int(size), Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), int(size / 4));
    return bytes;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QSet<QString> objectFiles(const QString& repo)
{
    QSet<QString> names;
    QDirIterator it(repo + QStringLiteral("/objects"), {QStringLiteral("*.bin")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names.insert(QFileInfo(it.next()).fileName());
    return names;
}

} // namespace

class TestPublisher final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_keys;
    QByteArray m_publicKey;
    QTemporaryDir m_otherKeys;
    QByteArray m_otherPublicKey;
    QScopedPointer<QTemporaryDir> m_work;

    QString source() const { return m_work->filePath(QStringLiteral("source")); }
    QString repo() const { return m_work->filePath(QStringLiteral("repo")); }

    ReleaseOptions options(const QString& releaseId) const
    {
        ReleaseOptions o;
        o.sourceDir = source();
        o.repoDir = repo();
        o.privateKeyPath = m_keys.filePath(QStringLiteral("release-private.pem"));
        o.releaseId = releaseId;
        return o;
    }

    void makeSmallTree()
    {
        writeFile(source() + QStringLiteral("/bin/vorn.exe"), QByteArray("MZ stand-in"));
        writeFile(source() + QStringLiteral("/config/user.cfg"), QByteArray("volume=7\n"));
        writeFile(source() + QStringLiteral("/data/empty.bin"), QByteArray());
        // Above the whole-file threshold, so it is cut by content.
        writeFile(source() + QStringLiteral("/data/world.pak"), randomBytes(12 * 1024 * 1024, 7));
    }

    QString privateKey(const QTemporaryDir& keys) const
    {
        return keys.filePath(QStringLiteral("release-private.pem"));
    }

    QByteArray sign(const QByteArray& data) const
    {
        ReleaseKey key;
        std::string failure;
        QByteArray signature;
        QString error;
        if (!loadPrivateKeyFile(privateKey(m_keys).toStdString(), &key, &failure)
            || !signBytes(key, data, &signature, &error))
            qFatal("cannot sign: %s%s", failure.c_str(), qPrintable(error));
        return signature;
    }

    ChannelPointer livePointer() const
    {
        ChannelPointer pointer;
        if (!parseChannelPointer(readFile(repo() + QStringLiteral("/channels/live.json")), &pointer))
            qWarning("the live pointer does not parse");
        return pointer;
    }

    Manifest publishedManifest(const QString& releaseId)
    {
        Manifest manifest;
        QString error;
        const QByteArray json = readFile(repo() + QStringLiteral("/manifests/%1.json").arg(releaseId));
        if (!parseManifest(json, &manifest, &error))
            qWarning("%s", qPrintable(error));
        return manifest;
    }

private slots:
    void initTestCase()
    {
        QString error;
        // Small keys keep the suite quick; the size does not change any format.
        QVERIFY2(generateKeyFiles(m_keys.path(), 2048, &error), qPrintable(error));
        m_publicKey = readFile(m_keys.filePath(QStringLiteral("public-key.blob")));
        QVERIFY(!m_publicKey.isEmpty());
        QVERIFY2(generateKeyFiles(m_otherKeys.path(), 2048, &error), qPrintable(error));
        m_otherPublicKey = readFile(m_otherKeys.filePath(QStringLiteral("public-key.blob")));
    }

    void init() { m_work.reset(new QTemporaryDir); }

    void keygenRefusesToOverwrite()
    {
        const QByteArray before = readFile(m_keys.filePath(QStringLiteral("release-private.pem")));
        QString error;
        QVERIFY(!generateKeyFiles(m_keys.path(), 2048, &error));
        QVERIFY(error.contains(QLatin1String("overwrite")));
        QCOMPARE(readFile(m_keys.filePath(QStringLiteral("release-private.pem"))), before);
    }

    void releaseIsSignedParsedAndComplete()
    {
        makeSmallTree();
        QVERIFY(QFile::setPermissions(source() + QStringLiteral("/bin/vorn.exe"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        ReleaseOptions o = options(QStringLiteral("r1"));
        o.preserveGlobs = QStringList{QStringLiteral("*.cfg")};
        o.keepList = QStringList{QStringLiteral(" saves/ ")};
        o.launchProfiles = {{QStringLiteral("legacy"), QStringLiteral("Legacy"),
                             QStringLiteral("bin\\vorn.exe"), QStringLiteral("-lang en")}};
        ReleaseSummary summary;
        QString error;
        QVERIFY2(publishRelease(o, &summary, &error), qPrintable(error));
        QCOMPARE(summary.files, 4);
        QCOMPARE(summary.objectsReused, 0);

        const QByteArray pointerJson = readFile(repo() + QStringLiteral("/channels/live.json"));
        QVERIFY2(verifyReleaseSignature(m_publicKey, pointerJson,
                                        readFile(repo() + QStringLiteral("/channels/live.sig")), &error),
                 qPrintable(error));
        ChannelPointer pointer;
        QVERIFY2(parseChannelPointer(pointerJson, &pointer, &error), qPrintable(error));
        QCOMPARE(pointer.releaseId, QStringLiteral("r1"));
        const QByteArray manifestJson = readFile(repo() + QLatin1Char('/') + pointer.manifestPath);
        QCOMPARE(Sha256::hash(manifestJson), pointer.manifestSha256);
        QVERIFY2(verifyReleaseSignature(m_publicKey, manifestJson,
                                        readFile(repo() + QStringLiteral("/manifests/r1.sig")), &error),
                 qPrintable(error));

        const Manifest manifest = publishedManifest(QStringLiteral("r1"));
        QCOMPARE(manifest.files.size(), 4);
        QCOMPARE(manifest.preserve, QStringList({QStringLiteral("saves/")}));
        QCOMPARE(manifest.launchProfiles.first().executable, QStringLiteral("bin/vorn.exe"));
        for (const ManifestFile& file : manifest.files) {
            QCOMPARE(file.preserve, file.path == QLatin1String("config/user.cfg"));
            QCOMPARE(file.executable, file.path == QLatin1String("bin/vorn.exe"));
            QByteArray rebuilt;
            for (const ManifestChunk& chunk : file.chunks) {
                const QByteArray blob = readFile(repo() + QLatin1Char('/') + objectRelativePath(chunk.blobSha256));
                QCOMPARE(qint64(blob.size()), chunk.blobSize);
                QCOMPARE(Sha256::hash(blob), chunk.blobSha256);
                const QByteArray plain = qUncompress(blob);
                QCOMPARE(qint64(plain.size()), chunk.size);
                QCOMPARE(Sha256::hash(plain), chunk.sha256);
                rebuilt += plain;
            }
            QCOMPARE(rebuilt, readFile(source() + QLatin1Char('/') + file.path));
        }
        QVERIFY(manifest.files.at(3).chunks.size() >= 2);

        VerifyReport report;
        QVERIFY2(verifyRelease(repo(), {m_publicKey}, QString(), &report, &error), qPrintable(error));
        QVERIFY(report.problems.isEmpty());
    }

    // Objects are written by a compressor of our choosing; the launcher's reader must take them.
    void objectsAtEveryLevelAreReadByTheLauncher_data()
    {
        QTest::addColumn<int>("level");
        for (const int level : {0, 1, 6, 12})
            QTest::addRow("level %d", level) << level;
    }

    void objectsAtEveryLevelAreReadByTheLauncher()
    {
        QFETCH(int, level);
        makeSmallTree();
        writeFile(source() + QStringLiteral("/data/notes.txt"), QByteArray("volume=7\n").repeated(5000));
        ReleaseOptions o = options(QStringLiteral("r1"));
        o.compressionLevel = level;
        QString error;
        QVERIFY2(publishRelease(o, nullptr, &error), qPrintable(error));
        for (const ManifestFile& file : publishedManifest(QStringLiteral("r1")).files) {
            for (const ManifestChunk& chunk : file.chunks) {
                QByteArray plain;
                QVERIFY(inflateObject(readFile(repo() + QLatin1Char('/') + objectRelativePath(chunk.blobSha256)),
                                      chunk.size, &plain));
                QCOMPARE(Sha256::hash(plain), chunk.sha256);
                if (file.path == QLatin1String("data/notes.txt"))
                    QCOMPARE(chunk.blobSize > chunk.size, level == 0);
            }
        }
    }

    void republishingCreatesNoObject()
    {
        makeSmallTree();
        QString error;
        QVERIFY2(publishRelease(options(QStringLiteral("r1")), nullptr, &error), qPrintable(error));
        const QSet<QString> before = objectFiles(repo());
        ReleaseSummary summary;
        QVERIFY2(publishRelease(options(QStringLiteral("r2")), &summary, &error), qPrintable(error));
        QCOMPARE(summary.objectsNew, 0);
        QCOMPARE(objectFiles(repo()), before);
        // The same ID again is refused rather than silently replaced.
        QVERIFY(!publishRelease(options(QStringLiteral("r2")), nullptr, &error));
        QVERIFY(error.contains(QLatin1String("already exists")));
    }

    void oneChangedByteAddsOnlyNearbyObjects()
    {
        QByteArray big = randomBytes(100 * 1024 * 1024, 99);
        writeFile(source() + QStringLiteral("/big.pak"), big);
        ReleaseOptions o = options(QStringLiteral("r1"));
        o.compressionLevel = 0; // random data does not compress; keep the test quick
        QString error;
        ReleaseSummary first;
        QVERIFY2(publishRelease(o, &first, &error), qPrintable(error));
        QVERIFY(first.chunks >= 13);

        big[60 * 1024 * 1024] = char(big.at(60 * 1024 * 1024) ^ 0x5a);
        writeFile(source() + QStringLiteral("/big.pak"), big);
        o.releaseId = QStringLiteral("r2");
        ReleaseSummary second;
        QVERIFY2(publishRelease(o, &second, &error), qPrintable(error));
        QVERIFY2(second.objectsNew >= 1 && second.objectsNew <= 2,
                 qPrintable(QString::number(second.objectsNew)));
        QCOMPARE(second.objectsNew + second.objectsReused, second.chunks);
    }

    void sequenceContinuesAcrossReleasesAndRefreshes()
    {
        makeSmallTree();
        QString error;
        const QDateTime start = QDateTime::currentDateTimeUtc();
        QVERIFY2(publishRelease(options(QStringLiteral("r1")), nullptr, &error), qPrintable(error));
        QCOMPARE(livePointer().sequence, qint64(1));
        ReleaseOptions o = options(QStringLiteral("r2"));
        o.expiresInDays = 2;
        QVERIFY2(publishRelease(o, nullptr, &error), qPrintable(error));
        const ChannelPointer released = livePointer();
        QCOMPARE(released.sequence, qint64(2));
        QVERIFY(released.expiresUtc >= start.addDays(2).addSecs(-1));
        QVERIFY(released.expiresUtc <= QDateTime::currentDateTimeUtc().addDays(2));

        PointerOptions refresh;
        refresh.repoDir = repo();
        refresh.privateKeyPath = privateKey(m_keys);
        RefreshSummary summary;
        QVERIFY2(refreshChannelPointer(refresh, &summary, &error), qPrintable(error));
        const ChannelPointer refreshed = livePointer();
        QCOMPARE(refreshed.sequence, qint64(3));
        QCOMPARE(refreshed.releaseId, QStringLiteral("r2"));
        QCOMPARE(refreshed.manifestSha256, released.manifestSha256);
        QVERIFY(refreshed.expiresUtc >= start.addDays(kDefaultPointerLifetimeDays).addSecs(-1));
        QCOMPARE(summary.sequence, refreshed.sequence);
        QCOMPARE(summary.expiresUtc, refreshed.expiresUtc);
        QVERIFY(!summary.manifestResigned);
        VerifyReport report;
        QVERIFY2(verifyRelease(repo(), {m_publicKey}, QString(), &report, &error), qPrintable(error));
        QCOMPARE(report.sequence, qint64(3));
        QCOMPARE(report.expiresUtc, refreshed.expiresUtc);
    }

    // Signing moves to a new key: the pointer signed by the old one is continued only when the
    // old key is named as trusted, and afterwards the live release verifies under the new key
    // alone, so launchers may then drop the old one.
    void signingMovesToANewKey()
    {
        makeSmallTree();
        QString error;
        QVERIFY2(publishRelease(options(QStringLiteral("r1")), nullptr, &error), qPrintable(error));
        const QByteArray pointer = readFile(repo() + QStringLiteral("/channels/live.json"));
        PointerOptions refresh;
        refresh.repoDir = repo();
        refresh.privateKeyPath = privateKey(m_otherKeys);
        QVERIFY(!refreshChannelPointer(refresh, nullptr, &error));
        QVERIFY2(error.contains(QLatin1String("--trust")), qPrintable(error));
        QCOMPARE(readFile(repo() + QStringLiteral("/channels/live.json")), pointer);

        refresh.trustedKeyPaths = QStringList{m_keys.filePath(QStringLiteral("public-key.blob"))};
        RefreshSummary summary;
        QVERIFY2(refreshChannelPointer(refresh, &summary, &error), qPrintable(error));
        QVERIFY(summary.manifestResigned);
        QVERIFY2(verifyRelease(repo(), {m_otherPublicKey}, QString(), nullptr, &error), qPrintable(error));

        ReleaseOptions o = options(QStringLiteral("r2"));
        o.privateKeyPath = privateKey(m_otherKeys);
        QVERIFY2(publishRelease(o, nullptr, &error), qPrintable(error));
        QCOMPARE(livePointer().sequence, qint64(3));
        QVERIFY(!verifyRelease(repo(), {m_publicKey}, QString(), nullptr, &error));
        QVERIFY2(verifyRelease(repo(), {m_publicKey, m_otherPublicKey}, QString(), nullptr, &error),
                 qPrintable(error));
    }

    void verifyFindsDamage_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("flipped bit") << "flip" << QStringList{"does not match its name"};
        QTest::newRow("truncated object") << "truncate" << QStringList{"size"};
        QTest::newRow("missing object") << "delete" << QStringList{"missing"};
        QTest::newRow("tampered manifest") << "manifest" << QStringList{"digest differs"};
        QTest::newRow("bad pointer signature") << "pointer-sig" << QStringList{"channels/live.sig:"};
        QTest::newRow("bad manifest signature") << "manifest-sig" << QStringList{"manifests/r1.sig:"};
        QTest::newRow("swapped signatures")
            << "swap" << QStringList{"channels/live.sig:", "manifests/r1.sig:"};
        QTest::newRow("wrong public key")
            << "key" << QStringList{"channels/live.sig:", "manifests/r1.sig:"};
        QTest::newRow("expired pointer") << "expired" << QStringList{"channels/live.json: expired at"};
    }

    void verifyFindsDamage()
    {
        QFETCH(QString, damage);
        QFETCH(QStringList, expected);
        makeSmallTree();
        QString error;
        QVERIFY2(publishRelease(options(QStringLiteral("r1")), nullptr, &error), qPrintable(error));
        const Manifest manifest = publishedManifest(QStringLiteral("r1"));
        const QString object = repo() + QLatin1Char('/')
            + objectRelativePath(manifest.files.last().chunks.first().blobSha256);
        const QString pointerSignature = repo() + QStringLiteral("/channels/live.sig");
        const QString manifestSignature = repo() + QStringLiteral("/manifests/r1.sig");
        QByteArray key = m_publicKey;
        QByteArray bytes = readFile(object);
        auto flipLastByte = [](const QString& path) {
            QByteArray signature = readFile(path);
            signature[signature.size() - 1] = char(signature.at(signature.size() - 1) ^ 0x01);
            writeFile(path, signature);
        };
        if (damage == QLatin1String("flip")) {
            bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 0x01);
            writeFile(object, bytes);
        } else if (damage == QLatin1String("truncate")) {
            writeFile(object, bytes.left(bytes.size() - 1));
        } else if (damage == QLatin1String("delete")) {
            QVERIFY(QFile::remove(object));
        } else if (damage == QLatin1String("pointer-sig")) {
            flipLastByte(pointerSignature);
        } else if (damage == QLatin1String("manifest-sig")) {
            flipLastByte(manifestSignature);
        } else if (damage == QLatin1String("swap")) {
            const QByteArray pointer = readFile(pointerSignature);
            writeFile(pointerSignature, readFile(manifestSignature));
            writeFile(manifestSignature, pointer);
        } else if (damage == QLatin1String("key")) {
            key = m_otherPublicKey;
        } else if (damage == QLatin1String("expired")) {
            const QByteArray json = channelPointerJson(
                QStringLiteral("r1"), QStringLiteral("manifests/r1.json"),
                Sha256::hash(readFile(repo() + QStringLiteral("/manifests/r1.json"))), 2,
                QDateTime::currentDateTimeUtc().addSecs(-60));
            writeFile(repo() + QStringLiteral("/channels/live.json"), json);
            writeFile(pointerSignature, sign(json));
        } else {
            const QString path = repo() + QStringLiteral("/manifests/r1.json");
            writeFile(path, readFile(path).replace("\"gameRoot\":\"Ostravel\"", "\"gameRoot\":\"Evil\""));
        }
        VerifyReport report;
        QVERIFY(!verifyRelease(repo(), {key}, QString(), &report, &error));
        const QString problems = report.problems.join(QLatin1Char('\n'));
        for (const QString& text : expected)
            QVERIFY2(problems.contains(text), qPrintable(problems));
    }

    void unpublishableTrees_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("symbolic link") << "symlink" << "Symbolic links";
        QTest::newRow("names differing in case") << "case" << "letter case";
        QTest::newRow("launcher state folder") << "state" << ".vorn";
        QTest::newRow("launcher state folder in capitals") << "STATE" << ".vorn";
        QTest::newRow("bad release id") << "id" << "Release ID";
        QTest::newRow("release id a device name") << "device id" << "Release ID";
        QTest::newRow("chunks too large to download") << "huge" << "could not be downloaded";
        // Names that Windows clients would read as another file.
        QTest::newRow("device file name") << "device" << "File name cannot be published";
        QTest::newRow("folder ending in a dot") << "dot" << "File name cannot be published";
    }

    void unpublishableTrees()
    {
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        makeSmallTree();
        ReleaseOptions o = options(QStringLiteral("r1"));
        if (kind == QLatin1String("symlink"))
            QVERIFY(QFile::link(source() + QStringLiteral("/bin/vorn.exe"), source() + QStringLiteral("/link.exe")));
        else if (kind == QLatin1String("case"))
            writeFile(source() + QStringLiteral("/BIN/Vorn.exe"), QByteArray("x"));
        else if (kind == QLatin1String("state"))
            writeFile(source() + QStringLiteral("/.vorn/state.json"), QByteArray("{}"));
        else if (kind == QLatin1String("STATE"))
            writeFile(source() + QStringLiteral("/.Vorn/transactions/r1/backup/a"), QByteArray("{}"));
        else if (kind == QLatin1String("id"))
            o.releaseId = QStringLiteral("../r1");
        else if (kind == QLatin1String("device id"))
            o.releaseId = QStringLiteral("aux");
        else if (kind == QLatin1String("device"))
            writeFile(source() + QStringLiteral("/bin/aux.dll"), QByteArray("x"));
        else if (kind == QLatin1String("dot"))
            writeFile(source() + QStringLiteral("/data./world.pak"), QByteArray("x"));
        else
            o.chunking.maxBytes = o.chunking.wholeFileThreshold = 64 * 1024 * 1024;
        QString error;
        QVERIFY(!publishRelease(o, nullptr, &error));
        QVERIFY2(error.contains(expected), qPrintable(error));
        QVERIFY(!QFileInfo::exists(repo() + QStringLiteral("/channels/live.json")));
    }

    // An object of the right size but damaged is not reused: it is written again.
    void aDamagedObjectInTheRepositoryIsReplaced_data()
    {
        QTest::addColumn<bool>("knownFromAnEarlierRelease");
        QTest::newRow("named by an earlier manifest") << true;
        QTest::newRow("only lying in the repository") << false;
    }

    void aDamagedObjectInTheRepositoryIsReplaced()
    {
        QFETCH(bool, knownFromAnEarlierRelease);
        makeSmallTree();
        QString error;
        QVERIFY2(publishRelease(options(QStringLiteral("r1")), nullptr, &error), qPrintable(error));
        const QString object = repo() + QLatin1Char('/')
            + objectRelativePath(publishedManifest(QStringLiteral("r1")).files.last().chunks.first().blobSha256);
        QByteArray bytes = readFile(object);
        bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 0x01);
        writeFile(object, bytes);
        if (!knownFromAnEarlierRelease)
            QVERIFY(QDir(repo() + QStringLiteral("/manifests")).removeRecursively());

        ReleaseSummary summary;
        QVERIFY2(publishRelease(options(QStringLiteral("r2")), &summary, &error), qPrintable(error));
        QCOMPARE(summary.objectsNew, 1);
        QVERIFY(readFile(object) != bytes);
        VerifyReport report;
        QVERIFY2(verifyRelease(repo(), {m_publicKey}, QString(), &report, &error),
                 qPrintable(report.problems.join(QLatin1Char('\n'))));
    }

    // The new pointer cannot take its name: the signature keeps the old one, so the pair that
    // clients read still matches.
    void aFailedSwitchKeepsThePointerPairMatching()
    {
        makeSmallTree();
        QString error;
        QVERIFY2(publishRelease(options(QStringLiteral("r1")), nullptr, &error), qPrintable(error));
        const QString pointer = repo() + QStringLiteral("/channels/live.json");
        const QByteArray pointerJson = readFile(pointer);
        const QByteArray signature = readFile(repo() + QStringLiteral("/channels/live.sig"));
        QVERIFY(QFile::remove(pointer));
        QVERIFY(QDir().mkpath(pointer + QStringLiteral("/blocked")));

        writeFile(source() + QStringLiteral("/data/new.bin"), QByteArray("new"));
        QVERIFY(!publishRelease(options(QStringLiteral("r2")), nullptr, &error));
        QCOMPARE(readFile(repo() + QStringLiteral("/channels/live.sig")), signature);
        QVERIFY2(verifyReleaseSignature(m_publicKey, pointerJson, signature, &error), qPrintable(error));
    }

    void chunkChoiceForReleaseSizes_data()
    {
        QTest::addColumn<qint64>("totalBytes");
        QTest::addColumn<int>("fileCount");
        QTest::addColumn<qint64>("expectedAverage");
        QTest::addColumn<bool>("withinBudget");
        const qint64 MiB = 1024 * 1024;
        QTest::newRow("50 MiB") << 50 * MiB << 20 << 64 * 1024LL << true;
        QTest::newRow("2 GiB") << 2048 * MiB << 200 << 128 * 1024LL << true;
        QTest::newRow("20 GiB") << 20480 * MiB << 2000 << 1 * MiB << true;
        // 100 KiB is one and a fraction cut distances at 64 KiB: two chunks, not one.
        QTest::newRow("800 MB in files of 100 KiB") << 8000 * 100 * 1024LL << 8000 << 128 * 1024LL << true;
        // Nothing keeps these under the budget: the largest step is the best there is.
        QTest::newRow("20 GiB in 100,000 files") << 20480 * MiB << 100000 << 4 * MiB << false;
        QTest::newRow("200 GiB") << 204800 * MiB << 4000 << 4 * MiB << false;
    }

    void chunkChoiceForReleaseSizes()
    {
        QFETCH(qint64, totalBytes);
        QFETCH(int, fileCount);
        QFETCH(qint64, expectedAverage);
        QFETCH(bool, withinBudget);
        const QVector<DeclaredFile> files(fileCount, DeclaredFile{totalBytes / fileCount, 40});
        const ChunkChoice choice = chooseChunking(files);
        const ChunkingOptions& chosen = choice.options;
        QCOMPARE(chosen.averageBytes, expectedAverage);
        QCOMPARE(choice.withinBudget, withinBudget);
        QCOMPARE(choice.estimatedManifestBytes < kManifestBudgetBytes, withinBudget);
        QCOMPARE(choice.estimatedManifestBytes, estimateManifestBytes(files, chosen));
        // The launcher must be able to take every chunk and every whole file.
        QCOMPARE(chosen.minBytes * 4, chosen.averageBytes);
        QVERIFY(chosen.maxBytes >= 2 * chosen.averageBytes);
        QVERIFY(chosen.maxBytes <= kMaxObjectBytes - 65536);
        QVERIFY(chosen.wholeFileThreshold >= chosen.averageBytes);
        QVERIFY(chosen.wholeFileThreshold <= chosen.maxBytes);
        // The smallest that fits: the step below would not.
        if (withinBudget && chosen.averageBytes > kSmallestChosenAverage) {
            QVERIFY(estimateManifestBytes(files, chunkingForAverage(chosen.averageBytes / 2))
                    >= kManifestBudgetBytes);
        }
    }

    // Settings chosen by size, kept like the previous release's, or given: the summary names
    // the previous release and whether the cut changed, since objects are shared only without
    // a change.
    void chunkSettingsAcrossReleases()
    {
        using Settings = ReleaseOptions::ChunkSettings;
        makeSmallTree();
        ReleaseOptions o = options(QStringLiteral("r1"));
        o.compressionLevel = 1;
        o.chunkSettings = Settings::LikePrevious; // nothing to be like yet: chosen by size
        ReleaseSummary summary;
        QString error;
        QVERIFY2(publishRelease(o, &summary, &error), qPrintable(error));
        QCOMPARE(publishedManifest(QStringLiteral("r1")).chunking, chunkingForAverage(kSmallestChosenAverage));
        QVERIFY(summary.previousReleaseId.isEmpty());
        QVERIFY(!summary.chunkingChanged());

        o.releaseId = QStringLiteral("r2");
        o.chunkSettings = Settings::AsGiven;
        QVERIFY2(publishRelease(o, &summary, &error), qPrintable(error));
        QCOMPARE(publishedManifest(QStringLiteral("r2")).chunking, ChunkingOptions());
        QCOMPARE(summary.previousReleaseId, QStringLiteral("r1"));
        QCOMPARE(summary.previousChunking, chunkingForAverage(kSmallestChosenAverage));
        QVERIFY(summary.chunkingChanged());

        o.releaseId = QStringLiteral("r3");
        o.chunkSettings = Settings::LikePrevious;
        QVERIFY2(publishRelease(o, &summary, &error), qPrintable(error));
        QCOMPARE(publishedManifest(QStringLiteral("r3")).chunking, ChunkingOptions());
        QVERIFY(!summary.chunkingChanged());
        QCOMPARE(summary.objectsNew, 0);
        QVERIFY(summary.manifestBytes > 0);
    }

    void pruneKeepsNewestAndLive()
    {
        makeSmallTree();
        QString error;
        QVERIFY2(publishRelease(options(QStringLiteral("r1")), nullptr, &error), qPrintable(error));
        writeFile(source() + QStringLiteral("/data/world.pak"), randomBytes(12 * 1024 * 1024, 8));
        QTest::qWait(5); // distinct creation times
        QVERIFY2(publishRelease(options(QStringLiteral("r2")), nullptr, &error), qPrintable(error));
        const QSet<QString> r2Objects = [&] {
            QSet<QString> names;
            for (const ManifestFile& file : publishedManifest(QStringLiteral("r2")).files)
                for (const ManifestChunk& chunk : file.chunks)
                    names.insert(QString::fromLatin1(chunk.blobSha256.toHex()) + QStringLiteral(".bin"));
            return names;
        }();
        PruneSummary summary;
        QVERIFY2(pruneRepository(repo(), 1, &summary, &error), qPrintable(error));
        QCOMPARE(summary.deletedReleases, QStringList({QStringLiteral("r1")}));
        QVERIFY(summary.objectsDeleted >= 2);
        QCOMPARE(objectFiles(repo()), r2Objects);
        QVERIFY(!QFileInfo::exists(repo() + QStringLiteral("/manifests/r1.sig")));
        QVERIFY2(verifyRelease(repo(), {m_publicKey}, QString(), nullptr, &error), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestPublisher)
#include "tst_publisher.moc"
