// Update engine throughput against what the machine can do on the same objects, in one run:
//  - fresh install of a 1 GiB release (half random, half compressible) from nginx on loopback,
//    against four parallel curl processes fetching the same objects plus decompressing and
//    hashing them on every core;
//  - the apply stage alone (assembly, verification, commit);
//  - a forced run over an up-to-date installation of 10,000 files.
#include "bench/bench_common.h"
#include "core/manifest.h"
#include "core/sha256.h"
#include "engine/update_engine.h"
#include "net/network_service.h"
#include "publish/publisher.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QProcess>
#include <QtConcurrent>

#include <atomic>

using namespace vorn;

namespace {

const QString kScripts = QStringLiteral(VORN_SOURCE_DIR "/scripts");

struct RunTimes
{
    bool ok = false;
    QString error;
    qint64 totalNs = 0;
    qint64 applyNs = 0;
};

Manifest readManifest(const QString& repo, const QString& releaseId)
{
    QFile file(repo + QStringLiteral("/manifests/%1.json").arg(releaseId));
    Manifest manifest;
    if (!file.open(QIODevice::ReadOnly) || !parseManifest(file.readAll(), &manifest, nullptr))
        qFatal("cannot read manifest %s", qPrintable(releaseId));
    return manifest;
}

RunTimes runEngine(NetworkService* network, const Manifest& manifest, const QString& baseUrl,
                   const QString& game, const QString& cache)
{
    UpdateEngine engine(network);
    engine.setCacheRoot(cache);
    RunTimes times;
    QElapsedTimer clock;
    qint64 applyStart = -1;
    QEventLoop loop;
    QObject::connect(&engine, &UpdateEngine::assemblyProgressChanged, &loop, [&] {
        if (applyStart < 0)
            applyStart = clock.nsecsElapsed();
    });
    QObject::connect(&engine, &UpdateEngine::ready, &loop, [&] {
        times.ok = true;
        loop.quit();
    });
    QObject::connect(&engine, &UpdateEngine::failedDetailed, &loop,
                     [&](const QString& code, const QString& message) {
                         times.error = code + QStringLiteral(": ") + message;
                         loop.quit();
                     });
    clock.start();
    engine.start(manifest, baseUrl, game, false);
    loop.exec();
    times.totalNs = clock.nsecsElapsed();
    times.applyNs = applyStart >= 0 ? times.totalNs - applyStart : 0;
    return times;
}

bool publishOnce(const QString& source, const QString& repo, const QString& keys, const QString& id)
{
    if (QFileInfo::exists(repo + QStringLiteral("/manifests/%1.json").arg(id)))
        return true;
    publish::ReleaseOptions options;
    options.sourceDir = source;
    options.repoDir = repo;
    options.privateKeyPath = keys + QStringLiteral("/release-private.pem");
    options.releaseId = id;
    QString error;
    if (!publish::publishRelease(options, nullptr, &error)) {
        std::fprintf(stderr, "publish %s: %s\n", qPrintable(id), qPrintable(error));
        return false;
    }
    return true;
}

// Four curl processes fetch every object; then all cores decompress and hash them.
qint64 referenceNs(const QString& root, const QString& baseUrl, const Manifest& manifest, qint64* bytes)
{
    const QString download = root + QStringLiteral("/curl");
    QDir(download).removeRecursively();
    QDir().mkpath(download);
    QSet<QByteArray> seen;
    QStringList urls;
    QVector<ManifestChunk> chunks;
    for (const ManifestFile& file : manifest.files) {
        for (const ManifestChunk& chunk : file.chunks) {
            if (seen.contains(chunk.blobSha256))
                continue;
            seen.insert(chunk.blobSha256);
            chunks.append(chunk);
            urls << baseUrl + objectRelativePath(chunk.blobSha256);
        }
    }
    QFile list(root + QStringLiteral("/urls.txt"));
    if (!list.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    list.write(urls.join(QLatin1Char('\n')).toUtf8() + "\n");
    list.close();

    QElapsedTimer timer;
    timer.start();
    const qint64 fetchNs = bench::timeCommand(
        QStringLiteral("cd '%1' && xargs -P4 -n 16 curl -s --fail --remote-name-all < '%2'")
            .arg(download, list.fileName()));
    if (fetchNs < 0)
        return -1;
    std::atomic<qint64> total{0};
    std::atomic<bool> bad{false};
    QtConcurrent::blockingMap(chunks, [&](const ManifestChunk& chunk) {
        QFile object(download + QLatin1Char('/') + QString::fromLatin1(chunk.blobSha256.toHex()) + QStringLiteral(".bin"));
        if (!object.open(QIODevice::ReadOnly)) {
            bad = true;
            return;
        }
        const QByteArray blob = object.readAll();
        const QByteArray plain = qUncompress(blob);
        if (Sha256::hash(blob) != chunk.blobSha256 || Sha256::hash(plain) != chunk.sha256)
            bad = true;
        total += plain.size();
    });
    *bytes = total;
    return bad ? -1 : timer.nsecsElapsed();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/vorn-bench/install");
    const QString source = root + QStringLiteral("/source");
    const QString manySource = root + QStringLiteral("/many");
    const QString repo = root + QStringLiteral("/repo");
    const QString keys = root + QStringLiteral("/keys");
    QDir().mkpath(source);
    const qint64 half = 512LL * 1024 * 1024;
    QString error;
    if (!bench::ensureRandomFile(source + QStringLiteral("/random.pak"), half, 3)
        || !bench::ensureCompressibleFile(source + QStringLiteral("/world.txt"), half)
        || (!QFileInfo::exists(keys + QStringLiteral("/release-private.pem"))
            && !publish::generateKeyFiles(keys, 3072, &error))) {
        std::fprintf(stderr, "cannot prepare data under %s %s\n", qPrintable(root), qPrintable(error));
        return 1;
    }
    if (!QFileInfo::exists(manySource + QStringLiteral("/d99/f99.dat"))) {
        for (int d = 0; d < 100; ++d) {
            QDir().mkpath(manySource + QStringLiteral("/d%1").arg(d));
            for (int f = 0; f < 100; ++f) {
                QFile file(manySource + QStringLiteral("/d%1/f%2.dat").arg(d).arg(f));
                if (!file.open(QIODevice::WriteOnly))
                    return 1;
                file.write(QByteArray(1000 + d * 10 + f, char('a' + f % 26)));
            }
        }
    }
    if (!publishOnce(source, repo, keys, QStringLiteral("big")) || !publishOnce(manySource, repo, keys, QStringLiteral("many")))
        return 1;

    const QString port = [] {
        QProcess p;
        p.start(kScripts + QStringLiteral("/free-port"), QStringList());
        p.waitForFinished();
        return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
    }();
    const QString run = root + QStringLiteral("/nginx");
    if (QProcess::execute(kScripts + QStringLiteral("/nginx-serve"), {QStringLiteral("start"), repo, port, run}) != 0)
        return 1;
    const QString baseUrl = QStringLiteral("http://127.0.0.1:%1/").arg(port);

    NetworkService network;
    const Manifest big = readManifest(repo, QStringLiteral("big"));
    qint64 bigBytes = 0;
    for (const ManifestFile& file : big.files)
        bigBytes += file.size;

    qint64 referenceBytes = 0;
    const qint64 refNs = referenceNs(root, baseUrl, big, &referenceBytes);

    // The engine makes every installed byte durable before it swaps files in; the disk's own
    // rate for that is the other bound.
    const qint64 ddNs = bench::timeCommand(
        QStringLiteral("dd if=/dev/zero of='%1/dd.bin' bs=1M count=1024 conv=fdatasync status=none && rm -f '%1/dd.bin'")
            .arg(root));

    const QString game = root + QStringLiteral("/game");
    const QString cache = root + QStringLiteral("/cache");
    QDir(game).removeRecursively();
    QDir(cache).removeRecursively();
    const RunTimes fresh = runEngine(&network, big, baseUrl, game, cache);

    const Manifest many = readManifest(repo, QStringLiteral("many"));
    const QString manyGame = root + QStringLiteral("/many-game");
    QDir(manyGame).removeRecursively();
    const RunTimes manyInstall = runEngine(&network, many, baseUrl, manyGame, cache);
    const RunTimes noop = runEngine(&network, many, baseUrl, manyGame, cache);

    QProcess::execute(kScripts + QStringLiteral("/nginx-serve"), {QStringLiteral("stop"), run});
    if (!fresh.ok || !manyInstall.ok || !noop.ok) {
        std::fprintf(stderr, "engine run failed: %s%s%s\n", qPrintable(fresh.error),
                     qPrintable(manyInstall.error), qPrintable(noop.error));
        return 1;
    }
    const double engineRate = bench::mibPerSecond(bigBytes, fresh.totalNs);
    const double refRate = bench::mibPerSecond(referenceBytes, refNs);
    std::printf("fresh install of %.0f MiB from nginx on loopback: %.1f MiB/s (%.2f s)\n",
                bigBytes / 1048576.0, engineRate, fresh.totalNs / 1e9);
    std::printf("reference, 4 parallel curl + decompress + hash on all cores: %.1f MiB/s (%.2f s)\n",
                refRate, refNs / 1e9);
    std::printf("ratio engine / reference: %.2f\n", refRate > 0 ? engineRate / refRate : 0.0);
    std::printf("disk, 1 GiB written and flushed (dd conv=fdatasync): %.1f MiB/s\n",
                bench::mibPerSecond(1024LL * 1024 * 1024, ddNs));
    std::printf("apply stage alone (assembly + verification + commit): %.1f MiB/s (%.2f s)\n",
                bench::mibPerSecond(bigBytes, fresh.applyNs), fresh.applyNs / 1e9);
    std::printf("forced run over an up-to-date installation of %d files: %.3f s to ready\n",
                int(many.files.size()), noop.totalNs / 1e9);
    return 0;
}
