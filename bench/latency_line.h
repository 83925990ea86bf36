#pragma once

#include <QtGlobal>

#include <atomic>
#include <thread>

namespace vorn::bench {

// A loopback line between clients and a server on 127.0.0.1: every byte is held for half the
// round trip in each direction, and what the server sends leaves the line no faster than its
// rate, through one token bucket shared by all connections (the player's one line). A new
// connection's first bytes also pay the round trip of the TCP handshake. The kernel's own
// shaping (netem) is not available everywhere, hence user space; it runs on its own thread.
class LatencyLine
{
public:
    LatencyLine(quint16 serverPort, int roundTripMs, qint64 bytesPerSecond);
    ~LatencyLine();
    LatencyLine(const LatencyLine&) = delete;
    LatencyLine& operator=(const LatencyLine&) = delete;

    // 0 when the line could not be opened.
    [[nodiscard]] quint16 port() const { return m_port; }
    // Connections clients opened through the line so far.
    [[nodiscard]] int connections() const { return m_connections.load(); }

private:
    void run();

    quint16 m_serverPort;
    int m_oneWayMs;
    qint64 m_bytesPerSecond;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    quint16 m_port = 0;
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};

} // namespace vorn::bench
