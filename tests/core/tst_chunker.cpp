#include "core/chunker.h"
#include "core/sha256.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <array>

using namespace vorn;

Q_DECLARE_METATYPE(vorn::ChunkingOptions)

namespace {

constexpr qint64 MiB = 1024 * 1024;

quint64 splitMix64(quint64* state)
{
    quint64 z = (*state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// The cutting rule written as plainly as possible: every byte rolled, every position tested.
QVector<ChunkRange> referenceSplit(const QByteArray& data, const ChunkingOptions& o)
{
    const qint64 size = data.size();
    if (size == 0)
        return {{0, 0}};
    if (size <= o.wholeFileThreshold)
        return {{0, size}};
    std::array<quint64, 256> gear{};
    quint64 state = 0x564F524E4348554EULL;
    for (quint64& entry : gear)
        entry = splitMix64(&state);
    int bits = 0;
    if (o.averageBytes != 1) {
        bits = 1;
        while (bits < 62 && (qint64(1) << bits) < o.averageBytes)
            ++bits;
    }
    const quint64 strict = (quint64(1) << qMin(bits + 1, 62)) - 1;
    const quint64 loose = (quint64(1) << qMax(bits - 1, 1)) - 1;
    QVector<ChunkRange> ranges;
    qint64 offset = 0;
    while (offset < size) {
        qint64 pos = 0;
        quint64 hash = 0;
        while (offset + pos < size) {
            hash = (hash << 1) + gear[uchar(data[int(offset + pos)])];
            ++pos;
            if (pos >= o.minBytes
                && ((hash & (pos < o.averageBytes ? strict : loose)) == 0 || pos >= o.maxBytes))
                break;
        }
        ranges.append({offset, pos});
        offset += pos;
    }
    return ranges;
}

ChunkingOptions options(qint64 threshold, qint64 minBytes, qint64 average, qint64 maxBytes)
{
    ChunkingOptions o;
    o.wholeFileThreshold = threshold;
    o.minBytes = minBytes;
    o.averageBytes = average;
    o.maxBytes = maxBytes;
    return o;
}

QByteArray randomBytes(qint64 size, quint32 seed)
{
    QByteArray data(int(size), Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (int i = 0; i + 4 <= data.size(); i += 4) {
        const quint32 word = random.generate();
        memcpy(data.data() + i, &word, 4);
    }
    for (int i = data.size() & ~3; i < data.size(); ++i)
        data[i] = char(random.generate());
    return data;
}

// A few distinct bytes repeated with little variation, so that the hash meets masks often and
// both scanning lanes find cuts in the same buffer.
QByteArray lowEntropyBytes(qint64 size, quint32 seed)
{
    QByteArray data(int(size), Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(random.bounded(4) * 17);
    return data;
}

QVector<ChunkRange> splitBytes(const ChunkingOptions& o, const QByteArray& data, QString* error = nullptr)
{
    QBuffer buffer;
    buffer.setData(data);
    return split(o, &buffer, data.size(), error);
}

// Counts reads so tests can tell whether content was touched.
class CountingBuffer final : public QBuffer
{
public:
    int reads = 0;

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        ++reads;
        return QBuffer::readData(data, maxSize);
    }
};

// A pipe-like device: it cannot seek and keeps its own read position.
class SequentialBuffer final : public QIODevice
{
public:
    void setData(const QByteArray& data) { m_data = data; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = qMin(maxSize, qint64(m_data.size()) - m_position);
        memcpy(data, m_data.constData() + m_position, size_t(n));
        m_position += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_position = 0;
};

// Loses its second half on the first read, as if another program truncated it meanwhile.
class ShrinkingFile final : public QFile
{
public:
    using QFile::QFile;

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 got = QFile::readData(data, maxSize);
        if (!m_shrunk) {
            m_shrunk = true;
            QFile::resize(fileName(), size() / 2);
        }
        return got;
    }

private:
    bool m_shrunk = false;
};

} // namespace

class TestChunker final : public QObject
{
    Q_OBJECT

private slots:
    void referenceGeneratorIsSplitMix64()
    {
        quint64 state = 0;
        QCOMPARE(splitMix64(&state), 0xE220A8397B1DCDAFULL);
        QCOMPARE(splitMix64(&state), 0x6E789E6AA1B965F4ULL);
    }

    void matchesPlainLoop_data()
    {
        QTest::addColumn<ChunkingOptions>("o");
        QTest::addColumn<QByteArray>("data");
        const QByteArray random = randomBytes(6 * MiB + 12345, 7);
        const QByteArray patterned = lowEntropyBytes(3 * MiB + 1, 8);
        QTest::newRow("defaults, random") << ChunkingOptions() << randomBytes(40 * MiB + 3, 1);
        QTest::newRow("small chunks, random") << options(0, 8192, 32768, 131072) << random;
        QTest::newRow("small chunks, patterned") << options(0, 8192, 32768, 131072) << patterned;
        QTest::newRow("min below window") << options(0, 16, 16384, 65536) << random;
        QTest::newRow("min below window, patterned") << options(0, 16, 16384, 65536) << patterned;
        QTest::newRow("min equals window") << options(0, 64, 4096, 300000) << random;
        QTest::newRow("equal limits") << options(0, 100000, 100000, 100000) << random;
        QTest::newRow("tiny") << options(0, 1, 2, 4) << random.left(300000);
        QTest::newRow("average one") << options(0, 1, 1, 1) << random.left(1000);
        QTest::newRow("wide loose region") << options(100, 4096, 8192, 4 * MiB) << patterned;
        QTest::newRow("huge average") << options(0, 1000, qint64(1) << 62, qint64(1) << 62)
                                      << random.left(MiB);
        QTest::newRow("one byte past threshold") << options(999, 500, 600, 700) << random.left(1000);
    }

    void matchesPlainLoop()
    {
        QFETCH(ChunkingOptions, o);
        QFETCH(QByteArray, data);
        QString error;
        const QVector<ChunkRange> ranges = splitBytes(o, data, &error);
        QVERIFY2(!ranges.isEmpty(), qPrintable(error));
        QCOMPARE(ranges, referenceSplit(data, o));
    }

    void smallFilesAreNotRead_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << 0;
        QTest::newRow("five bytes") << 5;
        QTest::newRow("at the threshold") << int(8 * MiB);
    }

    void smallFilesAreNotRead()
    {
        QFETCH(int, size);
        CountingBuffer buffer;
        buffer.setData(QByteArray(size, 'x'));
        const QVector<ChunkRange> ranges = split(ChunkingOptions(), &buffer, size);
        QCOMPARE(ranges, QVector<ChunkRange>({{0, size}}));
        QCOMPARE(buffer.reads, 0);
    }

    void zeroFileIsCutAtMaximum()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath("zeros.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(20 * MiB));
        file.close();
        const QVector<ChunkRange> ranges = split(ChunkingOptions(), &file, 20 * MiB);
        QCOMPARE(ranges, QVector<ChunkRange>({{0, 8 * MiB}, {8 * MiB, 8 * MiB}, {16 * MiB, 4 * MiB}}));
    }

    void insertedByteMovesOnlyTheFirstCuts()
    {
        const ChunkingOptions o = options(0, 16384, 65536, 262144);
        const QByteArray original = randomBytes(8 * MiB, 99);
        const QByteArray shifted = QByteArray(1, '\x5a') + original;
        const QVector<ChunkRange> before = splitBytes(o, original);
        const QVector<ChunkRange> after = splitBytes(o, shifted);
        QVERIFY(before.size() > 50);
        // Find where the cuts line up again; everything after that point is the same content.
        int i = 0, j = 0;
        while (i < before.size() && j < after.size()
               && before[i].offset + before[i].size + 1 != after[j].offset + after[j].size) {
            if (before[i].offset + before[i].size + 1 < after[j].offset + after[j].size)
                ++i;
            else
                ++j;
        }
        QVERIFY2(i <= 2 && j <= 2, "cuts did not realign within the first chunks");
        QCOMPARE(after.size() - j, before.size() - i);
        for (++i, ++j; i < before.size(); ++i, ++j) {
            QCOMPARE(after[j].offset, before[i].offset + 1);
            QCOMPARE(after[j].size, before[i].size);
        }
    }

    void refusals_data()
    {
        QTest::addColumn<ChunkingOptions>("o");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("sequential");
        QTest::addColumn<QString>("message");
        const QString invalid = QStringLiteral("Invalid chunking options");
        QTest::newRow("min zero") << options(0, 0, 4 * MiB, 8 * MiB) << qint64(10) << false << invalid;
        QTest::newRow("max below average") << options(0, MiB, 4 * MiB, 2 * MiB) << qint64(10) << false
                                           << invalid;
        QTest::newRow("average below min") << options(0, 2 * MiB, MiB, 8 * MiB) << qint64(10) << false
                                           << invalid;
        QTest::newRow("negative size") << ChunkingOptions() << qint64(-1) << false << invalid;
        QTest::newRow("sequential") << ChunkingOptions() << qint64(0) << true
                                    << "Chunking requires a seekable device";
    }

    void refusals()
    {
        QFETCH(ChunkingOptions, o);
        QFETCH(qint64, size);
        QFETCH(bool, sequential);
        QFETCH(QString, message);
        SequentialBuffer sequentialBuffer;
        sequentialBuffer.setData(QByteArray(100, 'x'));
        QBuffer plain;
        plain.setData(QByteArray(100, 'x'));
        QIODevice* device = sequential ? static_cast<QIODevice*>(&sequentialBuffer) : &plain;
        QString error;
        QVERIFY(split(o, device, size, &error).isEmpty());
        QCOMPARE(error, message);
    }

    void shortReadIsAnError()
    {
        // A size beyond the data: the read at the end finds nothing.
        QString error;
        QVERIFY(splitBytes(options(0, 1000, 2000, 4000), randomBytes(10000, 3), nullptr).size() > 1);
        QBuffer buffer;
        buffer.setData(randomBytes(10000, 3));
        QVERIFY(split(options(0, 1000, 2000, 4000), &buffer, 10001, &error).isEmpty());
        QCOMPARE(error, QStringLiteral("Unexpected end of file while chunking"));
    }

    void fileThatShrinksWhileRead()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("shrinking.bin");
        {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            QVERIFY(out.write(randomBytes(4 * MiB, 5)) == 4 * MiB);
        }
        ShrinkingFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QString error;
        QVERIFY(split(options(0, 65536, 262144, MiB), &file, 4 * MiB, &error).isEmpty());
        QCOMPARE(error, QStringLiteral("Unexpected end of file while chunking"));
    }

    void hashes()
    {
        const QByteArray data = randomBytes(3 * MiB + 5, 11);
        QBuffer buffer;
        buffer.setData(data);
        QString error;
        QCOMPARE(sha256OfDevice(&buffer, &error), Sha256::hash(data)); // opens it
        QCOMPARE(sha256OfDevice(&buffer, &error), Sha256::hash(data)); // starts over at 0
        QCOMPARE(sha256OfRange(&buffer, MiB - 3, 2 * MiB, &error), Sha256::hash(data.mid(MiB - 3, 2 * MiB)));
        QCOMPARE(sha256OfRange(&buffer, 17, 0, &error), Sha256::hash(QByteArray()));

        QVERIFY(sha256OfRange(&buffer, -1, 5, &error).isEmpty());
        QCOMPARE(error, QStringLiteral("Invalid hash range"));
        QVERIFY(sha256OfRange(&buffer, 0, -1, &error).isEmpty());
        QCOMPARE(error, QStringLiteral("Invalid hash range"));
        QVERIFY(sha256OfRange(&buffer, data.size() - 10, 11, &error).isEmpty());
        QCOMPARE(error, QStringLiteral("Unexpected end of file"));

        SequentialBuffer sequential;
        sequential.setData(data);
        QVERIFY(sha256OfRange(&sequential, 0, 1, &error).isEmpty());
        QCOMPARE(error, QStringLiteral("Cannot seek to requested hash range"));
        QVERIFY(sequential.open(QIODevice::ReadOnly));
        QVERIFY(sequential.read(10).size() == 10);
        QCOMPARE(sha256OfDevice(&sequential, &error), Sha256::hash(data.mid(10))); // no rewind

        QFile missing(QDir::temp().filePath("vorn-no-such-file-4711"));
        error.clear();
        QVERIFY(sha256OfDevice(&missing, &error).isEmpty());
        QCOMPARE(error, missing.errorString());
    }

    void indexKeepsFirstOccurrence()
    {
        const QByteArray block = randomBytes(2 * MiB, 21);
        const QByteArray tail = randomBytes(MiB, 22);
        QBuffer buffer;
        buffer.setData(block + block + tail);
        QString error;
        const LocalChunkIndex index = indexLocalChunks(&buffer, options(0, 2 * MiB, 2 * MiB, 2 * MiB), &error);
        QVERIFY2(!index.isEmpty(), qPrintable(error));
        QCOMPARE(index.size(), 2);
        QCOMPARE(index.value(Sha256::hash(block)), ChunkRange({0, 2 * MiB}));
        QCOMPARE(index.value(Sha256::hash(tail)), ChunkRange({4 * MiB, MiB}));

        QBuffer empty;
        empty.setData(QByteArray());
        QCOMPARE(indexLocalChunks(&empty, ChunkingOptions(), &error).value(Sha256::hash(QByteArray())),
                 ChunkRange({0, 0}));
        QVERIFY(indexLocalChunks(&buffer, options(0, 0, 1, 1), &error).isEmpty());
        QCOMPARE(error, QStringLiteral("Invalid chunking options"));
    }
};

QTEST_GUILESS_MAIN(TestChunker)
#include "tst_chunker.moc"
