// Throughput of split() with the default options on a large file in the page cache, against a
// plain gear loop over the same file (every byte rolled and tested, 256 KiB reads).
#include "bench/bench_common.h"
#include "core/chunker.h"

#include <QCoreApplication>
#include <QDir>

#include <array>

using namespace vorn;

namespace {

std::array<quint64, 256> referenceGear()
{
    std::array<quint64, 256> gear{};
    quint64 state = 0x564F524E4348554EULL;
    for (quint64& entry : gear)
        entry = bench::nextRandom(&state);
    return gear;
}

// The rule written as plainly as possible; it reads each chunk from its start.
QVector<ChunkRange> plainSplit(QFile* file, qint64 size, const ChunkingOptions& o)
{
    const auto gear = referenceGear();
    const quint64 strict = (quint64(1) << 23) - 1, loose = (quint64(1) << 21) - 1;
    std::vector<uchar> buffer(256 * 1024);
    QVector<ChunkRange> ranges;
    qint64 offset = 0;
    while (offset < size) {
        file->seek(offset);
        qint64 pos = 0;
        quint64 hash = 0;
        bool end = false;
        while (!end) {
            if (offset + pos >= size)
                break;
            const qint64 want = qMin(qMin(size - offset - pos, o.maxBytes - pos), qint64(buffer.size()));
            const qint64 got = file->read(reinterpret_cast<char*>(buffer.data()), want);
            if (got <= 0)
                return {};
            for (qint64 i = 0; i < got; ++i) {
                hash = (hash << 1) + gear[buffer[i]];
                ++pos;
                if (pos >= o.minBytes
                    && ((hash & (pos < o.averageBytes ? strict : loose)) == 0
                        || pos >= o.maxBytes || offset + pos >= size)) {
                    end = true;
                    break;
                }
            }
        }
        ranges.append({offset, pos});
        offset += pos;
    }
    return ranges;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 size = qint64(1) << 30;
    const QString path = bench::preparedGigabyteFile(argc, argv);
    if (path.isEmpty())
        return 1;
    const ChunkingOptions options;

    qint64 bestSplit = -1, bestPlain = -1;
    QVector<ChunkRange> ranges, plain;
    for (int run = 0; run < 3; ++run) {
        QFile file(path);
        QElapsedTimer timer;
        timer.start();
        QString error;
        ranges = split(options, &file, size, &error);
        const qint64 t = timer.nsecsElapsed();
        if (ranges.isEmpty()) {
            std::fprintf(stderr, "split failed: %s\n", qPrintable(error));
            return 1;
        }
        if (bestSplit < 0 || t < bestSplit)
            bestSplit = t;

        QFile reference(path);
        if (!reference.open(QIODevice::ReadOnly))
            return 1;
        timer.restart();
        plain = plainSplit(&reference, size, options);
        const qint64 p = timer.nsecsElapsed();
        if (bestPlain < 0 || p < bestPlain)
            bestPlain = p;
    }
    const double splitRate = bench::mibPerSecond(size, bestSplit);
    const double plainRate = bench::mibPerSecond(size, bestPlain);
    std::printf("file            %s (1 GiB, page cache), best of 3\n", qPrintable(path));
    std::printf("chunks          %d (identical to plain loop: %s)\n", int(ranges.size()),
                ranges == plain ? "yes" : "NO");
    std::printf("split           %8.1f MiB/s  (%.2f GiB/s)\n", splitRate, splitRate / 1024.0);
    std::printf("plain gear loop %8.1f MiB/s  (%.2f GiB/s)\n", plainRate, plainRate / 1024.0);
    std::printf("ratio           %.2fx plain loop; target 1.2 GiB/s: %s\n", splitRate / plainRate,
                splitRate / 1024.0 >= 1.2 ? "met" : "NOT met");
    return ranges == plain ? 0 : 1;
}
