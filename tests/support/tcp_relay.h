#pragma once

#include <QList>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

namespace vorn::test {

// A TCP relay on a free loopback port in front of a server on 127.0.0.1, run by the thread
// that owns it (its event loop must be running). It can drop a connection in the middle of
// an answer, once: TLS and HTTP/2 pass through it untouched, so what a client sees is a line
// that went dead, not a server that misbehaved.
class TcpRelay final
{
public:
    explicit TcpRelay(quint16 serverPort);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    // 0 when it could not listen.
    [[nodiscard]] quint16 port() const { return m_listener.serverPort(); }
    // Connections clients opened through the relay so far.
    [[nodiscard]] int connectionCount() const { return m_connections; }

    // The first connection whose server sends more than bytes in all is dropped, both ways,
    // at the read that goes past them: the bytes of that read never reach the client, so a
    // part of some answer is always lost. onDrop runs right after, on the relay's thread.
    void dropOnceAfter(qint64 bytes, std::function<void()> onDrop = {});
    [[nodiscard]] bool dropped() const { return m_dropped; }

private:
    struct Link
    {
        QTcpSocket* client = nullptr;
        QTcpSocket* server = nullptr;
        qint64 downstream = 0;
    };

    void accept();
    void close(Link* link);

    quint16 m_serverPort;
    QTcpServer m_listener;
    QList<Link*> m_links;
    int m_connections = 0;
    qint64 m_dropAfter = -1;
    bool m_dropped = false;
    std::function<void()> m_onDrop;
};

} // namespace vorn::test
