#include "core/object_format.h"

#include <QtTest>

using namespace vorn;

namespace {

QByteArray withPrefix(QByteArray object, quint32 announced)
{
    for (int i = 0; i < 4; ++i)
        object[i] = char(announced >> (24 - 8 * i));
    return object;
}

QByteArray text(int size)
{
    QByteArray bytes;
    for (int i = 0; bytes.size() < size; ++i)
        bytes += QByteArray::number(i * 7919) + ' ';
    return bytes.left(size);
}

} // namespace

class TestObjectFormat final : public QObject
{
    Q_OBJECT

private slots:
    void inflate_data()
    {
        QTest::addColumn<QByteArray>("object");
        QTest::addColumn<qint64>("chunkSize");
        QTest::addColumn<bool>("accepted");
        const QByteArray chunk = text(5000);
        const QByteArray object = qCompress(chunk);
        QTest::newRow("as written") << object << qint64(5000) << true;
        QTest::newRow("fastest level") << qCompress(chunk, 0) << qint64(5000) << true;
        // The stream is one byte longer or shorter than both prefix and manifest say.
        QTest::newRow("one byte more")
            << withPrefix(qCompress(text(5001)), 5000) << qint64(5000) << false;
        QTest::newRow("one byte less")
            << withPrefix(qCompress(text(4999)), 5000) << qint64(5000) << false;
        QTest::newRow("prefix differs") << withPrefix(object, 4000) << qint64(5000) << false;
        QTest::newRow("stream cut short") << object.left(object.size() - 6) << qint64(5000) << false;
        QTest::newRow("not a stream") << withPrefix(QByteArray(64, 'x'), 5000) << qint64(5000) << false;
        QTest::newRow("no stream") << withPrefix(QByteArray(4, '\0'), 5000) << qint64(5000) << false;
        QTest::newRow("prefix cut short") << QByteArray(3, '\0') << qint64(0) << false;
        QTest::newRow("empty as written") << qCompress(QByteArray()) << qint64(0) << true;
        // The zlib stream of no bytes at all.
        QTest::newRow("empty with a stream")
            << QByteArray(4, '\0') + QByteArray::fromHex("789c030000000001") << qint64(0) << true;
        QTest::newRow("empty but the stream is not")
            << withPrefix(qCompress(QByteArray(1, 'a')), 0) << qint64(0) << false;
        QTest::newRow("above the object limit")
            << withPrefix(object, quint32(kMaxObjectBytes + 1)) << kMaxObjectBytes + 1 << false;
    }

    void inflate()
    {
        QFETCH(QByteArray, object);
        QFETCH(qint64, chunkSize);
        QFETCH(bool, accepted);
        QByteArray chunk("stale");
        QCOMPARE(inflateObject(object, chunkSize, &chunk), accepted);
        if (accepted)
            QCOMPARE(chunk, qUncompress(object));
        else
            QVERIFY(chunk.isEmpty());
        QCOMPARE(qint64(chunk.size()), accepted ? chunkSize : 0);
    }
};

QTEST_GUILESS_MAIN(TestObjectFormat)
#include "tst_object_format.moc"
