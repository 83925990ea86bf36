#include "core/sha256.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>

using namespace vorn;

class TestSha256 final : public QObject
{
    Q_OBJECT

private slots:
    void knownDigests_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("digestHex");
        QTest::newRow("empty") << QByteArray()
            << QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        QTest::newRow("abc") << QByteArray("abc")
            << QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        QTest::newRow("two blocks")
            << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
            << QByteArray("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
        QTest::newRow("million a") << QByteArray(1000000, 'a')
            << QByteArray("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
        // Around the padding: the length still fits in the last block, just not, a whole block.
        const auto counting = [](int size) {
            QByteArray bytes(size, Qt::Uninitialized);
            for (int i = 0; i < size; ++i)
                bytes[i] = char(i);
            return bytes;
        };
        QTest::newRow("55 bytes") << counting(55)
            << QByteArray("463eb28e72f82e0a96c0a4cc53690c571281131f672aa229e0d45ae59b598b59");
        QTest::newRow("56 bytes") << counting(56)
            << QByteArray("da2ae4d6b36748f2a318f23e7ab1dfdf45acdc9d049bd80e59de82a60895f562");
        QTest::newRow("64 bytes") << counting(64)
            << QByteArray("fdeab9acf3710362bd2658cdc9a29e8f9c757fcf9811603a8c447cd1d9151108");
    }

    void knownDigests()
    {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, digestHex);
        QCOMPARE(Sha256::hash(data).toHex(), digestHex);
    }

    void incrementalEqualsOneShotAndQt()
    {
        QByteArray data(3 * 1024 * 1024 + 17, Qt::Uninitialized);
        QRandomGenerator random(42);
        random.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
        Sha256 sha;
        for (int pos = 0; pos < data.size();) {
            const int step = qMin(int(random.bounded(200000)), data.size() - pos);
            sha.addData(data.constData() + pos, step);
            pos += step;
        }
        const QByteArray digest = sha.result();
        QCOMPARE(digest, Sha256::hash(data));
        QCOMPARE(digest, QCryptographicHash::hash(data, QCryptographicHash::Sha256));
        QCOMPARE(sha.result(), digest); // asking again does not finalise twice

        sha.reset();
        sha.addData(QByteArray("abc"));
        QCOMPARE(sha.result(), Sha256::hash("abc", 3));
    }
};

QTEST_GUILESS_MAIN(TestSha256)
#include "tst_sha256.moc"
