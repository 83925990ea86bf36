#include "tests/support/http_test_server.h"

#include "tests/support/test_certificates.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

namespace vorn::test {

namespace {

struct Route
{
    QByteArray path;
    QByteArray headerName;
    QByteArray headerValue;
    QList<HttpResponse> responses;
    int served = 0;
};

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

RecordedRequest parseHead(const QByteArray& head)
{
    RecordedRequest request;
    request.head = head;
    const int lineEnd = head.indexOf("\r\n");
    const QList<QByteArray> parts = head.left(lineEnd).split(' ');
    request.method = parts.value(0);
    request.target = parts.value(1);
    QByteArray path = request.target;
    if (path.startsWith("http://") || path.startsWith("https://")) {
        const int slash = path.indexOf('/', path.indexOf("//") + 2);
        path = slash < 0 ? QByteArray("/") : path.mid(slash);
    }
    const int query = path.indexOf('?');
    request.path = query < 0 ? path : path.left(query);
    return request;
}

} // namespace

struct HttpTestServer::State
{
    mutable QMutex mutex;
    QList<Route> routes;
    QList<RecordedRequest> records;
    QList<QPair<QByteArray, QByteArray>> variables;
    QElapsedTimer clock;
    bool keepAlive = false;
    int connections = 0;

    bool keepsAlive(const HttpResponse& r) const
    {
        QMutexLocker lock(&mutex);
        return (keepAlive || r.keepAlive) && r.trickle == HttpResponse::Trickle::None && r.stallAfterBytes < 0
               && r.sendContentLength && r.announcedLength < 0;
    }

    HttpResponse answer(RecordedRequest request)
    {
        QMutexLocker lock(&mutex);
        request.receivedMs = clock.elapsed();
        records.append(request);
        for (Route& route : routes) {
            if (route.path != request.path)
                continue;
            if (!route.headerName.isEmpty() && request.header(route.headerName) != route.headerValue)
                continue;
            HttpResponse response = route.responses.value(qMin(route.served,
                                                               route.responses.size() - 1));
            ++route.served;
            for (auto& header : response.headers) {
                for (const auto& variable : variables)
                    header.second.replace("{" + variable.first + "}", variable.second);
            }
            if (response.echoRequest)
                response.body = request.head;
            if (response.echoPeer)
                response.body = QByteArray::number(request.peerPort);
            if (response.echoLog) {
                response.body.clear();
                for (const RecordedRequest& record : records)
                    response.body += record.method + ' ' + record.target + '\n';
            }
            return response;
        }
        return HttpResponse::text(404, "not found");
    }
};

namespace {

// One accepted connection: reads one request head, then plays the scripted answer.
class Exchange final : public QObject
{
public:
    Exchange(QTcpSocket* socket, std::shared_ptr<HttpTestServer::State> state)
        : QObject(socket), m_socket(socket), m_state(std::move(state))
    {
        connect(socket, &QTcpSocket::readyRead, this, [this] { read(); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QAbstractSocket::errorOccurred, socket, [socket] {
            if (socket->state() == QAbstractSocket::UnconnectedState)
                socket->deleteLater();
        });
    }

private:
    void read()
    {
        if (m_answered) {
            m_socket->readAll();
            return;
        }
        m_buffer += m_socket->readAll();
        const int end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_buffer.size() > 65536)
                m_socket->abort();
            return;
        }
        m_answered = true;
        const QByteArray head = m_buffer.left(end + 4);
        m_buffer.remove(0, end + 4);
        RecordedRequest request = parseHead(head);
        request.peerPort = m_socket->peerPort();
        m_response = m_state->answer(request);
        QTimer::singleShot(m_response.delayMs, this, [this] { sendHead(); });
    }

    void sendHead()
    {
        const HttpResponse& r = m_response;
        if (r.trickle == HttpResponse::Trickle::HeaderLines
            || r.trickle == HttpResponse::Trickle::Continue) {
            if (r.trickle == HttpResponse::Trickle::HeaderLines)
                m_socket->write("HTTP/1.1 200 OK\r\n");
            startTrickle();
            return;
        }
        QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + reasonPhrase(r.status)
                          + "\r\n";
        for (const auto& header : r.headers)
            head += header.first + ": " + header.second + "\r\n";
        if (r.sendContentLength) {
            head += "Content-Length: "
                    + QByteArray::number(r.announcedLength >= 0 ? r.announcedLength
                                                                : qint64(r.body.size()))
                    + "\r\n";
        }
        const bool keepAlive = m_state->keepsAlive(r);
        head += keepAlive ? "\r\n" : "Connection: close\r\n\r\n";
        m_socket->write(head);
        if (r.trickle == HttpResponse::Trickle::Body) {
            startTrickle();
            return;
        }
        if (r.stallAfterBytes >= 0 && r.stallAfterBytes < r.body.size()) {
            m_socket->write(r.body.left(int(r.stallAfterBytes)));
            if (r.stallMs >= 0) {
                QTimer::singleShot(r.stallMs, this, [this] {
                    m_socket->write(m_response.body.mid(int(m_response.stallAfterBytes)));
                    m_socket->disconnectFromHost();
                });
            }
            return;
        }
        m_socket->write(r.body);
        if (!keepAlive) {
            m_socket->disconnectFromHost();
            return;
        }
        m_answered = false;
        if (!m_buffer.isEmpty() || m_socket->bytesAvailable() > 0)
            read();
    }

    // Ends when the client leaves: the timer is a child of this exchange, which goes with the
    // socket.
    void startTrickle()
    {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, timer] {
            const HttpResponse& r = m_response;
            if (r.trickle == HttpResponse::Trickle::HeaderLines) {
                m_socket->write("X-Trickle: 1\r\n");
            } else if (r.trickle == HttpResponse::Trickle::Continue) {
                m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
            } else {
                m_socket->write(r.body.mid(m_trickled, r.trickleBytes));
                m_trickled += r.trickleBytes;
                if (m_trickled >= r.body.size()) {
                    timer->stop();
                    m_socket->disconnectFromHost();
                }
            }
        });
        timer->start(qMax(1, m_response.trickleMs));
    }

    QTcpSocket* m_socket;
    std::shared_ptr<HttpTestServer::State> m_state;
    int m_trickled = 0;
    QByteArray m_buffer;
    bool m_answered = false;
    HttpResponse m_response;
};

} // namespace

class HttpTestServer::Core final : public QTcpServer
{
public:
    explicit Core(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    bool tls = false;
    QSslConfiguration tlsConfiguration;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        QTcpSocket* socket = nullptr;
        if (tls) {
            auto* secure = new QSslSocket(this);
            secure->setSslConfiguration(tlsConfiguration);
            socket = secure;
        } else {
            socket = new QTcpSocket(this);
        }
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        {
            QMutexLocker lock(&m_state->mutex);
            ++m_state->connections;
        }
        new Exchange(socket, m_state);
        if (tls)
            static_cast<QSslSocket*>(socket)->startServerEncryption();
    }

private:
    std::shared_ptr<State> m_state;
};

HttpResponse HttpResponse::text(int status, const QByteArray& body)
{
    HttpResponse response;
    response.status = status;
    response.body = body;
    return response;
}

HttpResponse HttpResponse::ofSize(qint64 bytes, int status)
{
    return text(status, patternBody(bytes));
}

HttpResponse HttpResponse::redirect(int status, const QByteArray& location)
{
    return text(status).header("Location", location);
}

HttpResponse& HttpResponse::header(const QByteArray& name, const QByteArray& value)
{
    headers.append({name, value});
    return *this;
}

HttpResponse& HttpResponse::withoutContentLength()
{
    sendContentLength = false;
    return *this;
}

char patternByte(qint64 index)
{
    return char((index * 7 + index / 251) % 251);
}

QString deadServerUrl()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return QString();
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://127.0.0.1:%1/").arg(port);
}

QByteArray patternBody(qint64 bytes)
{
    QByteArray body(int(bytes), Qt::Uninitialized);
    for (qint64 i = 0; i < bytes; ++i)
        body[int(i)] = patternByte(i);
    return body;
}

QByteArray RecordedRequest::header(const QByteArray& name) const
{
    const QList<QByteArray> lines = head.split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

HttpTestServer::HttpTestServer() : m_state(std::make_shared<State>())
{
    m_state->clock.start();
}

HttpTestServer::~HttpTestServer()
{
    if (!m_thread)
        return;
    QMetaObject::invokeMethod(m_core, [core = m_core] { core->close(); },
                              Qt::BlockingQueuedConnection);
    m_core->deleteLater(); // runs as the thread finishes, on that thread
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

bool HttpTestServer::start(QString* error)
{
    return listen(false, nullptr, QSsl::TlsV1_2OrLater, error);
}

bool HttpTestServer::startTls(const TestCertificates& certificates, QSsl::SslProtocol protocol,
                              QString* error)
{
    return listen(true, &certificates, protocol, error);
}

bool HttpTestServer::listen(bool tls, const TestCertificates* certificates,
                            QSsl::SslProtocol protocol, QString* error)
{
    if (m_thread) {
        if (error)
            *error = QStringLiteral("The server is already running");
        return false;
    }
    m_core = new Core(m_state);
    if (tls) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        QFile certificate(certificates->serverCertificateFile());
        QFile key(certificates->serverKeyFile());
        if (!certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) {
            if (error)
                *error = QStringLiteral("Cannot read the server certificate or key");
            delete m_core;
            m_core = nullptr;
            return false;
        }
        configuration.setLocalCertificate(QSslCertificate(certificate.readAll(), QSsl::Pem));
        configuration.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec, QSsl::Pem));
        configuration.setProtocol(protocol);
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        m_core->tls = true;
        m_core->tlsConfiguration = configuration;
    }
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("HttpTestServer"));
    m_core->moveToThread(m_thread);
    m_thread->start();
    bool listening = false;
    QString listenError;
    QMetaObject::invokeMethod(m_core, [&] {
        listening = m_core->listen(QHostAddress::LocalHost, 0);
        listenError = m_core->errorString();
    }, Qt::BlockingQueuedConnection);
    if (!listening) {
        if (error)
            *error = listenError;
        return false;
    }
    m_port = m_core->serverPort();
    m_tls = tls;
    return true;
}

quint16 HttpTestServer::port() const
{
    return m_port;
}

bool HttpTestServer::isTls() const
{
    return m_tls;
}

QString HttpTestServer::url(const QString& pathAndQuery, const QString& host) const
{
    return QStringLiteral("%1://%2:%3%4")
        .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"), host)
        .arg(m_port)
        .arg(pathAndQuery);
}

void HttpTestServer::on(const QByteArray& path, const HttpResponse& response)
{
    onSequence(path, {response});
}

void HttpTestServer::onSequence(const QByteArray& path, const QList<HttpResponse>& responses)
{
    if (responses.isEmpty())
        return;
    QMutexLocker lock(&m_state->mutex);
    m_state->routes.append({path, {}, {}, responses, 0});
}

void HttpTestServer::onHeader(const QByteArray& path, const QByteArray& name,
                              const QByteArray& value, const HttpResponse& response)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->routes.append({path, name, value, {response}, 0});
}

void HttpTestServer::setKeepAlive(bool on)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->keepAlive = on;
}

int HttpTestServer::connectionCount() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->connections;
}

void HttpTestServer::clearRoutes()
{
    QMutexLocker lock(&m_state->mutex);
    m_state->routes.clear();
}

void HttpTestServer::setVariable(const QByteArray& name, const QByteArray& value)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->variables.append({name, value});
}

namespace {

bool responseFromJson(const QJsonObject& object, HttpResponse* response)
{
    HttpResponse r;
    r.status = object.value(QLatin1String("status")).toInt(200);
    if (object.contains(QLatin1String("bodySize")))
        r.body = patternBody(qint64(object.value(QLatin1String("bodySize")).toDouble()));
    else
        r.body = object.value(QLatin1String("body")).toString().toUtf8();
    r.sendContentLength = object.value(QLatin1String("contentLength")).toBool(true);
    r.announcedLength = qint64(object.value(QLatin1String("announcedLength")).toDouble(-1));
    r.delayMs = object.value(QLatin1String("delayMs")).toInt(0);
    r.stallAfterBytes = qint64(object.value(QLatin1String("stallAfterBytes")).toDouble(-1));
    r.stallMs = object.value(QLatin1String("stallMs")).toInt(-1);
    r.echoRequest = object.value(QLatin1String("echoRequest")).toBool(false);
    r.echoLog = object.value(QLatin1String("echoLog")).toBool(false);
    r.echoPeer = object.value(QLatin1String("echoPeer")).toBool(false);
    r.keepAlive = object.value(QLatin1String("keepAlive")).toBool(false);
    const QString trickle = object.value(QLatin1String("trickle")).toString();
    if (trickle == QLatin1String("body"))
        r.trickle = HttpResponse::Trickle::Body;
    else if (trickle == QLatin1String("head"))
        r.trickle = HttpResponse::Trickle::HeaderLines;
    else if (trickle == QLatin1String("continue"))
        r.trickle = HttpResponse::Trickle::Continue;
    else if (!trickle.isEmpty())
        return false;
    r.trickleMs = object.value(QLatin1String("trickleMs")).toInt(1000);
    r.trickleBytes = qMax(1, object.value(QLatin1String("trickleBytes")).toInt(1));
    const QJsonObject headers = object.value(QLatin1String("headers")).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        r.header(it.key().toUtf8(), it.value().toString().toUtf8());
    *response = r;
    return r.status >= 100 && r.status <= 999;
}

} // namespace

bool HttpTestServer::loadRoutes(const QJsonObject& document, QString* error)
{
    const QJsonArray routes = document.value(QLatin1String("routes")).toArray();
    for (const QJsonValue& value : routes) {
        const QJsonObject object = value.toObject();
        const QByteArray path = object.value(QLatin1String("path")).toString().toUtf8();
        QList<HttpResponse> responses;
        HttpResponse first;
        bool ok = !path.isEmpty() && responseFromJson(object, &first);
        responses.append(first);
        for (const QJsonValue& more : object.value(QLatin1String("then")).toArray()) {
            HttpResponse next;
            ok = ok && responseFromJson(more.toObject(), &next);
            responses.append(next);
        }
        if (!ok) {
            if (error)
                *error = QStringLiteral("Bad route for \"%1\"").arg(QString::fromUtf8(path));
            return false;
        }
        const QJsonObject when = object.value(QLatin1String("when")).toObject();
        QMutexLocker lock(&m_state->mutex);
        m_state->routes.append({path, when.value(QLatin1String("header")).toString().toUtf8(),
                                when.value(QLatin1String("equals")).toString().toUtf8(),
                                responses, 0});
    }
    return true;
}

QList<RecordedRequest> HttpTestServer::requests() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->records;
}

QList<RecordedRequest> HttpTestServer::requests(const QByteArray& path) const
{
    QList<RecordedRequest> matching;
    for (const RecordedRequest& request : requests()) {
        if (request.path == path)
            matching.append(request);
    }
    return matching;
}

void HttpTestServer::clearRequests()
{
    QMutexLocker lock(&m_state->mutex);
    m_state->records.clear();
}

} // namespace vorn::test
