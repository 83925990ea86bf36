#include "platform/http_transfer.h"
#include "platform/http_transfer_multi_posix.h"
#include "platform/curl_settings_posix.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace vorn::platform {

namespace {

// The connections and TLS sessions of one set of proxy and trust settings. Every transfer
// runs through the one multiplexer, so that an HTTP/2 server carries them all over one
// connection; the TLS sessions and resolved names are shared besides (under the locks
// below), for the transfers that run without it.
struct Connections
{
    explicit Connections(std::string settingsKey) : key(std::move(settingsKey))
    {
        share = curl_share_init();
        if (!share)
            return;
        curl_share_setopt(share, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share, CURLSHOPT_LOCKFUNC, lock);
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, unlock);
        curl_share_setopt(share, CURLSHOPT_SHARE, long(CURL_LOCK_DATA_SSL_SESSION));
        curl_share_setopt(share, CURLSHOPT_SHARE, long(CURL_LOCK_DATA_DNS));
    }
    ~Connections()
    {
        if (share)
            curl_share_cleanup(share);
    }
    Connections(const Connections&) = delete;
    Connections& operator=(const Connections&) = delete;

    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* user)
    {
        static_cast<Connections*>(user)->locks.at(size_t(data)).lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* user)
    {
        static_cast<Connections*>(user)->locks.at(size_t(data)).unlock();
    }

    const std::string key;
    CURLSH* share = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;
    // Declared last: its thread stops before the share goes.
    detail::CurlMultiplexer multiplexer;
};

} // namespace

class ConnectionPool
{
public:
    std::mutex mutex;
    // Only the newest settings take new transfers: after a change, the connections of the old
    // settings close once their last transfer has ended.
    std::shared_ptr<Connections> current;
};

std::shared_ptr<ConnectionPool> makeConnectionPool()
{
    return std::make_shared<ConnectionPool>();
}

namespace {

// Everything that decides where a connection leads and whom it trusts. Length-prefixed, so
// that no two different settings give the same text.
std::string settingsKey(const TransferRequest& request)
{
    std::string key;
    const auto add = [&key](const std::string& field) {
        key += std::to_string(field.size()) + ':' + field;
    };
    add(std::to_string(int(request.proxy.mode)));
    add(request.proxy.host);
    add(std::to_string(request.proxy.port));
    add(request.proxy.user);
    add(request.proxy.password);
    add(request.extraAuthorities);
    return key;
}

// The easy handle of one transfer and, with a pool, the connections of its settings.
class EasyHandle
{
public:
    EasyHandle(const std::shared_ptr<ConnectionPool>& pool, const TransferRequest& request)
    {
        if (pool) {
            const std::string key = settingsKey(request);
            std::lock_guard<std::mutex> lock(pool->mutex);
            if (!pool->current || pool->current->key != key)
                pool->current = std::make_shared<Connections>(key);
            m_connections = pool->current;
        }
        m_curl = curl_easy_init();
    }
    ~EasyHandle()
    {
        if (m_curl)
            curl_easy_cleanup(m_curl);
    }
    EasyHandle(const EasyHandle&) = delete;
    EasyHandle& operator=(const EasyHandle&) = delete;

    [[nodiscard]] CURL* get() const { return m_curl; }
    [[nodiscard]] CURLSH* share() const { return m_connections ? m_connections->share : nullptr; }

    // Through the pool's multiplexer when there is one, else on this thread with a connection
    // of its own.
    [[nodiscard]] CURLcode perform(const std::atomic<int>* cancelFlag) const
    {
        if (m_connections && m_connections->multiplexer.ok())
            return m_connections->multiplexer.perform(m_curl, cancelFlag);
        return curl_easy_perform(m_curl);
    }

private:
    std::shared_ptr<Connections> m_connections;
    CURL* m_curl = nullptr;
};

using namespace detail;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kLimitedReadBytes = 65536;
constexpr long kUnlimitedBufferBytes = 512 * 1024;
const char* const kTimedOut = "Timeout was reached";

// Why a transfer was stopped from inside a libcurl callback (or why it ended).
enum class Stop {
    None,
    Cancelled,
    TooLarge,
    HeadTooLarge,
    TimedOut,
    ProxyAuth,
    HttpStatus,
    Redirect,
    Challenge
};

struct Transfer
{
    const TransferRequest* request = nullptr;
    const TransferHooks* hooks = nullptr;
    PaceMonitor* pace = nullptr;
    CURL* curl = nullptr;
    TransferResult* result = nullptr;
    std::string currentUrl;
    int authAttempts = 0;

    // Per attempt.
    int status = 0;
    bool acceptingBody = false;
    bool sawProxyChallenge = false;
    std::int64_t contentLength = -1;
    std::string location;
    std::string redirectUrl;
    std::string cookie;
    std::int64_t headBytes = 0;
    Stop stop = Stop::None;
    const char* timeoutText = kTimedOut;
    Clock::time_point lastActivity;

    void startAttempt()
    {
        status = 0;
        acceptingBody = false;
        sawProxyChallenge = false;
        contentLength = -1;
        location.clear();
        redirectUrl.clear();
        cookie.clear();
        headBytes = 0;
        stop = Stop::None;
        timeoutText = kTimedOut;
        lastActivity = Clock::now();
    }
};

bool startsWithIgnoringCase(const std::string& text, const char* prefix)
{
    const std::string head(prefix);
    return text.size() >= head.size() && equalsIgnoringCase(text.substr(0, head.size()), head);
}

// A Location value made absolute against the URL it came from; empty when it cannot be.
std::string resolvedUrl(const std::string& base, const std::string& location)
{
    CURLU* url = curl_url();
    std::string resolved;
    char* text = nullptr;
    if (url && curl_url_set(url, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK
        && curl_url_set(url, CURLUPART_URL, location.c_str(), 0) == CURLUE_OK
        && curl_url_get(url, CURLUPART_URL, &text, 0) == CURLUE_OK) {
        resolved = text;
        curl_free(text);
    }
    curl_url_cleanup(url);
    return resolved;
}

// What to do once a complete response head is in: every decision that the body must not be
// read for is taken here, so such bodies never reach the write callback.
bool decideAfterHead(Transfer& t)
{
    TransferResult& result = *t.result;
    result.statusCode = t.status;
    if (t.status == 407 && t.authAttempts == 0) {
        t.stop = Stop::ProxyAuth;
        return false;
    }
    if (isFollowedRedirect(t.status) && !t.location.empty()) {
        const std::string target = resolvedUrl(t.currentUrl, t.location);
        // A redirect the URL rule refuses is not followed: its own status is the answer.
        if (redirectAllowed(splitTransferUrl(t.currentUrl), splitTransferUrl(target))) {
            t.redirectUrl = target;
            t.stop = Stop::Redirect;
            return false;
        }
    }
    if (t.status < 200 || t.status > 299) {
        t.stop = Stop::HttpStatus;
        return false;
    }
    if (t.request->allowChallenge) {
        t.cookie = challengeCookie(t.currentUrl, t.request->url.host);
        if (!t.cookie.empty()) {
            t.stop = Stop::Challenge;
            return false;
        }
    }
    curl_off_t length = -1;
    if (curl_easy_getinfo(t.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK)
        length = -1;
    t.contentLength = length >= 0 ? std::int64_t(length) : -1;
    if (t.contentLength > t.request->maxBytes) {
        t.stop = Stop::TooLarge;
        return false;
    }
    // One buffer of the announced size instead of a string that doubles its way up to it.
    if (t.contentLength > 0)
        t.result->body.reserve(size_t(t.contentLength));
    t.acceptingBody = true;
    return true;
}

size_t onHeader(char* data, size_t size, size_t count, void* user)
{
    Transfer& t = *static_cast<Transfer*>(user);
    const size_t total = size * count;
    t.lastActivity = Clock::now();
    t.pace->received(std::int64_t(total));
    t.headBytes += std::int64_t(total);
    if (t.headBytes > kMaxHeadBytes) {
        t.stop = Stop::HeadTooLarge;
        return 0;
    }
    const std::string line(data, total);
    if (startsWithIgnoringCase(line, "HTTP/")) {
        const size_t space = line.find(' ');
        t.status = space == std::string::npos ? 0 : std::atoi(line.c_str() + space + 1);
        t.sawProxyChallenge = false;
        t.location.clear();
        return total;
    }
    if (startsWithIgnoringCase(line, "Proxy-Authenticate:"))
        t.sawProxyChallenge = true;
    if (startsWithIgnoringCase(line, "Location:")) {
        const size_t first = line.find_first_not_of(" \t", 9);
        const size_t last = line.find_last_not_of(" \t\r\n");
        t.location = first == std::string::npos || last < first ? std::string()
                                                                : line.substr(first, last - first + 1);
    }
    if (line == "\r\n" || line == "\n") {
        if (t.status >= 100 && t.status <= 199)
            return total; // an interim answer; the real one follows
        return decideAfterHead(t) ? total : 0;
    }
    return total;
}

size_t onBody(char* data, size_t size, size_t count, void* user)
{
    Transfer& t = *static_cast<Transfer*>(user);
    const size_t total = size * count;
    t.pace->received(std::int64_t(total));
    if (!t.acceptingBody)
        return total;
    std::string& body = t.result->body;
    const TransferHooks& hooks = *t.hooks;
    size_t offset = 0;
    while (offset < total) {
        if (isCancelled(hooks)) {
            t.stop = Stop::Cancelled;
            return 0;
        }
        std::int64_t piece = std::int64_t(total - offset);
        if (hooks.rateLimited && hooks.rateLimited())
            piece = std::min(piece, kLimitedReadBytes);
        if (std::int64_t(body.size()) + piece > t.request->maxBytes) {
            t.stop = Stop::TooLarge;
            return 0;
        }
        if (hooks.acquire) {
            t.pace->beginWait();
            const bool granted = hooks.acquire(piece);
            t.pace->endWait();
            if (!granted) {
                t.stop = Stop::Cancelled;
                return 0;
            }
        }
        body.append(data + offset, size_t(piece));
        offset += size_t(piece);
        if (hooks.progress)
            hooks.progress(std::int64_t(body.size()), t.contentLength);
    }
    // A limiter wait is not a stall of the server.
    t.lastActivity = Clock::now();
    return total;
}

int onTransferInfo(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    Transfer& t = *static_cast<Transfer*>(user);
    // libcurl calls this about once a second even while the server is silent, so a cancel
    // is seen without waiting for the next byte.
    if (isCancelled(*t.hooks)) {
        t.stop = Stop::Cancelled;
        return 1;
    }
    const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now()
                                                                             - t.lastActivity);
    if (idle.count() > t.request->timeoutMs) {
        t.stop = Stop::TimedOut;
        return 1;
    }
    if (const char* verdict = t.pace->verdict()) {
        t.stop = Stop::TimedOut;
        t.timeoutText = verdict;
        return 1;
    }
    return 0;
}

void configure(CURL* curl, const TransferRequest& request, Transfer& transfer, char* errorBuffer,
               curl_slist* headers)
{
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    // HTTP/2 where the server offers it in the TLS handshake; plain HTTP stays on 1.1.
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_2TLS));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "VORN-Launcher/0.1");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    // No upper bound: a server may offer TLS 1.3 alone.
    curl_easy_setopt(curl, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(std::max(1, request.timeoutMs)));
    curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onTransferInfo);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    const bool limited = transfer.hooks->rateLimited && transfer.hooks->rateLimited();
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, limited ? long(kLimitedReadBytes)
                                                       : kUnlimitedBufferBytes);
    applyTrust(curl, request);
    applyProxy(curl, request.proxy);
}

// One request with its proxy-authentication resend and redirects. When the answer is a
// challenge, *again is the request to make instead and rerun is set.
TransferResult transferOnce(const TransferRequest& request, const TransferHooks& hooks,
                            PaceMonitor& pace, TransferRequest* again, bool* rerun)
{
    TransferResult result;
    const EasyHandle handle(request.connections, request);
    CURL* curl = handle.get();
    if (!curl) {
        result.errorString = curl_easy_strerror(CURLE_FAILED_INIT);
        return result;
    }
    if (handle.share())
        curl_easy_setopt(curl, CURLOPT_SHARE, handle.share());
    curl_slist* headers = nullptr;
    {
        const std::string block = requestHeaderBlock(request.cookie);
        size_t start = 0;
        while (start < block.size()) {
            const size_t end = block.find("\r\n", start);
            headers = curl_slist_append(headers, block.substr(start, end - start).c_str());
            start = end + 2;
        }
    }
    char errorBuffer[CURL_ERROR_SIZE] = {};

    Transfer transfer;
    transfer.request = &request;
    transfer.hooks = &hooks;
    transfer.pace = &pace;
    transfer.curl = curl;
    transfer.result = &result;
    transfer.currentUrl = request.url.full;
    configure(curl, request, transfer, errorBuffer, headers);

    int redirects = 0;
    for (;;) {
        if (isCancelled(hooks)) {
            result.errorString = kCancelled;
            break;
        }
        transfer.startAttempt();
        errorBuffer[0] = '\0';
        curl_easy_setopt(curl, CURLOPT_URL, transfer.currentUrl.c_str());
        // Over TLS a transfer waits for a connection still in its handshake, which then tells
        // whether it carries HTTP/2, rather than opening one of its own. Plain HTTP/1.1 would
        // only know after a whole answer, and a slow one would hold every other transfer up.
        curl_easy_setopt(curl, CURLOPT_PIPEWAIT,
                         long(equalsIgnoringCase(splitTransferUrl(transfer.currentUrl).scheme, "https")));
        const CURLcode code = handle.perform(hooks.cancelFlag);
        if (code == CURLE_ABORTED_BY_CALLBACK && transfer.stop == Stop::None && isCancelled(hooks))
            transfer.stop = Stop::Cancelled;

        if (transfer.stop == Stop::None && code != CURLE_OK) {
            // A refused tunnel through the proxy never reaches the header callback.
            long connectCode = 0;
            curl_easy_getinfo(curl, CURLINFO_HTTP_CONNECTCODE, &connectCode);
            if (connectCode >= 300) {
                transfer.status = int(connectCode);
                result.statusCode = int(connectCode);
                transfer.stop = (connectCode == 407 && transfer.authAttempts == 0)
                                    ? Stop::ProxyAuth
                                    : Stop::HttpStatus;
            }
        }

        if (transfer.stop == Stop::ProxyAuth) {
            long available = 0;
            curl_easy_getinfo(curl, CURLINFO_PROXYAUTH_AVAIL, &available);
            const long scheme = chooseProxyScheme(available);
            if (scheme == 0) {
                result.errorString = (available != 0 || transfer.sawProxyChallenge)
                                         ? kProxyAuthUnsupported
                                         : kProxyAuthRequired;
                break;
            }
            curl_easy_setopt(curl, CURLOPT_PROXYAUTH, scheme);
            if (!request.proxy.user.empty()) {
                curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, request.proxy.user.c_str());
                curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, request.proxy.password.c_str());
            } else if (scheme == long(CURLAUTH_NEGOTIATE)) {
                // Without a user, Negotiate uses the logged-on user's ticket.
                curl_easy_setopt(curl, CURLOPT_PROXYUSERPWD, ":");
            }
            ++transfer.authAttempts;
            continue;
        }
        if (transfer.stop == Stop::Redirect) {
            if (++redirects > kMaxRedirects) {
                result.errorString = kTooManyRedirects;
                break;
            }
            transfer.currentUrl = transfer.redirectUrl;
            continue;
        }
        if (transfer.stop == Stop::Challenge) {
            *again = request;
            again->cookie = transfer.cookie;
            again->allowChallenge = false;
            *rerun = true;
            break;
        }

        switch (transfer.stop) {
        case Stop::Cancelled:
            result.errorString = kCancelled;
            break;
        case Stop::TooLarge:
            result.errorString = kTooLarge;
            break;
        case Stop::HeadTooLarge:
            result.errorString = kHeadTooLarge;
            break;
        case Stop::TimedOut:
            result.errorString = transfer.timeoutText;
            result.timedOut = true;
            break;
        case Stop::HttpStatus:
            result.errorString = httpStatusText(transfer.status);
            break;
        default:
            if (code == CURLE_OK) {
                result.complete = true;
            } else if (code == CURLE_PARTIAL_FILE) {
                result.errorString = kTruncated;
            } else {
                result.errorString = errorBuffer[0] ? errorBuffer : curl_easy_strerror(code);
                result.timedOut = code == CURLE_OPERATION_TIMEDOUT;
            }
            break;
        }
        break;
    }

    long version = 0;
    if (curl_easy_getinfo(curl, CURLINFO_HTTP_VERSION, &version) == CURLE_OK)
        result.httpVersion = version == CURL_HTTP_VERSION_2_0   ? 20
                             : version == CURL_HTTP_VERSION_1_1 ? 11
                             : version == CURL_HTTP_VERSION_1_0 ? 10
                                                                : 0;
    // The handle still points at the list; it is only cleaned up after this.
    curl_slist_free_all(headers);
    return result;
}

TransferResult runTransfer(const TransferRequest& request, const TransferHooks& hooks,
                           PaceMonitor& pace)
{
    if (!urlAllowed(request.url)) {
        TransferResult refused;
        refused.errorString = kOnlyHttps;
        return refused;
    }
    prepareTransfers();
    TransferRequest again;
    bool rerun = false;
    TransferResult result = transferOnce(request, hooks, pace, &again, &rerun);
    // Made once the first request has ended, so that it finds the connection just used free
    // in the pool.
    if (rerun)
        return runTransfer(again, hooks, pace);
    return result;
}

} // namespace

void prepareTransfers()
{
    static std::once_flag curlReady;
    std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

TransferResult performTransfer(const TransferRequest& request, const TransferHooks& hooks)
{
    PaceMonitor pace(request.pace, request.maxBytes);
    return runTransfer(request, hooks, pace);
}

} // namespace vorn::platform
