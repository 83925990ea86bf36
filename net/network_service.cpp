#include "net/network_service.h"

#include "core/sha256.h"
#include "net/download_rate_limiter.h"
#include "platform/http_transfer.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>
#include <QtConcurrent>

#include <utility>

namespace vorn {

// Workers hand results to the service through this box. The service empties it when it is
// destroyed, under the same lock a worker holds while posting, so a worker that finishes
// late never posts to a deleted object.
struct NetworkService::Mailbox
{
    QMutex mutex;
    NetworkService* service = nullptr;

    template <typename Call>
    void post(Call&& call)
    {
        QMutexLocker lock(&mutex);
        if (service)
            QMetaObject::invokeMethod(service, std::forward<Call>(call), Qt::QueuedConnection);
    }
};

namespace {

constexpr int kTransferThreads = 96;

struct Progress
{
    std::atomic<std::int64_t> received{0};
    std::atomic<std::int64_t> total{-1};
    std::atomic<bool> queued{false};
};

class TransferPool final : public QThreadPool
{
public:
    TransferPool()
    {
        setObjectName(QStringLiteral("vorn-transfers"));
        setMaxThreadCount(kTransferThreads);
    }
};

Q_GLOBAL_STATIC(TransferPool, g_transferPool)

platform::TransferUrl transferUrl(const QUrl& url)
{
    platform::TransferUrl parts;
    parts.valid = url.isValid();
    parts.scheme = url.scheme().toStdString();
    parts.host = url.host(QUrl::FullyDecoded).toStdString();
    parts.port = url.port(-1);
    QString pathAndQuery = url.path(QUrl::FullyEncoded);
    if (pathAndQuery.isEmpty())
        pathAndQuery = QStringLiteral("/");
    if (url.hasQuery())
        pathAndQuery += QLatin1Char('?') + url.query(QUrl::FullyEncoded);
    parts.pathAndQuery = pathAndQuery.toStdString();
    parts.full = QString::fromLatin1(url.adjusted(QUrl::RemoveFragment).toEncoded()).toStdString();
    return parts;
}

platform::TransferProxy transferProxy(const ProxySettings& settings)
{
    platform::TransferProxy proxy;
    switch (settings.mode) {
    case ProxyMode::Direct:
        proxy.mode = platform::TransferProxyMode::Direct;
        break;
    case ProxyMode::ManualHttp:
        proxy.mode = platform::TransferProxyMode::ManualHttp;
        break;
    case ProxyMode::System:
        proxy.mode = platform::TransferProxyMode::System;
        break;
    }
    proxy.host = settings.host.toStdString();
    proxy.port = settings.port;
    proxy.user = settings.user.toStdString();
    proxy.password = settings.password.toStdString();
    return proxy;
}

RequestResult requestResult(platform::TransferResult&& transfer)
{
    RequestResult result;
    result.body = QByteArray(transfer.body.data(), int(transfer.body.size()));
    result.errorString = QString::fromStdString(transfer.errorString);
    result.statusCode = transfer.statusCode;
    result.complete = transfer.complete;
    result.timedOut = transfer.timedOut;
    result.httpVersion = transfer.httpVersion;
    if (result.complete)
        result.bodySha256 = Sha256::hash(result.body);
    return result;
}

} // namespace

NetworkReply::NetworkReply(NetworkService* service)
    : QObject(service), m_cancelFlag(std::make_shared<std::atomic<int>>(0))
{
}

void NetworkReply::cancel()
{
    m_cancelFlag->store(1);
}

void NetworkReply::finish(const RequestResult& result)
{
    m_result = result;
    emit finished();
}

NetworkService::NetworkService(QObject* parent)
    : QObject(parent),
      m_rateLimiter(QSharedPointer<DownloadRateLimiter>::create()),
      m_connections(platform::makeConnectionPool()),
      m_mailbox(std::make_shared<Mailbox>())
{
    m_mailbox->service = this;
}

NetworkService::~NetworkService()
{
    // The application waits for the transfer pool when it ends: unless they are told to
    // stop, Exit would wait for every download in flight.
    const QList<NetworkReply*> replies = findChildren<NetworkReply*>(QString(), Qt::FindDirectChildrenOnly);
    for (NetworkReply* reply : replies)
        reply->cancel();
    QMutexLocker lock(&m_mailbox->mutex);
    m_mailbox->service = nullptr;
}

NetworkReply* NetworkService::get(const QUrl& url, int timeoutMs, qint64 maxBytes)
{
    auto* reply = new NetworkReply(this);
    platform::TransferRequest request;
    request.url = transferUrl(url);
    request.proxy = transferProxy(m_proxySettings);
    request.timeoutMs = timeoutMs;
    request.maxBytes = maxBytes;
    request.pace.minBytesPerSecond = m_minimumBytesPerSecond;
    request.pace.windowMs = m_paceWindowMs;
    request.pace.minimumDeadlineMs = m_minimumDeadlineMs;
    request.extraAuthorities = QFile::encodeName(m_extraAuthorities).toStdString();
    request.connections = m_connections;

    QPointer<NetworkReply> guard(reply);
    std::shared_ptr<std::atomic<int>> cancelFlag = reply->m_cancelFlag;
    QSharedPointer<DownloadRateLimiter> limiter = m_rateLimiter;
    std::shared_ptr<Mailbox> mailbox = m_mailbox;
    QtConcurrent::run(transferPool(), [=]() {
        platform::TransferHooks hooks;
        hooks.cancelFlag = cancelFlag.get();
        hooks.rateLimited = [&limiter] { return limiter->bytesPerSecond() > 0; };
        hooks.acquire = [&limiter, &cancelFlag](std::int64_t bytes) {
            return limiter->acquire(bytes, cancelFlag.get());
        };
        // One report at a time on its way to the service's thread, carrying the newest figures
        // when it arrives: a fast transfer reads tens of thousands of times a second, and an
        // event for each read kept both threads busy passing them on.
        const auto progress = std::make_shared<Progress>();
        hooks.progress = [&mailbox, &guard, &progress](std::int64_t received, std::int64_t total) {
            progress->received.store(received);
            progress->total.store(total);
            if (progress->queued.exchange(true))
                return;
            mailbox->post([guard, progress] {
                progress->queued.store(false);
                if (guard)
                    emit guard->downloadProgress(progress->received.load(), progress->total.load());
            });
        };
        RequestResult result = requestResult(platform::performTransfer(request, hooks));
        mailbox->post([guard, result = std::move(result)] {
            if (guard)
                guard->finish(result);
        });
    });
    return reply;
}

QThreadPool* NetworkService::transferPool()
{
    // Before the pool exists: at exit the pool then waits for its last transfer (a cancelled
    // one may still be closing its connections) before the TLS library is torn down.
    platform::prepareTransfers();
    return g_transferPool();
}

void NetworkService::setProxySettings(const ProxySettings& settings)
{
    m_proxySettings = settings;
}

void NetworkService::setDownloadRateLimit(qint64 bytesPerSecond)
{
    m_rateLimiter->setBytesPerSecond(bytesPerSecond);
}

void NetworkService::setMinimumPace(qint64 bytesPerSecond, int windowMs, int minimumDeadlineMs)
{
    m_minimumBytesPerSecond = qMax<qint64>(0, bytesPerSecond);
    m_paceWindowMs = qMax(1, windowMs);
    m_minimumDeadlineMs = qMax(0, minimumDeadlineMs);
}

void NetworkService::setExtraCertificateAuthorities(const QString& pemFile)
{
    m_extraAuthorities = pemFile;
}

QString describeFailedRequest(int statusCode, const QString& errorText)
{
    if (statusCode <= 0)
        return errorText;
    const QString status = QStringLiteral("HTTP %1").arg(statusCode);
    if (errorText.isEmpty() || errorText == status)
        return status;
    return status + QStringLiteral(": ") + errorText;
}

} // namespace vorn
