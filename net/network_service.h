#pragma once

#include "net/proxy_settings.h"

#include <QByteArray>
#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <atomic>
#include <memory>

class QThreadPool;
class QUrl;

namespace vorn::platform {
class ConnectionPool;
}

namespace vorn {

class DownloadRateLimiter;
class NetworkService;

// What a request produced; copied into its reply when it finishes.
struct RequestResult
{
    QByteArray body;
    QString errorString; // empty on success
    int statusCode = 0;  // 0 when no response was received
    bool complete = false;
    bool timedOut = false;
    // SHA-256 of a complete body, taken on the transferring thread; empty otherwise.
    QByteArray bodySha256;
    // 11 for HTTP/1.1, 20 for HTTP/2; 0 when no answer came or the system does not tell.
    int httpVersion = 0;
};

// One GET in flight. Emits downloadProgress after every read and finished() exactly once,
// both in the service's thread, unless it is deleted first. The fields are empty until
// finished(). To abandon a request: cancel(), then deleteLater().
class NetworkReply final : public QObject
{
    Q_OBJECT
public:
    [[nodiscard]] QByteArray body() const { return m_result.body; }
    [[nodiscard]] QString errorString() const { return m_result.errorString; }
    [[nodiscard]] int statusCode() const { return m_result.statusCode; }
    [[nodiscard]] bool complete() const { return m_result.complete; }
    [[nodiscard]] bool timedOut() const { return m_result.timedOut; }
    // The body's SHA-256 when complete, so that a caller checking downloads does not hash them
    // on its own thread.
    [[nodiscard]] QByteArray bodySha256() const { return m_result.bodySha256; }
    // Whether the answer came over HTTP/2 (20) or HTTP/1.x (11, 10); 0 when unknown. Tells a
    // caller how many requests the server takes at a time.
    [[nodiscard]] int httpVersion() const { return m_result.httpVersion; }

    // The worker stops before its next send or read, or during a rate-limit wait, and the
    // reply finishes with "Request cancelled".
    void cancel();

signals:
    void downloadProgress(qint64 received, qint64 total);
    void finished();

private:
    friend class NetworkService;
    explicit NetworkReply(NetworkService* service);
    void finish(const RequestResult& result);

    RequestResult m_result;
    std::shared_ptr<std::atomic<int>> m_cancelFlag;
};

// The launcher's one HTTP client: every download is a GET that runs on a thread of the
// transfer pool under the transport policy (HTTPS only, plain HTTP to the local machine,
// TLS 1.2 or newer, size cap, time-out, minimum pace, proxy, one shared bandwidth limit). Requests to
// the same server reuse its connections while the proxy and trust settings stay the same.
class NetworkService final : public QObject
{
    Q_OBJECT
public:
    explicit NetworkService(QObject* parent = nullptr);
    // Cancels the requests still running, so that leaving the program does not wait for them.
    ~NetworkService() override;

    // Returns at once; the reply is a child of the service. The proxy settings in force now
    // are the request's; a changed rate limit reaches it at its next read.
    [[nodiscard]] NetworkReply* get(const QUrl& url, int timeoutMs, qint64 maxBytes);

    void setProxySettings(const ProxySettings& settings);
    [[nodiscard]] ProxySettings proxySettings() const { return m_proxySettings; }
    // bytesPerSecond 0 or less: unlimited.
    void setDownloadRateLimit(qint64 bytesPerSecond);

    // Besides the idle time-out, a request fails as timed out when fewer than bytesPerSecond
    // arrive on average over windowMs, or when it lasts longer than the larger of
    // minimumDeadlineMs and its size limit at bytesPerSecond. Defaults: 1 KiB/s over 15 s,
    // at least 60 s. bytesPerSecond 0: only the idle time-out.
    void setMinimumPace(qint64 bytesPerSecond, int windowMs, int minimumDeadlineMs);

    // A PEM file of certificate authorities to trust besides the system's, for the tools and
    // tests of private deployments. The launcher itself never sets one.
    void setExtraCertificateAuthorities(const QString& pemFile);

    // The threads every request of every service runs on. Transfers mostly wait, so the pool
    // is sized for requests in flight (an engine's full window over HTTP/2, the other engine,
    // the release checks, the news and its covers), not for the cores, and CPU work on the
    // global pool never holds them up.
    [[nodiscard]] static QThreadPool* transferPool();

    struct Mailbox;

private:
    ProxySettings m_proxySettings;
    qint64 m_minimumBytesPerSecond = 1024;
    int m_paceWindowMs = 15000;
    int m_minimumDeadlineMs = 60000;
    QString m_extraAuthorities;
    QSharedPointer<DownloadRateLimiter> m_rateLimiter;
    std::shared_ptr<platform::ConnectionPool> m_connections;
    std::shared_ptr<Mailbox> m_mailbox;
};

// The reason a request failed, for messages: "HTTP 404" when the status says it all, the
// transport's text when no response came, both when the server answered and the transfer
// still failed (an oversized body, a broken connection).
[[nodiscard]] QString describeFailedRequest(int statusCode, const QString& errorText);

} // namespace vorn
