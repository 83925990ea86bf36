#include "engine/request_window.h"

#include <QtTest>

using namespace vorn;

namespace {

constexpr qint64 kObjectBytes = 65536;

// A line that delivers a window of objects per round trip, or fewer when its bandwidth is
// reached first; every request of a round answers at the round's end.
int afterRounds(bool multiplexed, int rounds, qint64 roundTripMs, qint64 bytesPerMs)
{
    RequestWindow window;
    window.setMultiplexed(multiplexed);
    window.reset(0);
    qint64 now = 0;
    for (int round = 0; round < rounds; ++round) {
        const int inFlight = window.size();
        now += qMax(roundTripMs, inFlight * kObjectBytes / bytesPerMs);
        for (int i = 0; i < inFlight; ++i)
            window.succeeded(kObjectBytes, now);
    }
    return window.size();
}

} // namespace

class TestRequestWindow final : public QObject
{
    Q_OBJECT

private slots:
    void followsTheLine_data()
    {
        QTest::addColumn<bool>("multiplexed");
        QTest::addColumn<qint64>("roundTripMs");
        QTest::addColumn<qint64>("bytesPerMs");
        QTest::addColumn<int>("lowest");
        QTest::addColumn<int>("highest");
        // 20 MiB/s at 150 ms needs about 48 objects in flight.
        QTest::newRow("distant server, wide line") << true << qint64(150) << qint64(20 * 1024 * 1024 / 1000) << 48 << 64;
        // A line that 8 objects fill: a window far beyond that only queues.
        QTest::newRow("narrow line") << true << qint64(100) << qint64(8 * kObjectBytes / 100) << 8 << 20;
        QTest::newRow("HTTP/1.1 server") << false << qint64(150) << qint64(20 * 1024 * 1024 / 1000) << 6 << 6;
    }
    void followsTheLine()
    {
        QFETCH(bool, multiplexed);
        QFETCH(qint64, roundTripMs);
        QFETCH(qint64, bytesPerMs);
        QFETCH(int, lowest);
        QFETCH(int, highest);
        const int size = afterRounds(multiplexed, 12, roundTripMs, bytesPerMs);
        QVERIFY2(size >= lowest && size <= highest, qPrintable(QString::number(size)));
    }

    // A dropped connection fails every stream on it at once: one halving, not one per stream;
    // a clean round afterwards lets the window grow again.
    void failuresHalveOncePerRound()
    {
        RequestWindow window;
        window.setMultiplexed(true);
        window.reset(0);
        qint64 now = 0;
        for (int round = 0; round < 4; ++round) {
            const int inFlight = window.size();
            now += 100;
            for (int i = 0; i < inFlight; ++i)
                window.succeeded(kObjectBytes, now);
        }
        const int grown = window.size();
        QCOMPARE(grown, 64);
        for (int i = 0; i < 10; ++i)
            window.failed(now + 1);
        QCOMPARE(window.size(), grown / 2);
        now += 100;
        for (int round = 0; round < 3; ++round) {
            const int inFlight = window.size();
            now += 100;
            for (int i = 0; i < inFlight; ++i)
                window.succeeded(kObjectBytes, now);
        }
        QVERIFY(window.size() > grown / 2);
    }
};

QTEST_APPLESS_MAIN(TestRequestWindow)
#include "tst_request_window.moc"
