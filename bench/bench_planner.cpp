// buildUpdatePlan on two folders, both already up to date:
//   1. 10,000 files with .vorn/installed-manifest.json and .vorn/state.json: time per plan, and
//      proof from strace that no game file is opened (so no content can be read);
//   2. 2 GiB without .vorn, so every file is hashed: MiB/s against `openssl dgst -sha256` over the
//      same files;
//   3. 100,000 small files with .vorn, up to date and with one file renamed (which makes the
//      planner index the chunks of every installed file): time per plan and peak memory of a
//      process that plans once.
// Usage: bench_planner [data folder, default /tmp/vorn-bench]
#include "bench/bench_common.h"
#include "core/chunker.h"
#include "core/local_state.h"
#include "core/manifest.h"
#include "core/planner.h"
#include "core/sha256.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>

#include <sys/resource.h>

using namespace vorn;

namespace {

QByteArray randomBytes(qint64 size, quint64* state)
{
    QByteArray bytes(int(size), Qt::Uninitialized);
    for (int i = 0; i + 8 <= bytes.size(); i += 8) {
        const quint64 word = bench::nextRandom(state);
        std::memcpy(bytes.data() + i, &word, 8);
    }
    return bytes;
}

// Describes a file on disk the way the publisher does: real cuts and chunk digests.
ManifestFile describe(const QDir& game, const QString& path, const ChunkingOptions& options)
{
    ManifestFile entry;
    entry.path = path;
    QFile file(game.filePath(path));
    file.open(QIODevice::ReadOnly);
    entry.size = file.size();
    entry.sha256 = sha256OfDevice(&file);
    for (const ChunkRange& range : split(options, &file, entry.size)) {
        const QByteArray digest = sha256OfRange(&file, range.offset, range.size);
        entry.chunks.append({range.offset, range.size, digest, Sha256::hash("object:" + digest),
                             range.size});
    }
    return entry;
}

// A folder of files and the manifest describing it, created once and reused by later runs.
bool ensureRelease(const QString& root, const QVector<QPair<QString, qint64>>& files, bool withState,
                   Manifest* manifest)
{
    const QDir game(QDir(root).filePath("game"));
    const QString manifestPath = QDir(root).filePath("manifest.json");
    if (bench::loadManifest(manifestPath, manifest) && manifest->files.size() == files.size())
        return true;
    std::printf("creating %s ...\n", qPrintable(root));
    std::fflush(stdout);
    QDir(root).removeRecursively();
    quint64 state = 12345;
    Manifest created;
    created.releaseId = QStringLiteral("bench");
    for (const auto& file : files) {
        if (!bench::writeBytes(game.filePath(file.first), randomBytes(file.second, &state)))
            return false;
        created.files.append(describe(game, file.first, created.chunking));
    }
    if (withState) {
        if (!writeInstalledManifest(game, created))
            return false;
        writeLocalState(game, created);
    }
    *manifest = created;
    return bench::writeBytes(manifestPath, manifestToJson(created));
}

qint64 median(QVector<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

int planOnce(const QString& game, const QString& manifestPath)
{
    Manifest manifest;
    if (!bench::loadManifest(manifestPath, &manifest))
        return 2;
    const UpdatePlan plan = buildUpdatePlan(manifest, game);
    std::printf("ok=%d files=%d\n", int(plan.ok), int(plan.files.size()));
    return plan.ok && plan.files.isEmpty() ? 0 : 1;
}

// The release with its last file renamed into another folder: every byte of it is installed.
Manifest withOneRenamed(Manifest manifest)
{
    manifest.files.last().path = QStringLiteral("Moved/") + manifest.files.last().path;
    return manifest;
}

// One plan in a process of its own, for its peak memory.
int planPeak(const QString& game, const QString& manifestPath, bool renamed)
{
    Manifest manifest;
    if (!bench::loadManifest(manifestPath, &manifest))
        return 2;
    if (renamed)
        manifest = withOneRenamed(manifest);
    const UpdatePlan plan = buildUpdatePlan(manifest, game);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%ld\n", usage.ru_maxrss);
    return plan.ok ? 0 : 1;
}

long childPeakKiB(const QString& program, const QString& root, bool renamed)
{
    QProcess process;
    process.start(program, {"--plan-peak", QDir(root).filePath("game"), QDir(root).filePath("manifest.json"),
                            renamed ? "1" : "0"});
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        return -1;
    return process.readAllStandardOutput().trimmed().toLong();
}

// Runs one plan under strace and counts what touched the game's files.
void traceOnePlan(const QString& program, const QString& root)
{
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty()) {
        std::printf("strace not found: no proof run\n");
        return;
    }
    const QString game = QDir(QDir(root).filePath("game")).absolutePath();
    const QString log = QDir(root).filePath("strace.log");
    QProcess process;
    process.start(strace, {"-f", "-qq", "-e", "trace=openat,open,statx,newfstatat,stat,lstat",
                           "-o", log, program, "--plan-once", game,
                           QDir(root).filePath("manifest.json")});
    process.waitForFinished(-1);
    QFile file(log);
    file.open(QIODevice::ReadOnly);
    int opens = 0, gameOpens = 0, stateOpens = 0, stats = 0;
    const QString vorn = game + QStringLiteral("/.vorn/");
    while (!file.atEnd()) {
        const QString line = QString::fromLocal8Bit(file.readLine());
        const bool open = line.contains(QLatin1String("open("))
                       || line.contains(QLatin1String("openat("));
        if (open)
            ++opens;
        if (!line.contains(game + QLatin1Char('/')))
            continue;
        if (open && line.contains(vorn))
            ++stateOpens;
        else if (open)
            ++gameOpens;
        else
            ++stats;
    }
    std::printf("strace (%s): %d opens in all, %d of .vorn files, %d of game files; "
                "%d stat calls on game paths; child exit %d\n",
                qPrintable(log), opens, stateOpens, gameOpens, stats, process.exitCode());
    std::printf("no game file content read: %s\n", gameOpens == 0 ? "proven (no game file opened)"
                                                                   : "NO");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("--plan-once"))
        return planOnce(args.at(2), args.at(3));
    if (args.size() == 5 && args.at(1) == QLatin1String("--plan-peak"))
        return planPeak(args.at(2), args.at(3), args.at(4) == QLatin1String("1"));
    const QString base = args.size() > 1 ? args.at(1) : QStringLiteral("/tmp/vorn-bench");

    // 1. 10,000 small files, installed-manifest.json and state.json present.
    {
        const QString root = QDir(base).filePath(QStringLiteral("plan-10k"));
        QVector<QPair<QString, qint64>> files;
        quint64 state = 7;
        for (int i = 0; i < 10000; ++i)
            files.append({QStringLiteral("Data/%1/file-%2.bin").arg(i / 100, 2, 10, QLatin1Char('0')).arg(i, 5, 10, QLatin1Char('0')),
                          qint64(4096 + bench::nextRandom(&state) % (28 * 1024))});
        Manifest manifest;
        if (!ensureRelease(root, files, true, &manifest)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(root));
            return 1;
        }
        const QString game = QDir(root).filePath(QStringLiteral("game"));
        QVector<qint64> times, cpuTimes;
        bool upToDate = true;
        for (int run = 0; run < 7; ++run) {
            QElapsedTimer timer;
            const qint64 cpuBefore = bench::processCpuNanoseconds();
            timer.start();
            const UpdatePlan plan = buildUpdatePlan(manifest, game);
            times.append(timer.nsecsElapsed());
            cpuTimes.append(bench::processCpuNanoseconds() - cpuBefore);
            upToDate = upToDate && plan.ok && plan.files.isEmpty() && plan.removals.isEmpty();
        }
        QElapsedTimer timer;
        timer.start();
        Manifest reparsed;
        QFile installed(installedManifestPath(QDir(game)));
        installed.open(QIODevice::ReadOnly);
        const bool parsed = parseManifest(installed.readAll(), &reparsed);
        const qint64 parseTime = timer.nsecsElapsed();
        std::printf("== up-to-date folder, 10,000 files, with .vorn ==\n");
        std::printf("plan empty on every run   %s\n", upToDate ? "yes" : "NO");
        std::printf("buildUpdatePlan           median %.1f ms, best %.1f ms, first %.1f ms (7 runs)\n",
                    median(times) / 1e6, *std::min_element(times.begin(), times.end()) / 1e6,
                    times.first() / 1e6);
        std::printf("  CPU time of all threads: median %.1f ms (wall time suffers when the machine is busy)\n",
                    median(cpuTimes) / 1e6);
        std::printf("  of which parsing installed-manifest.json alone: %.1f ms (%s)\n", parseTime / 1e6,
                    parsed ? "ok" : "failed");
        std::printf("target < 150 ms:          %s\n", median(times) < 150 * 1000 * 1000 ? "met" : "NOT met");
        traceOnePlan(app.applicationFilePath(), root);
    }

    // 2. 2 GiB without .vorn: every file is hashed once.
    {
        const QString root = QDir(base).filePath(QStringLiteral("plan-2g"));
        QVector<QPair<QString, qint64>> files;
        for (int i = 0; i < 4; ++i)
            files.append({QStringLiteral("Packs/big-%1.pak").arg(i), qint64(256) << 20});
        quint64 state = 9;
        qint64 small = 0;
        for (int i = 0; small < (qint64(1) << 30); ++i) {
            const qint64 size = qMin<qint64>((qint64(1) << 30) - small,
                                             (256 << 10) + qint64(bench::nextRandom(&state) % (1536 << 10)));
            files.append({QStringLiteral("Data/%1/asset-%2.bin").arg(i / 100).arg(i), size});
            small += size;
        }
        Manifest manifest;
        if (!ensureRelease(root, files, false, &manifest)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(root));
            return 1;
        }
        const QString game = QDir(root).filePath(QStringLiteral("game"));
        QStringList paths;
        qint64 total = 0;
        for (const ManifestFile& file : manifest.files) {
            paths.append(QDir(game).filePath(file.path));
            bench::warmPageCache(paths.last());
            total += file.size;
        }
        qint64 bestPlan = -1, bestOpenssl = -1;
        bool upToDate = true;
        for (int run = 0; run < 3; ++run) {
            QElapsedTimer timer;
            timer.start();
            const UpdatePlan plan = buildUpdatePlan(manifest, game);
            const qint64 t = timer.nsecsElapsed();
            upToDate = upToDate && plan.ok && plan.files.isEmpty();
            if (bestPlan < 0 || t < bestPlan)
                bestPlan = t;

            QProcess openssl;
            openssl.setStandardOutputFile(QProcess::nullDevice());
            timer.restart();
            openssl.start(QStringLiteral("openssl"), QStringList{"dgst", "-sha256"} + paths);
            if (!openssl.waitForFinished(-1) || openssl.exitCode() != 0) {
                std::fprintf(stderr, "openssl dgst failed\n");
                return 1;
            }
            const qint64 o = timer.nsecsElapsed();
            if (bestOpenssl < 0 || o < bestOpenssl)
                bestOpenssl = o;
        }
        const double plan = bench::mibPerSecond(total, bestPlan);
        const double openssl = bench::mibPerSecond(total, bestOpenssl);
        std::printf("== up-to-date folder, %d files, %.2f GiB, no .vorn (page cache) ==\n",
                    int(manifest.files.size()), total / double(qint64(1) << 30));
        std::printf("plan empty on every run   %s\n", upToDate ? "yes" : "NO");
        std::printf("buildUpdatePlan           %8.1f MiB/s (best of 3, %.2f s)\n", plan, bestPlan / 1e9);
        std::printf("openssl dgst -sha256      %8.1f MiB/s (same files, one process)\n", openssl);
        std::printf("ratio                     %.2fx openssl\n", plan / openssl);
    }

    // 3. 100,000 small files with .vorn: the cost of looking for chunks in other installed files.
    {
        const QString root = QDir(base).filePath(QStringLiteral("plan-100k"));
        QVector<QPair<QString, qint64>> files;
        quint64 state = 11;
        for (int i = 0; i < 100000; ++i)
            files.append({QStringLiteral("Data/%1/file-%2.bin").arg(i / 500, 3, 10, QLatin1Char('0')).arg(i, 6, 10, QLatin1Char('0')),
                          qint64(256 + bench::nextRandom(&state) % 4096)});
        Manifest manifest;
        if (!ensureRelease(root, files, true, &manifest)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(root));
            return 1;
        }
        const QString game = QDir(root).filePath(QStringLiteral("game"));
        const Manifest renamed = withOneRenamed(manifest);
        QVector<qint64> upToDateTimes, renamedTimes;
        bool upToDate = true, copied = true;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer timer;
            timer.start();
            const UpdatePlan same = buildUpdatePlan(manifest, game);
            upToDateTimes.append(timer.nsecsElapsed());
            upToDate = upToDate && same.ok && same.files.isEmpty();
            timer.restart();
            const UpdatePlan moved = buildUpdatePlan(renamed, game);
            renamedTimes.append(timer.nsecsElapsed());
            copied = copied && moved.ok && moved.files.size() == 1 && moved.objects.isEmpty();
        }
        std::printf("== 100,000 files, with .vorn ==\n");
        std::printf("up to date                median %.1f ms (5 runs), plan empty: %s\n",
                    median(upToDateTimes) / 1e6, upToDate ? "yes" : "NO");
        std::printf("one file renamed          median %.1f ms (5 runs), copied without objects: %s\n",
                    median(renamedTimes) / 1e6, copied ? "yes" : "no");
        std::printf("ratio                     %.2fx the up-to-date plan\n",
                    double(median(renamedTimes)) / double(median(upToDateTimes)));
        const long samePeak = childPeakKiB(app.applicationFilePath(), root, false);
        const long movedPeak = childPeakKiB(app.applicationFilePath(), root, true);
        std::printf("peak memory of one plan   %.1f MiB up to date, %.1f MiB with the rename (%+.1f MiB)\n",
                    samePeak / 1024.0, movedPeak / 1024.0, (movedPeak - samePeak) / 1024.0);
    }
    return 0;
}
