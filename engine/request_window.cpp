#include "engine/request_window.h"

#include <algorithm>

namespace vorn {

namespace {

// Growth must win at least this much throughput per round to go on: below it, the line (or
// the bandwidth limit) is full and further requests would only wait in queues.
constexpr double kGrowthWorthIt = 1.1;
// One round that gains nothing may be a busy moment of this computer or of the server; two in
// a row are the line.
constexpr int kFlatRoundsToHold = 2;

} // namespace

void RequestWindow::reset(qint64 nowMs)
{
    m_window = kInitial;
    m_growing = true;
    m_bestBytesPerMs = 0;
    m_bestRoundLength = kInitial;
    m_flatRounds = 0;
    startRound(nowMs);
}

void RequestWindow::restartRound(qint64 nowMs)
{
    startRound(nowMs);
}

int RequestWindow::size() const
{
    return std::min(m_window, m_multiplexed ? kMaxStreams : kMaxConnections);
}

void RequestWindow::succeeded(qint64 bytes, qint64 nowMs)
{
    m_roundBytes += std::max<qint64>(bytes, 0);
    ++m_roundAnswers;
    // One more per answer doubles the window in a round trip, as long as growing pays.
    if (m_growing && !m_roundFailed)
        m_window = std::min(m_window + 1, kMaxStreams);
    endRoundIfDue(nowMs);
}

void RequestWindow::failed(qint64 nowMs)
{
    if (!m_roundFailed) {
        m_window = std::max(1, m_window / 2);
        m_roundFailed = true;
    }
    m_growing = false;
    ++m_roundAnswers;
    endRoundIfDue(nowMs);
}

void RequestWindow::endRoundIfDue(qint64 nowMs)
{
    if (m_roundAnswers < m_roundLength)
        return;
    const qint64 elapsed = std::max<qint64>(nowMs - m_roundStartMs, 1);
    const double throughput = double(m_roundBytes) / double(elapsed);
    if (m_roundFailed) {
        // What was reached before the failure is no yardstick for the smaller window: the
        // next clean round measures anew and may grow again.
        m_bestBytesPerMs = 0;
        m_flatRounds = 0;
    } else if (throughput > m_bestBytesPerMs * kGrowthWorthIt) {
        m_bestBytesPerMs = throughput;
        m_bestRoundLength = m_roundLength;
        m_growing = true;
        m_flatRounds = 0;
    } else if (++m_flatRounds >= kFlatRoundsToHold) {
        // The line was full already: beyond twice the window that reached the best throughput
        // (room for its ups and downs), requests would only wait in queues.
        m_growing = false;
        m_window = std::min(m_window, std::max(kInitial, 2 * m_bestRoundLength));
    }
    startRound(nowMs);
}

void RequestWindow::startRound(qint64 nowMs)
{
    m_roundStartMs = nowMs;
    m_roundBytes = 0;
    m_roundAnswers = 0;
    m_roundLength = std::max(1, size());
    m_roundFailed = false;
}

} // namespace vorn
