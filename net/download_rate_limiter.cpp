#include "net/download_rate_limiter.h"

#include <QMutexLocker>
#include <QThread>

#include <algorithm>

namespace vorn {

namespace {

constexpr qint64 kSleepSliceMs = 50;

bool cancelled(const std::atomic<int>* flag)
{
    return flag && flag->load() != 0;
}

} // namespace

void DownloadRateLimiter::setBytesPerSecond(qint64 bytesPerSecond)
{
    QMutexLocker lock(&m_mutex);
    m_bytesPerSecond = bytesPerSecond;
    m_clock.start();
    m_nextFreeMs = 0;
}

qint64 DownloadRateLimiter::bytesPerSecond() const
{
    QMutexLocker lock(&m_mutex);
    return m_bytesPerSecond;
}

bool DownloadRateLimiter::acquire(qint64 bytes, const std::atomic<int>* cancelFlag)
{
    qint64 waitMs = 0;
    {
        QMutexLocker lock(&m_mutex);
        if (m_bytesPerSecond <= 0 || bytes <= 0)
            return !cancelled(cancelFlag);
        if (!m_clock.isValid()) {
            m_clock.start();
            m_nextFreeMs = 0;
        }
        const qint64 now = m_clock.elapsed();
        const qint64 start = std::max(m_nextFreeMs, now);
        // Rounded up in floating point: bytes * 1000 must not overflow for huge reads.
        const double exact = double(bytes) * 1000.0 / double(m_bytesPerSecond);
        const qint64 duration = std::max<qint64>(1, qint64(exact) + (exact > qint64(exact) ? 1 : 0));
        m_nextFreeMs = start + duration;
        waitMs = start - now;
    }
    while (waitMs > 0) {
        if (cancelled(cancelFlag))
            return false;
        const qint64 slice = std::min(waitMs, kSleepSliceMs);
        QThread::msleep(static_cast<unsigned long>(slice));
        waitMs -= slice;
    }
    return !cancelled(cancelFlag);
}

} // namespace vorn
