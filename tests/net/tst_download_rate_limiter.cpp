#include "net/download_rate_limiter.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <atomic>

using vorn::DownloadRateLimiter;

class TestDownloadRateLimiter final : public QObject
{
    Q_OBJECT

private slots:
    void withoutLimitOnlyTheCancelFlagCounts()
    {
        DownloadRateLimiter limiter;
        std::atomic<int> cancel{0};
        QVERIFY(limiter.acquire(1 << 30, &cancel));
        QVERIFY(limiter.acquire(1, nullptr));
        limiter.setBytesPerSecond(1000);
        QVERIFY(limiter.acquire(0, &cancel)); // nothing to read, nothing reserved
        cancel = 1;
        QVERIFY(!limiter.acquire(1 << 30, &cancel));
        limiter.setBytesPerSecond(0);
        QVERIFY(!limiter.acquire(1, &cancel));
    }

    // Each read reserves the window after the previous one: five 100 ms windows end no
    // earlier than 400 ms after the first read began.
    void windowsFollowOneAnother()
    {
        DownloadRateLimiter limiter;
        limiter.setBytesPerSecond(10000);
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 5; ++i)
            QVERIFY(limiter.acquire(1000, nullptr));
        QVERIFY2(clock.elapsed() >= 390, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }

    void aNewLimitForgetsEarlierReservations()
    {
        DownloadRateLimiter limiter;
        limiter.setBytesPerSecond(100);
        QVERIFY(limiter.acquire(1000, nullptr)); // the next read would wait ten seconds
        limiter.setBytesPerSecond(1000000);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(limiter.acquire(1000, nullptr));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }

    void cancellingEndsAWaitEarly()
    {
        DownloadRateLimiter limiter;
        limiter.setBytesPerSecond(100);
        QVERIFY(limiter.acquire(1000, nullptr));
        std::atomic<int> cancel{0};
        bool granted = true;
        qint64 waitedMs = 0;
        QThread* reader = QThread::create([&] {
            QElapsedTimer clock;
            clock.start();
            granted = limiter.acquire(1000, &cancel);
            waitedMs = clock.elapsed();
        });
        reader->start();
        QThread::msleep(150);
        cancel = 1;
        QVERIFY(reader->wait(5000));
        delete reader;
        QVERIFY(!granted);
        QVERIFY2(waitedMs < 5000, qPrintable(QString::number(waitedMs)));
    }
};

QTEST_GUILESS_MAIN(TestDownloadRateLimiter)
#include "tst_download_rate_limiter.moc"
