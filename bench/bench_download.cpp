// Downloads at the network's limit: a fresh install through UpdateEngine against curl fetching
// the same objects four at a time over reused connections, in the same run, from nginx on
// loopback. For a distant server, a proxy of ours in front of nginx holds everything the client
// sends for the delay: each request then waits that long, a new connection once more (its
// handshake) and a TLS handshake once per flight of the client's.
//   bench_download [FOLDER [RUNS [http|https|both [DELAY_MS...]]]]
//   (default /tmp/vorn-bench/download, 1 run, both schemes, delays 0 and 40)
#include "bench/bench_common.h"
#include "bench/bench_engine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

using namespace vorn;
using namespace vorn::bench;

namespace {

// One client connection and its connection to the server.
class DelayedLink final : public QObject
{
public:
    DelayedLink(QTcpSocket* client, quint16 serverPort, int delayMs, QObject* parent)
        : QObject(parent), m_client(client), m_server(new QTcpSocket(this)), m_delayMs(delayMs)
    {
        m_client->setParent(this);
        m_clock.start();
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] { forwardDue(); });
        connect(m_client, &QTcpSocket::readyRead, this, [this] {
            // The first bytes also pay for the TCP handshake.
            const qint64 due = m_clock.elapsed() + (m_pending.isEmpty() && !m_sentAny ? 2 : 1) * m_delayMs;
            m_pending.append({due, m_client->readAll()});
            m_sentAny = true;
            if (!m_timer.isActive())
                forwardDue();
        });
        connect(m_server, &QTcpSocket::connected, this, [this] {
            m_server->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            forwardDue();
        });
        connect(m_server, &QTcpSocket::readyRead, this, [this] { m_client->write(m_server->readAll()); });
        connect(m_server, &QTcpSocket::disconnected, m_client, &QTcpSocket::disconnectFromHost);
        connect(m_client, &QTcpSocket::disconnected, this, &QObject::deleteLater);
        m_client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_server->connectToHost(QHostAddress::LocalHost, serverPort);
    }

private:
    void forwardDue()
    {
        if (m_server->state() != QAbstractSocket::ConnectedState)
            return; // connected() comes back here
        const qint64 now = m_clock.elapsed();
        while (!m_pending.isEmpty() && m_pending.first().first <= now)
            m_server->write(m_pending.takeFirst().second);
        if (!m_pending.isEmpty())
            m_timer.start(int(m_pending.first().first - now));
    }

    QTcpSocket* m_client;
    QTcpSocket* m_server;
    int m_delayMs;
    bool m_sentAny = false;
    QElapsedTimer m_clock;
    QTimer m_timer;
    QList<QPair<qint64, QByteArray>> m_pending; // due time, bytes
};

class DelayProxy final : public QTcpServer
{
public:
    DelayProxy(quint16 serverPort, int delayMs) : m_serverPort(serverPort), m_delayMs(delayMs) {}
    [[nodiscard]] int connections() const { return m_connections.load(); }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* client = new QTcpSocket;
        if (!client->setSocketDescriptor(descriptor)) {
            delete client;
            return;
        }
        ++m_connections;
        new DelayedLink(client, m_serverPort, m_delayMs, this);
    }

private:
    quint16 m_serverPort;
    int m_delayMs;
    std::atomic<int> m_connections{0};
};

// The proxy on a thread of its own, so that neither the engine's thread nor curl waits for it.
class ProxyThread
{
public:
    ProxyThread(quint16 serverPort, int delayMs) : m_proxy(new DelayProxy(serverPort, delayMs))
    {
        m_proxy->moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(m_proxy, [this] { m_listening = m_proxy->listen(QHostAddress::LocalHost, 0); },
                                  Qt::BlockingQueuedConnection);
    }
    ~ProxyThread()
    {
        QMetaObject::invokeMethod(m_proxy, [this] { delete m_proxy; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    ProxyThread(const ProxyThread&) = delete;
    ProxyThread& operator=(const ProxyThread&) = delete;

    [[nodiscard]] bool ok() const { return m_listening; }
    [[nodiscard]] quint16 port() const { return m_proxy->serverPort(); }
    [[nodiscard]] int connections() const { return m_proxy->connections(); }

private:
    QThread m_thread;
    DelayProxy* m_proxy;
    bool m_listening = false;
};

struct Row
{
    int delayMs = 0;
    bool https = false;
    qint64 engineNs = -1;
    qint64 applyNs = -1;
    qint64 curlNs = -1;
    int engineConnections = -1;
    int curlConnections = -1;
};

bool measure(Row* row, const Manifest& manifest, quint16 serverPort, const QString& root,
             const QString& authority)
{
    std::unique_ptr<ProxyThread> proxy;
    quint16 port = serverPort;
    if (row->delayMs > 0) {
        proxy = std::make_unique<ProxyThread>(serverPort, row->delayMs);
        if (!proxy->ok())
            return false;
        port = proxy->port();
    }
    const QString baseUrl = QStringLiteral("%1://127.0.0.1:%2/")
                                .arg(row->https ? QStringLiteral("https") : QStringLiteral("http"))
                                .arg(port);
    const QString game = root + QStringLiteral("/game");
    const QString cache = root + QStringLiteral("/cache");
    QDir(game).removeRecursively();
    QDir(cache).removeRecursively();
    {
        // A service of its own: the run starts without connections, as a launcher does.
        NetworkService network;
        if (row->https)
            network.setExtraCertificateAuthorities(authority);
        const RunTimes engine = runEngine(&network, manifest, baseUrl, game, cache);
        if (!engine.ok) {
            std::fprintf(stderr, "engine: %s\n", qPrintable(engine.error));
            return false;
        }
        row->engineNs = engine.totalNs;
        row->applyNs = engine.applyNs;
    }
    if (proxy)
        row->engineConnections = proxy->connections();
    QDir(game).removeRecursively();
    row->curlNs = curlFetchNs(distinctObjects(manifest), baseUrl, root + QStringLiteral("/curl"),
                              row->https ? authority : QString());
    if (proxy)
        row->curlConnections = proxy->connections() - row->engineConnections;
    QDir(root + QStringLiteral("/curl")).removeRecursively();
    return row->curlNs > 0;
}

QString connectionsText(int count)
{
    return count < 0 ? QStringLiteral("-") : QString::number(count);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/vorn-bench/download");
    const int runs = argc > 2 ? qMax(1, atoi(argv[2])) : 1;
    const QByteArray schemes = argc > 3 ? QByteArray(argv[3]) : QByteArray("both");
    QList<bool> secureRuns;
    if (schemes != "https")
        secureRuns << false;
    if (schemes != "http")
        secureRuns << true;
    QList<int> delays;
    for (int i = 4; i < argc; ++i)
        delays << qMax(0, atoi(argv[i]));
    if (delays.isEmpty())
        delays = {0, 40};
    const QString source = root + QStringLiteral("/source");
    const QString repo = root + QStringLiteral("/repo");
    QDir().mkpath(source + QStringLiteral("/data"));
    // About a thousand objects of 64 KiB on average, as chunks of two larger files.
    if (!ensureRandomFile(source + QStringLiteral("/data/random.pak"), 64LL << 20, 5)
        || !ensureCompressibleFile(source + QStringLiteral("/data/world.txt"), 24LL << 20)) {
        std::fprintf(stderr, "cannot prepare data under %s\n", qPrintable(root));
        return 1;
    }
    ChunkingOptions chunking;
    chunking.wholeFileThreshold = 64 * 1024;
    chunking.minBytes = 32 * 1024;
    chunking.averageBytes = 64 * 1024;
    chunking.maxBytes = 128 * 1024;
    if (!publishOnce(source, repo, root + QStringLiteral("/keys"), QStringLiteral("r1"), chunking))
        return 1;
    const Manifest manifest = readManifest(repo, QStringLiteral("r1"));
    const QVector<ManifestChunk> objects = distinctObjects(manifest);
    qint64 storedBytes = 0;
    for (const ManifestChunk& object : objects)
        storedBytes += object.blobSize;

    const QString certificates = root + QStringLiteral("/ca");
    if (QProcess::execute(kScripts + QStringLiteral("/make-test-ca"), {certificates}) != 0)
        return 1;
    const QString authority = certificates + QStringLiteral("/ca.pem");
    const Nginx plain(repo, root + QStringLiteral("/nginx-http"));
    const Nginx secure(repo, root + QStringLiteral("/nginx-https"), certificates + QStringLiteral("/server.pem"),
                       certificates + QStringLiteral("/server.key"));
    if (!plain.ok() || !secure.ok())
        return 1;

    std::printf("release: %d objects, %.1f MiB stored, %d files; %d run(s)\n", int(objects.size()),
                storedBytes / 1048576.0, int(manifest.files.size()), runs);
    std::printf("%6s  %-5s  %16s  %7s  %16s  %s\n", "delay", "", "engine s (conn)", "apply s",
                "curl s (conn)", "engine speed / curl");
    for (int run = 0; run < runs; ++run) {
        for (const int delayMs : qAsConst(delays)) {
            for (const bool https : qAsConst(secureRuns)) {
                Row row;
                row.delayMs = delayMs;
                row.https = https;
                if (!measure(&row, manifest, https ? secure.port() : plain.port(), root, authority)) {
                    std::fprintf(stderr, "run failed\n");
                    return 1;
                }
                std::printf("%3d ms  %-5s  %9.2f (%4s)  %7.2f  %9.2f (%4s)  %.2f\n", delayMs,
                            https ? "https" : "http", row.engineNs / 1e9,
                            qPrintable(connectionsText(row.engineConnections)), row.applyNs / 1e9,
                            row.curlNs / 1e9,
                            qPrintable(connectionsText(row.curlConnections)),
                            double(row.curlNs) / double(row.engineNs));
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
