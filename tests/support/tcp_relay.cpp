#include "tests/support/tcp_relay.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace vorn::test {

TcpRelay::TcpRelay(quint16 serverPort) : m_serverPort(serverPort)
{
    QObject::connect(&m_listener, &QTcpServer::newConnection, &m_listener, [this] { accept(); });
    (void)m_listener.listen(QHostAddress::LocalHost, 0);
}

TcpRelay::~TcpRelay()
{
    m_listener.close();
    while (!m_links.isEmpty())
        close(m_links.first());
}

void TcpRelay::dropOnceAfter(qint64 bytes, std::function<void()> onDrop)
{
    m_dropAfter = bytes;
    m_onDrop = std::move(onDrop);
}

void TcpRelay::accept()
{
    while (QTcpSocket* client = m_listener.nextPendingConnection()) {
        ++m_connections;
        auto* link = new Link;
        link->client = client;
        link->server = new QTcpSocket;
        m_links.append(link);
        QTcpSocket* server = link->server;
        // What the client sends before the server's side is up waits in the client's socket.
        QObject::connect(client, &QTcpSocket::readyRead, server, [client, server] {
            if (server->state() == QAbstractSocket::ConnectedState)
                server->write(client->readAll());
        });
        QObject::connect(server, &QTcpSocket::connected, client,
                         [client, server] { server->write(client->readAll()); });
        QObject::connect(server, &QTcpSocket::readyRead, client, [this, link] {
            const QByteArray bytes = link->server->readAll();
            link->downstream += bytes.size();
            if (!m_dropped && m_dropAfter >= 0 && link->downstream > m_dropAfter) {
                m_dropped = true;
                link->client->abort();
                link->server->abort();
                if (m_onDrop)
                    m_onDrop();
                return;
            }
            link->client->write(bytes);
        });
        // Either side's end ends the other; what is still buffered for it goes first.
        QObject::connect(client, &QTcpSocket::disconnected, server, [server] { server->disconnectFromHost(); });
        QObject::connect(server, &QTcpSocket::disconnected, client, [client] { client->disconnectFromHost(); });
        server->connectToHost(QHostAddress::LocalHost, m_serverPort);
    }
}

void TcpRelay::close(Link* link)
{
    m_links.removeOne(link);
    link->client->abort();
    link->server->abort();
    delete link->client;
    delete link->server;
    delete link;
}

} // namespace vorn::test
