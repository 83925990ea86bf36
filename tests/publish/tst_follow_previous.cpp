#include "core/sha256.h"
#include "publish/follow_previous.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QtTest>

using namespace vorn;
using namespace vorn::publish;

namespace {

ChunkingOptions smallChunks()
{
    ChunkingOptions options;
    options.wholeFileThreshold = 4096;
    options.minBytes = 1024;
    options.averageBytes = 4096;
    options.maxBytes = 16384;
    return options;
}

const ChunkingOptions kOptions = smallChunks();
const QString kPath = QStringLiteral("data/big.pak");

QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

QVector<CutChunk> cut(QByteArray bytes, const PreviousChunks& previous = {})
{
    QBuffer buffer(&bytes);
    QVector<CutChunk> chunks;
    QString error;
    if (!cutFollowingPrevious(kOptions, &buffer, bytes.size(), kPath, previous, &chunks, &error))
        qWarning("%s", qPrintable(error));
    return chunks;
}

ManifestFile asFile(const QVector<CutChunk>& chunks)
{
    ManifestFile file;
    file.path = kPath;
    for (const CutChunk& chunk : chunks)
        file.chunks.append({chunk.range.offset, chunk.range.size, chunk.sha256, {}, 0});
    return file;
}

PreviousChunks previousOf(const QVector<CutChunk>& live, const QVector<CutChunk>& older = {})
{
    PreviousChunks previous({asFile(live)});
    for (const CutChunk& chunk : older)
        previous.addKnown(chunk.sha256);
    return previous;
}

// Bytes of the chunks a player holding previous lacks.
qint64 newBytes(const QVector<CutChunk>& chunks, const PreviousChunks& previous)
{
    qint64 bytes = 0;
    for (const CutChunk& chunk : chunks)
        bytes += previous.isKnown(chunk.sha256) ? 0 : chunk.range.size;
    return bytes;
}

// Whole, in order, within the maximum, every digest that of its bytes.
void verifyCovers(const QVector<CutChunk>& chunks, const QByteArray& bytes)
{
    qint64 offset = 0;
    for (const CutChunk& chunk : chunks) {
        QCOMPARE(chunk.range.offset, offset);
        QVERIFY(chunk.range.size > 0 && chunk.range.size <= kOptions.maxBytes);
        QCOMPARE(chunk.sha256, Sha256::hash(bytes.mid(int(offset), int(chunk.range.size))));
        offset += chunk.range.size;
    }
    QCOMPARE(offset, qint64(bytes.size()));
}

} // namespace

class TestFollowPrevious final : public QObject
{
    Q_OBJECT

private slots:
    void onlyTheEditedChunksAreNew_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("inserted");
        QTest::newRow("insert") << 300000 << 0 << 3000;
        QTest::newRow("overwrite across chunks") << 500000 << 9000 << 9000;
        QTest::newRow("delete") << 700000 << 5000 << 0;
        QTest::newRow("at the start") << 0 << 0 << 2000;
        QTest::newRow("in the last chunk") << (1 << 20) - 100 << 50 << 10;
        QTest::newRow("appended") << (1 << 20) << 0 << 5000;
    }

    void onlyTheEditedChunksAreNew()
    {
        QFETCH(int, offset);
        QFETCH(int, removed);
        QFETCH(int, inserted);
        const QByteArray r1 = randomBytes(1 << 20, 7);
        const QVector<CutChunk> r1Chunks = cut(r1);
        QByteArray r2 = r1;
        r2.replace(offset, removed, randomBytes(inserted + 4, 8).left(inserted));

        const PreviousChunks previous = previousOf(r1Chunks);
        const QVector<CutChunk> followed = cut(r2, previous);
        verifyCovers(followed, r2);

        // At best the previous chunks the edit touches are sent again, with the new bytes.
        const qint64 first = qMin(offset, r1.size() - 1);
        const qint64 last = qMax(qint64(offset + removed), first + 1);
        qint64 touched = 0;
        for (const CutChunk& chunk : r1Chunks) {
            if (chunk.range.offset < last && chunk.range.offset + chunk.range.size > first)
                touched += chunk.range.size;
        }
        const qint64 sent = newBytes(followed, previous);
        QVERIFY2(sent <= touched - removed + inserted, qPrintable(QStringLiteral("%1 > %2").arg(sent).arg(touched - removed + inserted)));
        QVERIFY(sent >= inserted);
        QVERIFY(sent <= newBytes(cut(r2), previous));
    }

    // The content rule alone falls back into step only a few chunks after some edits.
    void fewerBytesThanTheRuleAlone()
    {
        const QByteArray r1 = randomBytes(4 << 20, 11);
        const QVector<CutChunk> r1Chunks = cut(r1);
        QByteArray r2 = r1;
        QRandomGenerator random(12);
        for (int edit = 0; edit < 64; ++edit)
            r2.insert(int(random.bounded(r2.size())), randomBytes(1000, quint32(edit)).left(int(random.bounded(1, 900))));
        const PreviousChunks previous = previousOf(r1Chunks);
        const QVector<CutChunk> followed = cut(r2, previous);
        verifyCovers(followed, r2);
        QVERIFY(newBytes(followed, previous) < newBytes(cut(r2), previous));

        // Where the rule cut r2 out of step, an edit right after it: only the chunk r2 holds it in
        // is new, though the rule's chunks before it are unknown too.
        const PreviousChunks afterR2 = previousOf(followed, r1Chunks);
        const QVector<CutChunk> ruled = cut(r2);
        const auto outOfStep = std::find_if(ruled.cbegin(), ruled.cend(), [&](const CutChunk& chunk) {
            return !afterR2.isKnown(chunk.sha256);
        });
        QVERIFY(outOfStep != ruled.cend());
        const qint64 edit = outOfStep->range.offset + outOfStep->range.size;
        const auto holder = std::find_if(followed.cbegin(), followed.cend(), [&](const CutChunk& chunk) {
            return chunk.range.offset <= edit && edit < chunk.range.offset + chunk.range.size;
        });
        QByteArray r3 = r2;
        r3[int(edit)] = char(r3.at(int(edit)) ^ 0x55);
        const QVector<CutChunk> r3Chunks = cut(r3, afterR2);
        verifyCovers(r3Chunks, r3);
        QCOMPARE(newBytes(r3Chunks, afterR2), holder->range.size);
    }

    // A release cut this way, then the next: unchanged bytes stay where the last release cut
    // them, and bytes going back to an older release's keep that release's chunks.
    void unchangedBytesKeepTheirChunks()
    {
        const QByteArray r1 = randomBytes(1 << 20, 21);
        const QVector<CutChunk> r1Chunks = cut(r1);
        QByteArray r2 = r1;
        r2.insert(400000, randomBytes(2000, 22));
        r2.remove(800000, 3000);
        const QVector<CutChunk> r2Chunks = cut(r2, previousOf(r1Chunks));

        const PreviousChunks afterR2 = previousOf(r2Chunks, r1Chunks);
        const QVector<CutChunk> again = cut(r2, afterR2);
        QCOMPARE(newBytes(again, afterR2), 0);
        QCOMPARE(again.size(), r2Chunks.size());
        const QVector<CutChunk> reverted = cut(r1, afterR2);
        verifyCovers(reverted, r1);
        QCOMPARE(newBytes(reverted, afterR2), 0);

    }
};

QTEST_GUILESS_MAIN(TestFollowPrevious)
#include "tst_follow_previous.moc"
