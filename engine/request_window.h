#pragma once

#include <QtGlobal>

namespace vorn {

// How many object requests the engine keeps in flight. A fixed number caps a download at that
// many objects per round trip, which on a distant server is a small part of the player's line;
// so the window starts small, doubles per round trip while the measured throughput still
// grows (more in flight is only worth it while the line is not full), settles at twice the
// window that reached the best throughput, and halves on transport errors. Over HTTP/2 the requests are streams of one connection and the window may reach
// 64; over HTTP/1.1 each is a connection of its own, and a server sees at most 6 at a time.
class RequestWindow
{
public:
    static constexpr int kInitial = 4;
    static constexpr int kMaxStreams = 64;
    static constexpr int kMaxConnections = 6;

    // Starts measuring afresh at nowMs, with the initial window.
    void reset(qint64 nowMs);
    // A pause is not a slow line: the round under way is measured anew from nowMs.
    void restartRound(qint64 nowMs);

    // Whether the server takes the requests as streams of one connection (HTTP/2). Until an
    // answer told so, it is taken for a server that does not.
    void setMultiplexed(bool multiplexed) { m_multiplexed = multiplexed; }

    // Requests that may be in flight now.
    [[nodiscard]] int size() const;

    void succeeded(qint64 bytes, qint64 nowMs);
    // A transport failure (no complete answer). Halves the window at most once per round, so
    // that a dropped connection failing all its streams at once is one event, not many.
    void failed(qint64 nowMs);

private:
    void endRoundIfDue(qint64 nowMs);
    void startRound(qint64 nowMs);

    int m_window = kInitial;
    bool m_multiplexed = false;
    bool m_growing = true;
    double m_bestBytesPerMs = 0;
    int m_bestRoundLength = kInitial; // the window that measured it
    int m_flatRounds = 0;             // in a row, without a gain worth growing for
    qint64 m_roundStartMs = 0;
    qint64 m_roundBytes = 0;
    int m_roundAnswers = 0;
    int m_roundLength = kInitial; // answers that make up the round: one window's worth
    bool m_roundFailed = false;
};

} // namespace vorn
