// Publishing throughput: 1 GiB of mixed data (half random, half compressible) published at the
// default level with both cores, against gzip -6 over the same bytes in the same run.
#include "bench/bench_common.h"
#include "publish/publisher.h"

#include <QCoreApplication>
#include <QDir>
#include <QThreadPool>

using namespace vorn;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/vorn-bench/publish");
    const qint64 half = 512LL * 1024 * 1024;
    const QString source = root + QStringLiteral("/source");
    QDir().mkpath(source);
    if (!bench::ensureRandomFile(source + QStringLiteral("/random.pak"), half, 1)
        || !bench::ensureCompressibleFile(source + QStringLiteral("/world.txt"), half)) {
        std::fprintf(stderr, "cannot create the data under %s\n", qPrintable(root));
        return 1;
    }
    bench::warmPageCache(source + QStringLiteral("/random.pak"));
    bench::warmPageCache(source + QStringLiteral("/world.txt"));

    QString error;
    const QString keys = root + QStringLiteral("/keys");
    if (!QFileInfo::exists(keys + QStringLiteral("/release-private.pem"))
        && !publish::generateKeyFiles(keys, 3072, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }

    const QString repo = root + QStringLiteral("/repo");
    QDir(repo).removeRecursively();
    publish::ReleaseOptions options;
    options.sourceDir = source;
    options.repoDir = repo;
    options.privateKeyPath = keys + QStringLiteral("/release-private.pem");
    options.releaseId = QStringLiteral("bench");
    publish::ReleaseSummary summary;
    QElapsedTimer timer;
    timer.start();
    if (!publish::publishRelease(options, &summary, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const qint64 publishNs = timer.nsecsElapsed();

    const qint64 gzipNs = bench::timeCommand(
        QStringLiteral("cat '%1/random.pak' '%1/world.txt' | gzip -6 > /dev/null").arg(source));

    const double publishRate = bench::mibPerSecond(2 * half, publishNs);
    const double gzipRate = bench::mibPerSecond(2 * half, gzipNs);
    std::printf("publish 1 GiB mixed (%d threads): %.1f MiB/s, %lld chunks, %.1f MiB stored\n",
                QThreadPool::globalInstance()->maxThreadCount(), publishRate,
                static_cast<long long>(summary.chunks), summary.bytesStoredNew / 1048576.0);
    std::printf("gzip -6 (one core) over the same bytes: %.1f MiB/s\n", gzipRate);
    std::printf("ratio publish / gzip -6: %.2f\n", gzipRate > 0 ? publishRate / gzipRate : 0.0);

    timer.restart();
    options.releaseId = QStringLiteral("bench-again");
    if (!publish::publishRelease(options, &summary, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("republish unchanged: %.1f MiB/s (%lld objects reused)\n",
                bench::mibPerSecond(2 * half, timer.nsecsElapsed()),
                static_cast<long long>(summary.objectsReused));
    return 0;
}
