#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSsl>
#include <QString>

#include <memory>

class QJsonObject;
class QThread;

namespace vorn::test {

class TestCertificates;

// One scripted answer of the loopback server.
struct HttpResponse
{
    // A server that holds the client with a little data now and then: the body a piece at a
    // time, header lines without end, or "100 Continue" answers without end.
    enum class Trickle { None, Body, HeaderLines, Continue };

    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers; // "{name}" in a value is replaced, see setVariable
    QByteArray body;
    bool sendContentLength = true;  // false: the body ends when the connection closes
    qint64 announcedLength = -1;    // Content-Length to announce instead of the body size
    int delayMs = 0;                // before the status line
    qint64 stallAfterBytes = -1;    // send this much of the body, then pause...
    int stallMs = -1;               // ...this long before the rest; -1: until the client leaves
    bool echoRequest = false;       // the body is the request head exactly as received
    bool echoLog = false;           // the body lists the requests so far, "METHOD target" a line
    bool echoPeer = false;          // the body is the client's port: one for each connection
    bool keepAlive = false;         // the connection stays open after it, as with setKeepAlive
    Trickle trickle = Trickle::None;
    int trickleMs = 1000;           // one piece every trickleMs
    int trickleBytes = 1;           // body bytes per piece

    static HttpResponse text(int status, const QByteArray& body = {});
    static HttpResponse ofSize(qint64 bytes, int status = 200);
    static HttpResponse redirect(int status, const QByteArray& location);
    HttpResponse& header(const QByteArray& name, const QByteArray& value);
    HttpResponse& withoutContentLength();
};

// Deterministic content for bodies of a given size: byte i is patternByte(i).
[[nodiscard]] char patternByte(qint64 index);
[[nodiscard]] QByteArray patternBody(qint64 bytes);

// "http://127.0.0.1:<port>/" for a port nobody listens on: connections are refused at once.
[[nodiscard]] QString deadServerUrl();

struct RecordedRequest
{
    QByteArray method;
    QByteArray target; // as on the request line (absolute when sent to a proxy)
    QByteArray path;   // the target's path, without query
    QByteArray head;   // request line and header block, up to and including the empty line
    qint64 receivedMs = 0;
    quint16 peerPort = 0;
    [[nodiscard]] QByteArray header(const QByteArray& name) const; // first one, case-insensitive
};

// An HTTP/1.1 server on 127.0.0.1 with a random port, running on its own thread so that a
// test may block in a synchronous client while it answers. Each connection gets one answer
// and is closed, unless keep-alive is on (see setKeepAlive). Routes match the request path
// exactly; the first route that matches (and whose header condition holds) answers; a route
// with several answers gives them in turn and repeats the last. Unknown paths get 404.
class HttpTestServer final
{
public:
    HttpTestServer();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    [[nodiscard]] bool start(QString* error = nullptr);
    // HTTPS with the given certificates; protocol chooses the TLS versions the server accepts.
    [[nodiscard]] bool startTls(const TestCertificates& certificates,
                                QSsl::SslProtocol protocol = QSsl::TlsV1_2OrLater,
                                QString* error = nullptr);

    [[nodiscard]] quint16 port() const;
    [[nodiscard]] bool isTls() const;
    // "http://127.0.0.1:<port>" + pathAndQuery (https for a TLS server).
    [[nodiscard]] QString url(const QString& pathAndQuery,
                              const QString& host = QStringLiteral("127.0.0.1")) const;

    void on(const QByteArray& path, const HttpResponse& response);
    void onSequence(const QByteArray& path, const QList<HttpResponse>& responses);
    // Answers only requests whose header `name` equals `value` exactly.
    void onHeader(const QByteArray& path, const QByteArray& name, const QByteArray& value,
                  const HttpResponse& response);
    void clearRoutes();
    // With keep-alive, a connection stays open after a whole answer with its Content-Length
    // (no trickle, stall or announced length), for the client's next request.
    void setKeepAlive(bool on);
    // Connections accepted so far.
    [[nodiscard]] int connectionCount() const;
    // Replaces "{name}" in answer header values, e.g. another server's port in a Location.
    void setVariable(const QByteArray& name, const QByteArray& value);

    // Routes from JSON: {"routes": [{"path": "/x", "status": 200, "body": "...",
    // "bodySize": n, "contentLength": bool, "announcedLength": n, "delayMs": n,
    // "stallAfterBytes": n, "stallMs": n, "echoRequest": bool, "echoLog": bool, "headers": {"Name": "value"},
    // "trickle": "body" | "head" | "continue", "trickleMs": n, "trickleBytes": n,
    // "when": {"header": "Cookie", "equals": "..."}, "then": [more answers in turn]}]}.
    [[nodiscard]] bool loadRoutes(const QJsonObject& document, QString* error);

    [[nodiscard]] QList<RecordedRequest> requests() const;
    [[nodiscard]] QList<RecordedRequest> requests(const QByteArray& path) const;
    void clearRequests();

    struct State;
    class Core;

private:
    bool listen(bool tls, const TestCertificates* certificates, QSsl::SslProtocol protocol,
                QString* error);

    std::shared_ptr<State> m_state;
    QThread* m_thread = nullptr;
    Core* m_core = nullptr;
    quint16 m_port = 0;
    bool m_tls = false;
};

} // namespace vorn::test
