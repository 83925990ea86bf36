#include "bench/latency_line.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace vorn::bench {

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kReadBytes = 16 * 1024;

struct Piece
{
    Clock::time_point due;
    std::string bytes;
    size_t written = 0;
};

// One direction of one connection: bytes read from `from`, due on `to` at their time.
struct Direction
{
    int from = -1;
    int to = -1;
    std::deque<Piece> pending;
    bool ended = false; // `from` sent its end
    bool shut = false;  // and `to` was told so
};

struct Link
{
    Direction up;   // client to server
    Direction down; // server to client
    bool connected = false;
    bool sentAny = false;
    bool dead = false;
};

void setNonBlocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

int connectTo(quint16 port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    setNonBlocking(fd);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

LatencyLine::LatencyLine(quint16 serverPort, int roundTripMs, qint64 bytesPerSecond)
    : m_serverPort(serverPort), m_oneWayMs(std::max(0, roundTripMs) / 2), m_bytesPerSecond(bytesPerSecond)
{
    m_listener = socket(AF_INET, SOCK_STREAM, 0);
    if (m_listener < 0 || pipe(m_wake) != 0)
        return;
    const int one = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || listen(m_listener, 128) != 0
        || getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    setNonBlocking(m_listener);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

LatencyLine::~LatencyLine()
{
    if (m_thread.joinable()) {
        const char stop = 1;
        (void)!write(m_wake[1], &stop, 1);
        m_thread.join();
    }
    for (int fd : {m_listener, m_wake[0], m_wake[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void LatencyLine::run()
{
    const auto oneWay = std::chrono::milliseconds(m_oneWayMs);
    // When the line is next free to carry a byte downstream, shared by every connection.
    Clock::time_point lineFree = Clock::now();
    std::vector<std::unique_ptr<Link>> links;
    std::vector<char> buffer(kReadBytes);

    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({m_wake[0], POLLIN, 0});
        fds.push_back({m_listener, POLLIN, 0});
        Clock::time_point next = Clock::time_point::max();
        const Clock::time_point now = Clock::now();
        // Whether a direction has bytes due now; otherwise when its next ones are.
        const auto due = [&](const Direction& d) {
            if (d.pending.empty())
                return false;
            if (d.pending.front().due <= now)
                return true;
            next = std::min(next, d.pending.front().due);
            return false;
        };
        for (const auto& link : links) {
            const short client = short((link->up.ended ? 0 : POLLIN) | (due(link->down) ? POLLOUT : 0));
            short server = POLLOUT; // until its connect completes
            if (link->connected)
                server = short((link->down.ended ? 0 : POLLIN) | (due(link->up) ? POLLOUT : 0));
            else
                (void)due(link->up);
            fds.push_back({link->up.from, client, 0});
            fds.push_back({link->up.to, server, 0});
        }
        int timeoutMs = -1;
        if (next != Clock::time_point::max())
            timeoutMs = int(std::max<qint64>(
                1, std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count() + 1));
        if (poll(fds.data(), nfds_t(fds.size()), timeoutMs) < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            break;
        if (fds[1].revents & POLLIN) {
            for (;;) {
                const int client = accept(m_listener, nullptr, nullptr);
                if (client < 0)
                    break;
                setNonBlocking(client);
                const int server = connectTo(m_serverPort);
                if (server < 0) {
                    ::close(client);
                    continue;
                }
                auto link = std::make_unique<Link>();
                link->up.from = client;
                link->up.to = server;
                link->down.from = server;
                link->down.to = client;
                links.push_back(std::move(link));
                ++m_connections;
            }
        }

        const Clock::time_point readTime = Clock::now();
        for (auto& link : links) {
            if (!link->connected) {
                int error = 0;
                socklen_t length = sizeof error;
                pollfd probe{link->up.to, POLLOUT, 0};
                if (poll(&probe, 1, 0) > 0) {
                    getsockopt(link->up.to, SOL_SOCKET, SO_ERROR, &error, &length);
                    if (error != 0) {
                        link->dead = true;
                        continue;
                    }
                    link->connected = true;
                }
            }
            for (Direction* d : {&link->up, &link->down}) {
                const bool downstream = d == &link->down;
                if (!d->ended && (downstream ? link->connected : true)) {
                    for (;;) {
                        const ssize_t n = read(d->from, buffer.data(), buffer.size());
                        if (n == 0) {
                            d->ended = true;
                            break;
                        }
                        if (n < 0) {
                            if (errno != EAGAIN && errno != EWOULDBLOCK)
                                d->ended = true;
                            break;
                        }
                        Piece piece;
                        piece.bytes.assign(buffer.data(), size_t(n));
                        if (downstream) {
                            // Serialised onto the line at its rate, then carried for half the round trip.
                            const Clock::time_point start = std::max(lineFree, readTime);
                            const auto onLine = m_bytesPerSecond > 0
                                ? std::chrono::nanoseconds(qint64(n) * 1000000000 / m_bytesPerSecond)
                                : std::chrono::nanoseconds(0);
                            lineFree = start + onLine;
                            piece.due = lineFree + oneWay;
                        } else {
                            // The client's first bytes wait for the TCP handshake's round trip too.
                            piece.due = readTime + oneWay + (link->sentAny ? std::chrono::milliseconds(0) : 2 * oneWay);
                            link->sentAny = true;
                        }
                        d->pending.push_back(std::move(piece));
                    }
                }
                const Clock::time_point writeTime = Clock::now();
                while (!d->pending.empty() && d->pending.front().due <= writeTime
                       && (downstream || link->connected)) {
                    Piece& piece = d->pending.front();
                    const ssize_t n = write(d->to, piece.bytes.data() + piece.written,
                                            piece.bytes.size() - piece.written);
                    if (n <= 0) {
                        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                            link->dead = true;
                        break;
                    }
                    piece.written += size_t(n);
                    if (piece.written < piece.bytes.size())
                        break;
                    d->pending.pop_front();
                }
                if (d->ended && d->pending.empty() && !d->shut) {
                    shutdown(d->to, SHUT_WR);
                    d->shut = true;
                }
            }
            if ((link->up.ended && link->up.pending.empty() && link->down.ended && link->down.pending.empty()))
                link->dead = true;
        }
        for (auto it = links.begin(); it != links.end();) {
            if ((*it)->dead) {
                ::close((*it)->up.from);
                ::close((*it)->up.to);
                it = links.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& link : links) {
        ::close(link->up.from);
        ::close(link->up.to);
    }
}

} // namespace vorn::bench
