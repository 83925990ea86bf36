#pragma once

#include <QElapsedTimer>
#include <QMutex>
#include <QtGlobal>

#include <atomic>

namespace vorn {

// One bandwidth budget shared by every request in flight. Each read reserves the next free
// time window for its bytes; windows follow one another, so parallel requests together
// stay at the limit. Nobody sleeps while holding the mutex.
class DownloadRateLimiter final
{
public:
    // 0 or less: no limit. Restarts the clock and forgets earlier reservations.
    void setBytesPerSecond(qint64 bytesPerSecond);
    [[nodiscard]] qint64 bytesPerSecond() const;

    // Waits until `bytes` may be read. False as soon as the cancel flag is set, checked at
    // least every 50 ms.
    [[nodiscard]] bool acquire(qint64 bytes, const std::atomic<int>* cancelFlag);

private:
    mutable QMutex m_mutex;
    QElapsedTimer m_clock;
    qint64 m_bytesPerSecond = 0;
    qint64 m_nextFreeMs = 0;
};

} // namespace vorn
