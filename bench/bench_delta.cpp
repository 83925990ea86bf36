// What a player holding release r1 downloads for r2, on generated releases of about 300 MiB
// (half incompressible, half compressible blocks):
//   - small edits in large files: 32 edits of 1-64 KiB (overwrite, insert or delete) in each
//     of three 48 MiB packs;
//   - a changed file in the middle of a pack: in each of eight packs of 20 files, the middle one
//     replaced by a tenth longer one;
//   - appended data: 4 MiB added to the end of a 32 MiB file;
//   - renamed files: six files of 2-12 MiB moved to another folder, bytes unchanged.
// For each case: the objects the planner finds missing, in a folder holding r1 as the launcher
// installs it (with its installed manifest and state cache), at the settings vorn-publish
// chooses and at the long-standing 4 MiB default; the chunks casync (Debian's, its default compression, no
// metadata) lacks after r1, at the same average setting and at the mean chunk length ours cut;
// and the floor: xdelta3 -9 with secondary compression against the file each new file came
// from (compressed alone if none). Then the manifests, and manifests simulated for declared
// releases of 50 MiB to 200 GiB with the chunk lengths cut here. One to ten minutes.
// Usage: bench_delta [data folder, default /tmp/vorn-bench/delta]
#include "bench/bench_common.h"
#include "core/chunker.h"
#include "core/local_state.h"
#include "core/manifest.h"
#include "core/planner.h"
#include "publish/chunk_choice.h"
#include "publish/publisher.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDirIterator>
#include <QHash>
#include <QMap>
#include <QProcess>

#include <unistd.h>

using namespace vorn;

namespace {

constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * 1024;

struct Rng
{
    quint64 state;
    quint64 next() { return bench::nextRandom(&state); }
    qint64 between(qint64 low, qint64 high) { return low + qint64(next() % quint64(high - low + 1)); }
};

// Blocks of 4 KiB, each either random or drawn from 16 byte values (about half compressible).
QByteArray gameBytes(qint64 size, quint64 seed)
{
    Rng rng{seed};
    QByteArray bytes(int(size), Qt::Uninitialized);
    char* out = bytes.data();
    for (qint64 block = 0; block < size; block += 4096) {
        const qint64 end = qMin(size, block + 4096);
        const bool random = rng.next() & 1;
        for (qint64 i = block; i < end; i += 8) {
            quint64 word = rng.next();
            for (qint64 j = i; j < qMin(end, i + 8); ++j, word >>= 8)
                out[j] = random ? char(word) : char(0x40 | (word & 0x0F));
        }
    }
    return bytes;
}

// A generated release: relative path -> content, and for r2 where each changed file came from.
struct Release
{
    QString name;
    QMap<QString, QByteArray> files;
    QHash<QString, QString> origins; // new path -> r1 path it was made from (empty: new file)
};

struct PackMember
{
    qint64 size;
    quint64 seed;
};

QByteArray buildPack(const QVector<PackMember>& members)
{
    QByteArray pack;
    for (const PackMember& member : members)
        pack += gameBytes(member.size, member.seed);
    return pack;
}

// Eight packs of 20 files of 16 KiB - 1 MiB each.
constexpr int kPacks = 8;

QString packPath(int pack)
{
    return QStringLiteral("data/packs/pack%1.pak").arg(pack);
}

QVector<PackMember> packMembers(int pack)
{
    Rng rng{77 + quint64(pack)};
    QVector<PackMember> members;
    for (int i = 0; i < 20; ++i)
        members.append({rng.between(16 * KiB, 1 * MiB), 1000 * quint64(pack + 1) + quint64(i)});
    return members;
}

Release baseRelease()
{
    Release r1;
    r1.name = QStringLiteral("r1");
    r1.files.insert(QStringLiteral("data/terrain.pak"), gameBytes(48 * MiB, 1));
    r1.files.insert(QStringLiteral("data/models.pak"), gameBytes(48 * MiB, 2));
    r1.files.insert(QStringLiteral("data/sounds.pak"), gameBytes(48 * MiB, 3));
    for (int pack = 0; pack < kPacks; ++pack)
        r1.files.insert(packPath(pack), buildPack(packMembers(pack)));
    r1.files.insert(QStringLiteral("data/journal.dat"), gameBytes(32 * MiB, 4));
    Rng rng{5};
    for (int i = 1; i <= 6; ++i) {
        r1.files.insert(QStringLiteral("data/textures/t%1.tex").arg(i),
                        gameBytes(rng.between(2 * MiB, 12 * MiB), 10 + quint64(i)));
    }
    for (int i = 1; i <= 40; ++i) {
        r1.files.insert(QStringLiteral("scripts/s%1.lua").arg(i),
                        gameBytes(rng.between(1 * KiB, 32 * KiB), 100 + quint64(i)));
    }
    return r1;
}

Release smallEdits(const Release& r1)
{
    Release r2{QStringLiteral("small-edits"), r1.files, {}};
    Rng rng{21};
    for (const QString& path : {QStringLiteral("data/terrain.pak"), QStringLiteral("data/models.pak"),
                               QStringLiteral("data/sounds.pak")}) {
        QByteArray bytes = r2.files.value(path);
        for (int edit = 0; edit < 32; ++edit) {
            const qint64 length = rng.between(1 * KiB, 64 * KiB);
            const int offset = int(rng.between(0, bytes.size() - length - 1));
            const QByteArray fresh = gameBytes(length, rng.next());
            switch (rng.next() % 3) {
            case 0:
                bytes.replace(offset, int(length), fresh);
                break;
            case 1:
                bytes.insert(offset, fresh);
                break;
            default:
                bytes.remove(offset, int(length));
            }
        }
        r2.files.insert(path, bytes);
        r2.origins.insert(path, path);
    }
    return r2;
}

Release changedPackMember(const Release& r1)
{
    Release r2{QStringLiteral("pack-member"), r1.files, {}};
    for (int pack = 0; pack < kPacks; ++pack) {
        QVector<PackMember> members = packMembers(pack);
        PackMember& middle = members[members.size() / 2];
        middle = {middle.size + middle.size / 10, 4242 + quint64(pack)};
        r2.files.insert(packPath(pack), buildPack(members));
        r2.origins.insert(packPath(pack), packPath(pack));
    }
    return r2;
}

Release appended(const Release& r1)
{
    Release r2{QStringLiteral("appended"), r1.files, {}};
    const QString path = QStringLiteral("data/journal.dat");
    r2.files.insert(path, r1.files.value(path) + gameBytes(4 * MiB, 31));
    r2.origins.insert(path, path);
    return r2;
}

Release renamed(const Release& r1)
{
    Release r2{QStringLiteral("renamed"), r1.files, {}};
    for (int i = 1; i <= 6; ++i) {
        const QString from = QStringLiteral("data/textures/t%1.tex").arg(i);
        const QString to = QStringLiteral("data/textures/hd/texture-%1.tex").arg(i);
        r2.files.insert(to, r2.files.take(from));
        r2.origins.insert(to, from);
    }
    return r2;
}

// Unchanged files are hard links to r1's, so the five trees take little more than one.
bool writeTree(const Release& release, const Release* base, const QString& baseDir, const QString& dir)
{
    QDir(dir).removeRecursively();
    for (auto it = release.files.constBegin(); it != release.files.constEnd(); ++it) {
        const QString target = QDir(dir).filePath(it.key());
        if (base && base->files.value(it.key()) == it.value() && !release.origins.contains(it.key())) {
            QDir().mkpath(QFileInfo(target).absolutePath());
            if (::link(QFile::encodeName(QDir(baseDir).filePath(it.key())).constData(),
                       QFile::encodeName(target).constData()) == 0)
                continue;
        }
        if (!bench::writeBytes(target, it.value()))
            return false;
    }
    return true;
}

bool run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(-1)) {
        std::fprintf(stderr, "cannot run %s (scripts/install-deps installs it)\n", qPrintable(program));
        return false;
    }
    const QString text = QString::fromLocal8Bit(process.readAll());
    if (output)
        *output = text;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "%s %s failed:\n%s\n", qPrintable(program), qPrintable(arguments.join(' ')),
                     qPrintable(text));
        return false;
    }
    return true;
}

qint64 fileSize(const QString& path)
{
    return QFileInfo(path).size();
}

// The smallest delta xdelta3 makes for release's changed files: against the r1 file each came
// from, or alone for new files.
qint64 xdeltaFloor(const Release& release, const QString& r1Dir, const QString& r2Dir, const QString& scratch)
{
    qint64 total = 0;
    for (auto it = release.origins.constBegin(); it != release.origins.constEnd(); ++it) {
        const QString target = QDir(r2Dir).filePath(it.key());
        const QString delta = QDir(scratch).filePath(QStringLiteral("delta.vcdiff"));
        QStringList arguments{QStringLiteral("-e"), QStringLiteral("-9"), QStringLiteral("-S"),
                              QStringLiteral("lzma"), QStringLiteral("-f")};
        if (!it.value().isEmpty()) {
            const QString source = QDir(r1Dir).filePath(it.value());
            arguments << QStringLiteral("-B") << QString::number(qMax<qint64>(64 * MiB, fileSize(source)))
                      << QStringLiteral("-s") << source;
        }
        arguments << target << delta;
        if (!run(QStringLiteral("xdelta3"), arguments))
            return -1;
        total += fileSize(delta);
    }
    return total;
}

// casync's chunk names in a store, with their stored sizes.
QHash<QString, qint64> casyncChunks(const QString& store)
{
    QHash<QString, qint64> chunks;
    QDirIterator it(store, {QStringLiteral("*.cacnk")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        chunks.insert(it.fileName(), it.fileInfo().size());
    }
    return chunks;
}

bool casyncMake(const QString& tree, const QString& root, const QString& name, qint64 average)
{
    const QString store = QDir(root).filePath(name + QStringLiteral(".castr"));
    QDir(store).removeRecursively();
    return run(QStringLiteral("casync"),
               {QStringLiteral("make"), QStringLiteral("--without=all"),
                QStringLiteral("--chunk-size=%1").arg(average), QStringLiteral("--store=") + store,
                QDir(root).filePath(name + QStringLiteral(".caidx")), tree});
}

// Chunks of r2's store that r1's lacks: what casync extract with r1 as seed fetches.
qint64 casyncFetch(const QString& root, const QString& r2Name)
{
    const QHash<QString, qint64> have = casyncChunks(QDir(root).filePath(QStringLiteral("r1.castr")));
    const QHash<QString, qint64> want = casyncChunks(QDir(root).filePath(r2Name + QStringLiteral(".castr")));
    qint64 bytes = 0;
    for (auto it = want.constBegin(); it != want.constEnd(); ++it) {
        if (!have.contains(it.key()))
            bytes += it.value();
    }
    return bytes;
}

bool loadManifest(const QString& path, Manifest* manifest)
{
    QString error;
    if (!bench::loadManifest(path, manifest, &error)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(error));
        return false;
    }
    return true;
}

struct Setting
{
    QString label;
    publish::ReleaseOptions::ChunkSettings mode;
    QString repo;
};

bool publishTree(const Setting& setting, const QString& tree, const QString& releaseId,
                 const QString& key, publish::ReleaseSummary* summary)
{
    publish::ReleaseOptions options;
    options.sourceDir = tree;
    options.repoDir = setting.repo;
    options.privateKeyPath = key;
    options.releaseId = releaseId;
    options.chunkSettings = setting.mode;
    QString error;
    if (!publish::publishRelease(options, summary, &error)) {
        std::fprintf(stderr, "publishing %s: %s\n", qPrintable(releaseId), qPrintable(error));
        return false;
    }
    return true;
}

QString mib(qint64 bytes)
{
    return QString::number(double(bytes) / MiB, 'f', bytes < 10 * MiB ? 2 : 1);
}

QString sizeName(qint64 bytes)
{
    if (bytes >= 1024 * MiB && bytes % (1024 * MiB) == 0)
        return QStringLiteral("%1 GiB").arg(bytes / (1024 * MiB));
    return bytes >= MiB ? QStringLiteral("%1 MiB").arg(bytes / MiB) : QStringLiteral("%1 KiB").arg(bytes / KiB);
}

// A declared release: packed, 95% in packs of 96 MiB and the rest in 1 MiB files; or loose,
// 80% in packs, 18% in 1 MiB files and 2% in 16 KiB files.
QVector<publish::DeclaredFile> declaredFiles(qint64 total, bool loose)
{
    QVector<publish::DeclaredFile> files;
    const qint64 pathBytes = 32;
    const qint64 packed = total * (loose ? 80 : 95) / 100;
    for (qint64 left = packed; left > 0; left -= 96 * MiB)
        files.append({qMin(left, 96 * MiB), pathBytes});
    for (qint64 i = 0; i < total * (loose ? 18 : 5) / 100 / MiB; ++i)
        files.append({1 * MiB, pathBytes});
    for (qint64 i = 0; loose && i < total * 2 / 100 / (16 * KiB); ++i)
        files.append({16 * KiB, pathBytes});
    return files;
}

// The manifest vorn-publish would write for files of these sizes, their chunks as long as the
// real cuts of sample at the same settings (taken in turn), their digests random.
qint64 simulatedManifestBytes(const QVector<publish::DeclaredFile>& files, const ChunkingOptions& options,
                              const QVector<qint64>& cutLengths, qint64* chunks)
{
    Manifest manifest;
    manifest.releaseId = QStringLiteral("simulated");
    manifest.createdUtc = QStringLiteral("2024-01-01T00:00:00.000Z");
    manifest.chunking = options;
    Rng rng{9};
    auto digest = [&rng] {
        QByteArray bytes(32, Qt::Uninitialized);
        for (int i = 0; i < 32; i += 8) {
            const quint64 word = rng.next();
            std::memcpy(bytes.data() + i, &word, 8);
        }
        return bytes;
    };
    int next = 0;
    *chunks = 0;
    manifest.files.reserve(files.size());
    for (int i = 0; i < files.size(); ++i) {
        ManifestFile file;
        // 32 bytes, as declared.
        file.path = QStringLiteral("data/group%1/file%2.pak").arg(i / 500, 3, 10, QLatin1Char('0')).arg(i, 7, 10, QLatin1Char('0'));
        file.size = files.at(i).size;
        file.sha256 = digest();
        qint64 offset = 0;
        do {
            qint64 length = file.size - offset;
            if (file.size > options.wholeFileThreshold)
                length = qMin(length, cutLengths.at(next++ % cutLengths.size()));
            // Compressed a little: the blob size has as many digits as the chunk's.
            file.chunks.append({offset, length, digest(), digest(), length - length / 3});
            offset += length;
        } while (offset < file.size);
        *chunks += file.chunks.size();
        manifest.files.append(file);
    }
    return manifestToJson(manifest).size();
}

QVector<qint64> cutLengths(const Release& r1, const ChunkingOptions& options)
{
    QVector<qint64> lengths;
    for (const QString& path : {QStringLiteral("data/terrain.pak"), QStringLiteral("data/models.pak"),
                                QStringLiteral("data/sounds.pak"), packPath(0), packPath(1)}) {
        QByteArray bytes = r1.files.value(path);
        QBuffer buffer(&bytes);
        for (const ChunkRange& range : split(options, &buffer, bytes.size()))
            lengths.append(range.size);
    }
    return lengths;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/vorn-bench/delta");
    QDir(root).removeRecursively();
    QDir().mkpath(root);
    QString error;
    const QString keys = QDir(root).filePath(QStringLiteral("keys"));
    if (!publish::generateKeyFiles(keys, 2048, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QString key = QDir(keys).filePath(QStringLiteral("release-private.pem"));

    std::printf("generating r1 and four r2 ...\n");
    std::fflush(stdout);
    const Release r1 = baseRelease();
    const QVector<Release> cases{smallEdits(r1), changedPackMember(r1), appended(r1), renamed(r1)};
    const QString r1Dir = QDir(root).filePath(QStringLiteral("trees/r1"));
    if (!writeTree(r1, nullptr, QString(), r1Dir))
        return 1;
    for (const Release& release : cases) {
        if (!writeTree(release, &r1, r1Dir, QDir(root).filePath(QStringLiteral("trees/") + release.name)))
            return 1;
    }
    // The player's folder: r1's files (links again), its bookkeeping written per setting below.
    const QString installedDir = QDir(root).filePath(QStringLiteral("installed-r1"));
    if (!writeTree(r1, &r1, r1Dir, installedDir))
        return 1;
    qint64 r1Bytes = 0;
    for (const QByteArray& bytes : r1.files)
        r1Bytes += bytes.size();

    const QVector<Setting> settings{
        {QStringLiteral("chosen"), publish::ReleaseOptions::ChunkSettings::BySize, QDir(root).filePath(QStringLiteral("repo-chosen"))},
        {QStringLiteral("default"), publish::ReleaseOptions::ChunkSettings::AsGiven, QDir(root).filePath(QStringLiteral("repo-default"))},
    };
    // [setting][case]: bytes to fetch, manifest bytes, chunks
    QVector<QVector<qint64>> fetch(settings.size()), manifestBytes(settings.size()), chunkCounts(settings.size());
    ChunkingOptions chosen;
    for (int s = 0; s < settings.size(); ++s) {
        std::printf("publishing r1 and the four r2 with the %s settings ...\n", qPrintable(settings[s].label));
        std::fflush(stdout);
        publish::ReleaseSummary summary;
        if (!publishTree(settings[s], r1Dir, QStringLiteral("r1"), key, &summary))
            return 1;
        if (s == 0)
            chosen = summary.chunking;
        Manifest installed;
        if (!loadManifest(QDir(settings[s].repo).filePath(summary.manifestPath), &installed)
            || !writeInstalledManifest(QDir(installedDir), installed))
            return 1;
        writeLocalState(QDir(installedDir), installed);
        for (const Release& release : cases) {
            if (!publishTree(settings[s], QDir(root).filePath(QStringLiteral("trees/") + release.name),
                             release.name, key, &summary))
                return 1;
            Manifest manifest;
            if (!loadManifest(QDir(settings[s].repo).filePath(summary.manifestPath), &manifest))
                return 1;
            const UpdatePlan plan = buildUpdatePlan(manifest, installedDir);
            if (!plan.ok) {
                std::fprintf(stderr, "planning %s: %s\n", qPrintable(release.name), qPrintable(plan.error));
                return 1;
            }
            fetch[s].append(plan.downloadBytes);
            manifestBytes[s].append(summary.manifestBytes);
            chunkCounts[s].append(summary.chunks);
        }
    }

    // casync's average is the mean distance between its cuts; ours cut a little further apart.
    // Both are run: at the same setting and at the same mean chunk length.
    Manifest chosenR1;
    if (!loadManifest(QDir(settings[0].repo).filePath(QStringLiteral("manifests/r1.json")), &chosenR1))
        return 1;
    qint64 cutBytes = 0;
    qint64 cuts = 0;
    for (const ManifestFile& file : chosenR1.files) {
        if (file.size > chosen.wholeFileThreshold) {
            cutBytes += file.size;
            cuts += file.chunks.size();
        }
    }
    const qint64 meanChunk = cuts > 0 ? cutBytes / cuts : chosen.averageBytes;
    QVector<qint64> casyncAverages{chosen.averageBytes, meanChunk};
    QVector<QVector<qint64>> casync(2);
    QVector<qint64> casyncIndex;
    for (int a = 0; a < casyncAverages.size(); ++a) {
        std::printf("casync make at an average of %lld bytes ...\n", static_cast<long long>(casyncAverages[a]));
        std::fflush(stdout);
        const QString casyncRoot = QDir(root).filePath(QStringLiteral("casync-%1").arg(casyncAverages[a]));
        QDir().mkpath(casyncRoot);
        if (!casyncMake(r1Dir, casyncRoot, QStringLiteral("r1"), casyncAverages[a]))
            return 1;
        for (const Release& release : cases) {
            if (!casyncMake(QDir(root).filePath(QStringLiteral("trees/") + release.name), casyncRoot,
                            release.name, casyncAverages[a]))
                return 1;
            casync[a].append(casyncFetch(casyncRoot, release.name));
            if (a == 0)
                casyncIndex.append(fileSize(QDir(casyncRoot).filePath(release.name + QStringLiteral(".caidx"))));
            QDir(QDir(casyncRoot).filePath(release.name + QStringLiteral(".castr"))).removeRecursively();
        }
        // The stores hold a copy of every tree each; only their sizes were wanted.
        QDir(casyncRoot).removeRecursively();
    }

    std::printf("xdelta3 floors ...\n");
    std::fflush(stdout);
    QVector<qint64> floors;
    for (const Release& release : cases) {
        const qint64 floor = xdeltaFloor(release, r1Dir, QDir(root).filePath(QStringLiteral("trees/") + release.name), root);
        if (floor < 0)
            return 1;
        floors.append(floor);
    }

    std::printf("\nr1: %s MiB in %d files; vorn-publish chose an average of %s (min %s, max %s, whole "
                "files up to %s)\n\n",
                qPrintable(mib(r1Bytes)), int(r1.files.size()), qPrintable(sizeName(chosen.averageBytes)),
                qPrintable(sizeName(chosen.minBytes)), qPrintable(sizeName(chosen.maxBytes)),
                qPrintable(sizeName(chosen.wholeFileThreshold)));
    std::printf("mean chunk length of r1 (files cut by content): %lld bytes\n\n", static_cast<long long>(meanChunk));
    std::printf("MiB fetched for r1 -> r2   xdelta3 floor   chosen  (x floor)   4 MiB default   casync %-7s casync %lld\n",
                qPrintable(sizeName(chosen.averageBytes)), static_cast<long long>(meanChunk));
    bool withinFive = true;
    bool belowCasync = true;
    bool belowCasyncAtMean = true;
    for (int c = 0; c < cases.size(); ++c) {
        const double ratio = floors[c] > 0 ? double(fetch[0][c]) / double(floors[c]) : 0.0;
        withinFive = withinFive && fetch[0][c] <= 5 * floors[c];
        belowCasync = belowCasync && fetch[0][c] < casync[0][c];
        belowCasyncAtMean = belowCasyncAtMean && fetch[0][c] < casync[1][c];
        std::printf("%-26s %13s %8s  (%5.1fx) %15s %14s %12s\n", qPrintable(cases[c].name),
                    qPrintable(mib(floors[c])), qPrintable(mib(fetch[0][c])), ratio, qPrintable(mib(fetch[1][c])),
                    qPrintable(mib(casync[0][c])), qPrintable(mib(casync[1][c])));
    }
    std::printf("\nmanifest of r2 (small edits): chosen %s KiB (%lld chunks), 4 MiB default %s KiB (%lld "
                "chunks); casync index %s KiB\n",
                qPrintable(QString::number(manifestBytes[0][0] / 1024)), static_cast<long long>(chunkCounts[0][0]),
                qPrintable(QString::number(manifestBytes[1][0] / 1024)), static_cast<long long>(chunkCounts[1][0]),
                qPrintable(QString::number(casyncIndex[0] / 1024)));

    std::printf("\nsimulated releases (packed: 95%% in 96 MiB packs, 5%% in 1 MiB files; loose: 80%% / 18%% "
                "/ 2%% in 16 KiB files); chunk lengths as cut here, digests random:\n");
    std::printf("declared size  layout    files   chosen average   chunks   manifest (estimated)\n");
    qint64 manifest20GiB = 0;
    for (const qint64 total : {50 * MiB, 2048 * MiB, 20480 * MiB, 204800 * MiB}) {
        for (const bool loose : {false, true}) {
            const QVector<publish::DeclaredFile> files = declaredFiles(total, loose);
            const publish::ChunkChoice choice = publish::chooseChunking(files);
            qint64 chunks = 0;
            const qint64 bytes =
                simulatedManifestBytes(files, choice.options, cutLengths(r1, choice.options), &chunks);
            if (total == 20480 * MiB && !loose)
                manifest20GiB = bytes;
            std::printf("%13s  %-7s %7d %16s %8lld %7s MiB (%s)%s\n", qPrintable(sizeName(total)),
                        loose ? "loose" : "packed", int(files.size()),
                        qPrintable(sizeName(choice.options.averageBytes)), static_cast<long long>(chunks),
                        qPrintable(mib(bytes)), qPrintable(mib(choice.estimatedManifestBytes)),
                        choice.withinBudget ? "" : "  over the budget even at 4 MiB");
        }
    }

    std::printf("\ngoals: within 5x of the xdelta3 floor: %s; below casync at the same setting: %s, at the "
                "same mean chunk length: %s; packed 20 GiB manifest under 4 MiB: %s\n",
                withinFive ? "yes" : "NO", belowCasync ? "yes" : "NO", belowCasyncAtMean ? "yes" : "NO",
                manifest20GiB < 4 * MiB ? "yes" : "NO");
    return 0;
}
