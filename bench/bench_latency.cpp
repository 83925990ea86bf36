// Downloads across a distant line: a fresh install through UpdateEngine, a scattered update and
// a release check, from nginx (HTTPS, HTTP/2) behind a loopback line of ours that holds every
// byte for half the round trip each way and caps what comes down at the line's rate. Against,
// through the same line in the same run: one request for the same bytes (what the line can
// do), curl fetching the objects four at a time over HTTP/1.1, and curl over HTTP/2 in parallel.
//   bench_latency [FOLDER [MIB_PER_S [RTT_MS...]]]
//   (default /tmp/vorn-bench/latency, 20 MiB/s, round trips 0, 40 and 150 ms)
// The release: 64 files of 1 MiB of random bytes at 64 KiB chunks (about 800 objects), and a
// second release with 300 scattered edits.
#include "bench/bench_common.h"
#include "bench/bench_engine.h"
#include "bench/latency_line.h"
#include "release/release_index_client.h"
#include "tests/support/nginx_process.h"
#include "tests/support/test_certificates.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSet>
#include <QTimer>

using namespace vorn;
using namespace vorn::bench;

namespace {

constexpr int kFiles = 64;
constexpr qint64 kFileBytes = 1 << 20;
constexpr int kEdits = 300;

QString g_authority;

double seconds(qint64 ns)
{
    return double(ns) / 1e9;
}

// The objects of `manifest` that `installed` does not have, each once.
QVector<ManifestChunk> newObjects(const Manifest& manifest, const Manifest& installed)
{
    QSet<QByteArray> had;
    for (const ManifestChunk& object : distinctObjects(installed))
        had.insert(object.blobSha256);
    QVector<ManifestChunk> fresh;
    for (const ManifestChunk& object : distinctObjects(manifest)) {
        if (!had.contains(object.blobSha256))
            fresh.append(object);
    }
    return fresh;
}

// All the objects in one file below the repository, so that one request fetches their bytes.
bool writeConcatenation(const QString& repo, const QString& name, const QVector<ManifestChunk>& objects)
{
    QFile out(repo + QLatin1Char('/') + name);
    if (out.size() > 0)
        return true;
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (const ManifestChunk& object : objects) {
        QFile in(repo + QLatin1Char('/') + objectRelativePath(object.blobSha256));
        if (!in.open(QIODevice::ReadOnly) || out.write(in.readAll()) != object.blobSize)
            return false;
    }
    return true;
}

// Wall time of curl with the given options over the objects, or -1.
qint64 curlObjectsNs(const QVector<ManifestChunk>& objects, const QString& baseUrl, const QString& folder,
                     const QString& options)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    QFile config(folder + QStringLiteral(".curlrc"));
    if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    for (const ManifestChunk& object : objects) {
        config.write("url = \"" + (baseUrl + objectRelativePath(object.blobSha256)).toUtf8() + "\"\n");
        config.write("output = \"" + QFile::encodeName(folder) + '/' + object.blobSha256.toHex() + ".bin\"\n");
    }
    config.close();
    return timeCommand(QStringLiteral("curl %1 --fail --no-progress-meter --cacert '%2' --config '%3' >/dev/null")
                           .arg(options, g_authority, config.fileName()));
}

qint64 curlOneNs(const QString& url)
{
    return timeCommand(QStringLiteral("curl --http1.1 --fail -s -o /dev/null --cacert '%1' '%2'").arg(g_authority, url));
}

// A release check over a new connection, to the manifest in hand; -1 on failure.
qint64 checkNs(const QString& baseUrl, const QByteArray& publicKey)
{
    NetworkService network;
    network.setExtraCertificateAuthorities(g_authority);
    ReleaseIndexClient client(&network);
    client.setServers({baseUrl});
    client.setPublicKey(publicKey);
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&client, &ReleaseIndexClient::manifestReady, &loop, [&] {
        ok = true;
        loop.quit();
    });
    QObject::connect(&client, &ReleaseIndexClient::failed, &loop, [&](const QString& message) {
        std::fprintf(stderr, "check: %s\n", qPrintable(message));
        loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    client.checkForUpdates();
    loop.exec();
    return ok ? clock.nsecsElapsed() : -1;
}

constexpr int kChecks = 3;

qint64 fastestCheckNs(const QString& baseUrl, const QByteArray& publicKey)
{
    qint64 fastest = -1;
    for (int i = 0; i < kChecks; ++i) {
        const qint64 time = checkNs(baseUrl, publicKey);
        if (time < 0)
            return -1;
        fastest = fastest < 0 ? time : qMin(fastest, time);
    }
    return fastest;
}

// Wall time of a run, or -1; *downloadNs: the part before assembly began.
qint64 engineNs(const Manifest& manifest, const QString& baseUrl, const QString& game, const QString& cache,
                qint64* downloadNs = nullptr)
{
    NetworkService network;
    network.setExtraCertificateAuthorities(g_authority);
    QDir(cache).removeRecursively();
    const RunTimes times = runEngine(&network, manifest, baseUrl, game, cache);
    if (!times.ok) {
        std::fprintf(stderr, "engine: %s\n", qPrintable(times.error));
        return -1;
    }
    if (downloadNs)
        *downloadNs = times.totalNs - times.applyNs;
    return times.totalNs;
}

// The second release: kEdits bytes changed, spread evenly over all files.
bool prepareSources(const QString& first, const QString& second)
{
    for (int i = 0; i < kFiles; ++i) {
        const QString name = QStringLiteral("/data/pack%1.bin").arg(i, 2, 10, QLatin1Char('0'));
        QDir().mkpath(first + QStringLiteral("/data"));
        if (!ensureRandomFile(first + name, kFileBytes, quint64(100 + i)))
            return false;
        QFile in(first + name);
        if (!in.open(QIODevice::ReadOnly))
            return false;
        QByteArray bytes = in.readAll();
        const int edits = kEdits / kFiles + (i < kEdits % kFiles ? 1 : 0);
        for (int e = 0; e < edits; ++e) {
            const qint64 at = (kFileBytes / edits) * e + kFileBytes / (2 * edits);
            bytes[int(at)] = char(bytes[int(at)] ^ 0x5a);
        }
        if (!writeBytes(second + name, bytes))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/vorn-bench/latency");
    const qint64 rate = qint64((argc > 2 ? atof(argv[2]) : 20.0) * 1048576.0);
    QList<int> roundTrips;
    for (int i = 3; i < argc; ++i)
        roundTrips << qMax(0, atoi(argv[i]));
    if (roundTrips.isEmpty())
        roundTrips = {0, 40, 150};

    const QString repo = root + QStringLiteral("/repo");
    const QString keys = root + QStringLiteral("/keys");
    if (!prepareSources(root + QStringLiteral("/source-r1"), root + QStringLiteral("/source-r2"))) {
        std::fprintf(stderr, "cannot prepare data under %s\n", qPrintable(root));
        return 1;
    }
    ChunkingOptions chunking;
    chunking.wholeFileThreshold = 64 * 1024;
    chunking.minBytes = 32 * 1024;
    chunking.averageBytes = 64 * 1024;
    chunking.maxBytes = 128 * 1024;
    if (!publishOnce(root + QStringLiteral("/source-r1"), repo, keys, QStringLiteral("r1"), chunking)
        || !publishOnce(root + QStringLiteral("/source-r2"), repo, keys, QStringLiteral("r2"), chunking))
        return 1;
    const Manifest first = readManifest(repo, QStringLiteral("r1"));
    const Manifest second = readManifest(repo, QStringLiteral("r2"));
    const QVector<ManifestChunk> all = distinctObjects(first);
    const QVector<ManifestChunk> changed = newObjects(second, first);
    qint64 allBytes = 0;
    qint64 changedBytes = 0;
    for (const ManifestChunk& object : all)
        allBytes += object.blobSize;
    for (const ManifestChunk& object : changed)
        changedBytes += object.blobSize;
    if (!writeConcatenation(repo, QStringLiteral("all-r1.bin"), all)
        || !writeConcatenation(repo, QStringLiteral("changed-r2.bin"), changed)) {
        std::fprintf(stderr, "cannot write the concatenated objects\n");
        return 1;
    }
    QFile keyFile(keys + QStringLiteral("/public-key.blob"));
    if (!keyFile.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray publicKey = keyFile.readAll();

    test::TestCertificates certificates;
    QString error;
    test::NginxProcess nginx;
    if (!certificates.create(root + QStringLiteral("/tls"), &error)
        || !nginx.start(repo, certificates, true, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    g_authority = certificates.authorityFile();

    std::printf("release: %d objects, %.1f MiB; update: %d objects, %.2f MiB; line: %.0f MiB/s; nginx HTTPS with HTTP/2\n",
                int(all.size()), allBytes / 1048576.0, int(changed.size()), changedBytes / 1048576.0,
                rate / 1048576.0);
    // What a check costs besides the line (handshake and signature arithmetic, the manifest's
    // bytes at the line's rate): the fastest of a few over a line with no delay, after one that
    // warms up the process. The round trips a check takes are what the line adds to that.
    qint64 localCheck = -1;
    {
        LatencyLine line(nginx.port(), 0, rate);
        const QString base = QStringLiteral("https://127.0.0.1:%1/").arg(line.port());
        if (line.port() == 0 || checkNs(base, publicKey) < 0)
            return 1;
        localCheck = fastestCheckNs(base, publicKey);
        if (localCheck < 0)
            return 1;
    }
    std::printf("times in s; ratios: the reference's time / the other's (1.0 = as fast as one request);\n"
                "dl: the install until assembly began; x one: the update's time / one request's;\n"
                "check: the fastest of %d over a new connection; trips: (check - %.3f s, its time with no delay) / RTT\n",
                kChecks, seconds(localCheck));
    std::printf("%5s | %7s %7s %5s %5s | %7s %5s | %7s %5s | %7s %7s %5s | %6s %6s\n", "RTT", "one req",
                "install", "ratio", "dl", "curl h1", "ratio", "curl h2", "ratio", "one req", "update", "x one",
                "check", "trips");
    const QString game = root + QStringLiteral("/game");
    const QString cache = root + QStringLiteral("/cache");
    for (const int roundTrip : qAsConst(roundTrips)) {
        LatencyLine line(nginx.port(), roundTrip, rate);
        if (line.port() == 0)
            return 1;
        const QString base = QStringLiteral("https://127.0.0.1:%1/").arg(line.port());
        QDir(game).removeRecursively();
        const qint64 oneAll = curlOneNs(base + QStringLiteral("all-r1.bin"));
        qint64 download = 0;
        const qint64 install = engineNs(first, base, game, cache, &download);
        const qint64 curlH1 = curlObjectsNs(all, base, root + QStringLiteral("/curl"),
                                            QStringLiteral("--http1.1 --parallel --parallel-max 4"));
        const qint64 curlH2 = curlObjectsNs(all, base, root + QStringLiteral("/curl"),
                                            QStringLiteral("--http2 --parallel"));
        const qint64 oneChanged = curlOneNs(base + QStringLiteral("changed-r2.bin"));
        const qint64 update = install > 0 ? engineNs(second, base, game, cache) : -1;
        const qint64 check = fastestCheckNs(base, publicKey);
        if (oneAll < 0 || install < 0 || curlH1 < 0 || curlH2 < 0 || oneChanged < 0 || update < 0 || check < 0) {
            std::fprintf(stderr, "a run failed at %d ms\n", roundTrip);
            return 1;
        }
        std::printf("%5d | %7.2f %7.2f %5.2f %5.2f | %7.2f %5.2f | %7.2f %5.2f | %7.2f %7.2f %5.2f | %6.3f %6s\n",
                    roundTrip, seconds(oneAll), seconds(install), double(oneAll) / double(install),
                    double(oneAll) / double(qMax<qint64>(download, 1)),
                    seconds(curlH1), double(oneAll) / double(curlH1), seconds(curlH2),
                    double(oneAll) / double(curlH2), seconds(oneChanged), seconds(update),
                    double(update) / double(oneChanged), seconds(check),
                    roundTrip > 0
                        ? qPrintable(QString::number(double(check - localCheck) / 1e6 / roundTrip, 'f', 2))
                        : "-");
        std::fflush(stdout);
    }
    return 0;
}
