// Update engine throughput against what the machine can do on the same objects, in one run:
//  - fresh install of a 1 GiB release (half random, half compressible) from nginx on loopback,
//    against the least work any installer must do: curl fetching the objects four at a time,
//    then on as many threads as the engine assembles with, each file built once (every chunk
//    inflated, hashed once and written) and flushed to the disk;
//  - the apply stage alone (assembly, verification, commit);
//  - a forced run over an up-to-date installation of 10,000 files.
#include "bench/bench_common.h"
#include "bench/bench_engine.h"
#include "core/manifest.h"
#include "core/object_format.h"
#include "core/sha256.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>
#include <QtConcurrent>

#include <atomic>
#include <unistd.h>

using namespace vorn;
using namespace vorn::bench;

namespace {

struct ReferenceTimes
{
    qint64 fetchNs = -1;
    qint64 totalNs = -1;
};

// Builds one file from the fetched objects, each chunk checked against its digest (which
// vouches for its object too), and flushes it to the disk.
bool buildFile(const ManifestFile& file, const QString& objects, const QString& game)
{
    const QString path = game + QLatin1Char('/') + file.path;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray plain;
    for (const ManifestChunk& chunk : file.chunks) {
        QFile object(objects + QLatin1Char('/') + QString::fromLatin1(chunk.blobSha256.toHex())
                     + QStringLiteral(".bin"));
        if (!object.open(QIODevice::ReadOnly) || !inflateObject(object.readAll(), chunk.size, &plain)
            || Sha256::hash(plain) != chunk.sha256 || out.write(plain) != plain.size())
            return false;
    }
    return out.flush() && ::fdatasync(out.handle()) == 0;
}

ReferenceTimes referenceRun(const QString& root, const QString& baseUrl, const Manifest& manifest)
{
    ReferenceTimes times;
    const QString objects = root + QStringLiteral("/curl");
    const QString game = root + QStringLiteral("/reference-game");
    QDir(game).removeRecursively();
    QElapsedTimer timer;
    timer.start();
    times.fetchNs = curlFetchNs(distinctObjects(manifest), baseUrl, objects);
    if (times.fetchNs < 0)
        return times;
    // As many threads as the engine assembles with.
    QThreadPool pool;
    pool.setMaxThreadCount(qMax(1, qMin(4, QThread::idealThreadCount())));
    std::atomic<bool> bad{false};
    for (const ManifestFile& file : manifest.files) {
        (void)QtConcurrent::run(&pool, [&bad, &file, &objects, &game] {
            if (!buildFile(file, objects, game))
                bad = true;
        });
    }
    pool.waitForDone();
    if (!bad)
        times.totalNs = timer.nsecsElapsed();
    QDir(game).removeRecursively();
    QDir(objects).removeRecursively();
    return times;
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
    if (!ensureRandomFile(source + QStringLiteral("/random.pak"), half, 3)
        || !ensureCompressibleFile(source + QStringLiteral("/world.txt"), half)) {
        std::fprintf(stderr, "cannot prepare data under %s\n", qPrintable(root));
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

    const Nginx nginx(repo, root + QStringLiteral("/nginx"));
    if (!nginx.ok())
        return 1;
    const QString baseUrl = QStringLiteral("http://127.0.0.1:%1/").arg(nginx.port());

    NetworkService network;
    const Manifest big = readManifest(repo, QStringLiteral("big"));
    qint64 bigBytes = 0;
    for (const ManifestFile& file : big.files)
        bigBytes += file.size;

    const ReferenceTimes reference = referenceRun(root, baseUrl, big);

    // The engine makes every installed byte durable before it swaps files in; the disk's own
    // rate for that is the other bound.
    const qint64 ddNs = timeCommand(
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

    if (reference.totalNs < 0 || !fresh.ok || !manyInstall.ok || !noop.ok) {
        std::fprintf(stderr, "run failed: %s%s%s%s\n", reference.totalNs < 0 ? "reference " : "",
                     qPrintable(fresh.error), qPrintable(manyInstall.error), qPrintable(noop.error));
        return 1;
    }
    const double engineRate = mibPerSecond(bigBytes, fresh.totalNs);
    const double refRate = mibPerSecond(bigBytes, reference.totalNs);
    std::printf("fresh install of %.0f MiB from nginx on loopback: %.1f MiB/s (%.2f s; download %.2f s, "
                "apply %.2f s)\n",
                bigBytes / 1048576.0, engineRate, fresh.totalNs / 1e9,
                (fresh.totalNs - fresh.applyNs) / 1e9, fresh.applyNs / 1e9);
    std::printf("reference, curl 4 at a time, then each file inflated, hashed, written and flushed once: "
                "%.1f MiB/s (%.2f s; fetch %.2f s)\n",
                refRate, reference.totalNs / 1e9, reference.fetchNs / 1e9);
    std::printf("ratio engine / reference: %.2f\n", refRate > 0 ? engineRate / refRate : 0.0);
    std::printf("disk, 1 GiB written and flushed (dd conv=fdatasync): %.1f MiB/s\n",
                mibPerSecond(1024LL * 1024 * 1024, ddNs));
    std::printf("apply stage alone (assembly + verification + commit): %.1f MiB/s (%.2f s)\n",
                mibPerSecond(bigBytes, fresh.applyNs), fresh.applyNs / 1e9);
    std::printf("forced run over an up-to-date installation of %d files: %.3f s to ready\n",
                int(many.files.size()), noop.totalNs / 1e9);
    return 0;
}
