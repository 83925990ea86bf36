#include "platform/http_transfer.h"

#include "platform/wide_text_win.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cwchar>
#include <mutex>
#include <thread>
#include <vector>

namespace vorn::platform {

namespace {

using namespace detail;

constexpr std::int64_t kLimitedReadBytes = 65536;

std::string errorText(DWORD code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS
                                            | FORMAT_MESSAGE_FROM_SYSTEM,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                                        nullptr);
    std::string text;
    if (length != 0 && buffer)
        text = trimmed(fromWide(std::wstring(buffer, length)));
    if (buffer)
        LocalFree(buffer);
    if (text.empty())
        text = "Windows error " + std::to_string(static_cast<unsigned long>(code));
    return text;
}

// Fills the error of a failed WinHTTP call; only the time-out is told apart. Wine's WinHTTP
// passes the socket's own time-out code through instead of 12002.
void fail(TransferResult& result, DWORD code)
{
    result.errorString = errorText(code);
    result.timedOut = code == ERROR_WINHTTP_TIMEOUT || code == WSAETIMEDOUT;
}

std::wstring takeGlobalString(LPWSTR text)
{
    if (!text)
        return {};
    std::wstring copy(text);
    GlobalFree(text);
    return copy;
}

// Closes on scope exit; declared session, connection, request so they close in reverse.
struct InternetHandle
{
    HINTERNET handle = nullptr;
    InternetHandle() = default;
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    ~InternetHandle()
    {
        if (handle)
            WinHttpCloseHandle(handle);
    }
};

DWORD chooseProxyScheme(DWORD supported)
{
    for (DWORD scheme : {DWORD(WINHTTP_AUTH_SCHEME_NEGOTIATE), DWORD(WINHTTP_AUTH_SCHEME_NTLM),
                         DWORD(WINHTTP_AUTH_SCHEME_DIGEST), DWORD(WINHTTP_AUTH_SCHEME_BASIC)}) {
        if (supported & scheme)
            return scheme;
    }
    return 0;
}

std::int64_t contentLengthOf(HINTERNET request)
{
    wchar_t buffer[64] = {};
    DWORD size = sizeof buffer;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                             buffer, &size, WINHTTP_NO_HEADER_INDEX))
        return -1;
    wchar_t* end = nullptr;
    const long long value = std::wcstoll(buffer, &end, 10);
    if (end == buffer || *end != L'\0' || value < 0)
        return -1;
    return value;
}

std::string headerText(HINTERNET request, DWORD query)
{
    DWORD size = 0;
    WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                        &size, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return {};
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
        return {};
    return fromWide(buffer.data());
}

// WinHTTP's own time-outs only measure silence, and its calls block. This thread watches the
// pace rule and the cancel flag and, when either stops the transfer, closes the request handle
// that a blocking call is using, which makes the call return. It closes a handle only while a
// call on it is under way; after that call the transfer stops, so a closed handle is never
// used again.
class Watchdog
{
public:
    Watchdog(const TransferHooks& hooks, PaceMonitor& pace)
        : m_hooks(hooks)
        , m_pace(pace)
        , m_thread([this] { watch(); })
    {
    }

    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    // Around every blocking call on a request handle. enter is false when the transfer has
    // already been stopped; leave is false when it was stopped during the call.
    [[nodiscard]] bool enter(HINTERNET request)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopped)
            return false;
        m_inCall = request;
        return true;
    }

    [[nodiscard]] bool leave()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_inCall = nullptr;
        return !m_stopped;
    }

    // Whether the watchdog closed this handle itself (its owner must not close it again).
    [[nodiscard]] bool closed(HINTERNET request)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return request && request == m_closed;
    }

    // Why the transfer was stopped: kCancelled, kTooSlow or kTooLong.
    [[nodiscard]] const char* reason()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reason;
    }

private:
    void watch()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_done) {
            m_wake.wait_for(lock, std::chrono::milliseconds(100));
            if (m_done)
                return;
            const char* why = isCancelled(m_hooks) ? kCancelled : m_pace.verdict();
            if (!why)
                continue;
            m_stopped = true;
            m_reason = why;
            if (m_inCall) {
                m_closed = m_inCall;
                WinHttpCloseHandle(m_inCall);
            }
            return;
        }
    }

    const TransferHooks& m_hooks;
    PaceMonitor& m_pace;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    bool m_stopped = false;
    const char* m_reason = nullptr;
    HINTERNET m_inCall = nullptr;
    HINTERNET m_closed = nullptr;
    std::thread m_thread;
};

// One hop of a transfer: its connection and request, closed in reverse order, the request
// only if the watchdog has not closed it already.
struct Hop
{
    explicit Hop(Watchdog& dog)
        : watchdog(dog)
    {
    }
    Hop(const Hop&) = delete;
    Hop& operator=(const Hop&) = delete;
    ~Hop() { close(); }

    void close()
    {
        if (request && !watchdog.closed(request))
            WinHttpCloseHandle(request);
        if (connection)
            WinHttpCloseHandle(connection);
        request = nullptr;
        connection = nullptr;
    }

    Watchdog& watchdog;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
};

void stopped(TransferResult& result, Watchdog& watchdog)
{
    const char* why = watchdog.reason();
    result.errorString = why ? why : kCancelled;
    result.timedOut = why && why != kCancelled;
}

TransferResult runTransfer(const TransferRequest& request, const TransferHooks& hooks,
                           PaceMonitor& pace)
{
    TransferResult result;
    if (!urlAllowed(request.url)) {
        result.errorString = kOnlyHttps;
        return result;
    }

    std::string proxyName;
    std::string proxyBypass;
    std::wstring autoConfigUrl;
    bool autoDetect = false;
    if (request.proxy.mode == TransferProxyMode::ManualHttp) {
        proxyName = request.proxy.host + ":" + std::to_string(request.proxy.port);
    } else if (request.proxy.mode == TransferProxyMode::System) {
        WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie = {};
        if (WinHttpGetIEProxyConfigForCurrentUser(&ie)) {
            autoDetect = ie.fAutoDetect != FALSE;
            autoConfigUrl = takeGlobalString(ie.lpszAutoConfigUrl);
            proxyName = fromWide(takeGlobalString(ie.lpszProxy));
            proxyBypass = fromWide(takeGlobalString(ie.lpszProxyBypass));
        }
    }
    const SessionProxy sessionSettings = sessionProxy(proxyName, proxyBypass);
    const std::wstring wideProxyName = toWide(sessionSettings.name);
    const std::wstring wideBypass = toWide(sessionSettings.bypass);

    InternetHandle session;
    session.handle = WinHttpOpen(L"VORN-Launcher/0.1",
                                 sessionSettings.named ? WINHTTP_ACCESS_TYPE_NAMED_PROXY
                                                       : WINHTTP_ACCESS_TYPE_NO_PROXY,
                                 sessionSettings.named ? wideProxyName.c_str() : WINHTTP_NO_PROXY_NAME,
                                 wideBypass.empty() ? WINHTTP_NO_PROXY_BYPASS : wideBypass.c_str(),
                                 0);
    if (!session.handle) {
        fail(result, GetLastError());
        return result;
    }
    WinHttpSetTimeouts(session.handle, request.timeoutMs, request.timeoutMs, request.timeoutMs,
                       request.timeoutMs);
    // The wait for the response head has a clock of its own in some WinHTTP versions.
    DWORD headTimeout = DWORD(request.timeoutMs);
    WinHttpSetOption(session.handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headTimeout,
                     sizeof headTimeout);
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    WinHttpSetOption(session.handle, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
    // Redirects are followed here, hop by hop, so that every target passes the URL rule.
    DWORD redirectPolicy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(session.handle, WINHTTP_OPTION_REDIRECT_POLICY, &redirectPolicy,
                     sizeof redirectPolicy);

    Watchdog watchdog(hooks, pace);
    const std::wstring headers = toWide(requestHeaderBlock(request.cookie));
    TransferUrl current = request.url;
    int redirects = 0;
    int authAttempts = 0;
    DWORD authScheme = 0;
    Hop hop(watchdog);

    // Runs one blocking call under the watchdog; false when the transfer must stop, with the
    // result filled in.
    auto guarded = [&](auto call) {
        if (!watchdog.enter(hop.request)) {
            stopped(result, watchdog);
            return false;
        }
        const BOOL ok = call();
        const DWORD error = ok ? 0 : GetLastError();
        if (!watchdog.leave()) {
            stopped(result, watchdog);
            return false;
        }
        if (!ok) {
            fail(result, error);
            return false;
        }
        return true;
    };
    for (;;) {
        const bool https = equalsIgnoringCase(current.scheme, "https");
        const int port = current.port >= 0 ? current.port : (https ? 443 : 80);
        hop.connection = WinHttpConnect(session.handle, toWide(current.host).c_str(),
                                               INTERNET_PORT(port), 0);
        if (!hop.connection) {
            fail(result, GetLastError());
            return result;
        }
        hop.request = WinHttpOpenRequest(hop.connection, L"GET",
                                                toWide(current.pathAndQuery).c_str(), nullptr,
                                                WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                https ? WINHTTP_FLAG_SECURE : 0);
        if (!hop.request) {
            fail(result, GetLastError());
            return result;
        }
        const HINTERNET handle = hop.request;
        DWORD disabled = WINHTTP_DISABLE_REDIRECTS;
        WinHttpSetOption(handle, WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled);

        if (request.proxy.mode == TransferProxyMode::System && proxyName.empty()
            && (autoDetect || !autoConfigUrl.empty())) {
            WINHTTP_AUTOPROXY_OPTIONS options = {};
            options.fAutoLogonIfChallenged = TRUE;
            if (!autoConfigUrl.empty()) {
                options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
                options.lpszAutoConfigUrl = autoConfigUrl.c_str();
            } else {
                options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
                options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
            }
            WINHTTP_PROXY_INFO info = {};
            if (WinHttpGetProxyForUrl(session.handle, toWide(current.full).c_str(), &options,
                                      &info)) {
                WinHttpSetOption(handle, WINHTTP_OPTION_PROXY, &info, sizeof info);
                takeGlobalString(info.lpszProxy);
                takeGlobalString(info.lpszProxyBypass);
            }
        }

        const std::wstring user = toWide(request.proxy.user);
        const std::wstring password = toWide(request.proxy.password);
        // Absent credentials let Negotiate and NTLM use the logged-on user.
        auto setCredentials = [&] {
            return WinHttpSetCredentials(handle, WINHTTP_AUTH_TARGET_PROXY, authScheme,
                                         user.empty() ? nullptr : user.c_str(),
                                         password.empty() ? nullptr : password.c_str(), nullptr);
        };
        // A proxy that asked on an earlier hop gets its answer at once on this one.
        if (authScheme != 0 && !setCredentials()) {
            fail(result, GetLastError());
            return result;
        }

        DWORD status = 0;
        for (;;) {
            if (isCancelled(hooks)) {
                result.errorString = kCancelled;
                return result;
            }
            if (!guarded([&] {
                    return WinHttpSendRequest(handle, headers.c_str(), DWORD(headers.size()),
                                              WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
                })
                || !guarded([&] { return WinHttpReceiveResponse(handle, nullptr); }))
                return result;
            DWORD statusSize = sizeof status;
            if (!WinHttpQueryHeaders(handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                     WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize,
                                     WINHTTP_NO_HEADER_INDEX)) {
                fail(result, GetLastError());
                return result;
            }
            result.statusCode = int(status);
            if (status == 407 && authAttempts == 0) {
                DWORD supported = 0;
                DWORD first = 0;
                DWORD target = 0;
                if (!WinHttpQueryAuthSchemes(handle, &supported, &first, &target)) {
                    result.errorString = kProxyAuthRequired;
                    return result;
                }
                authScheme = chooseProxyScheme(supported);
                if (authScheme == 0) {
                    result.errorString = kProxyAuthUnsupported;
                    return result;
                }
                if (!setCredentials()) {
                    fail(result, GetLastError());
                    return result;
                }
                ++authAttempts;
                continue;
            }
            break;
        }

        if (isFollowedRedirect(int(status))) {
            const std::string location = headerText(handle, WINHTTP_QUERY_LOCATION);
            const TransferUrl target
                = location.empty() ? TransferUrl() : splitTransferUrl(resolveLocation(current.full, location));
            // A redirect the URL rule refuses is not followed: its own status is the answer.
            if (target.valid && redirectAllowed(current, target)) {
                if (++redirects > kMaxRedirects) {
                    result.errorString = kTooManyRedirects;
                    return result;
                }
                hop.close();
                current = target;
                continue;
            }
        }
        if (status < 200 || status > 299) {
            result.errorString = httpStatusText(int(status));
            return result;
        }
        break;
    }
    const HINTERNET handle = hop.request;

    if (request.allowChallenge) {
        const std::string cookie = challengeCookie(current.full, request.url.host);
        if (!cookie.empty()) {
            TransferRequest again = request;
            again.cookie = cookie;
            again.allowChallenge = false;
            return runTransfer(again, hooks, pace);
        }
    }

    const std::int64_t contentLength = contentLengthOf(handle);
    if (contentLength > request.maxBytes) {
        result.errorString = kTooLarge;
        return result;
    }

    std::string& body = result.body;
    for (;;) {
        if (isCancelled(hooks)) {
            result.errorString = kCancelled;
            return result;
        }
        DWORD available = 0;
        if (!guarded([&] { return WinHttpQueryDataAvailable(handle, &available); }))
            return result;
        if (available == 0) {
            // A connection that closes early must not pass for the whole answer.
            if (contentLength >= 0 && std::int64_t(body.size()) < contentLength) {
                result.errorString = kTruncated;
                return result;
            }
            result.complete = true;
            return result;
        }
        if (std::int64_t(body.size()) + std::int64_t(available) > request.maxBytes) {
            result.errorString = kTooLarge;
            return result;
        }
        std::int64_t chunk = available;
        if (hooks.rateLimited && hooks.rateLimited())
            chunk = std::min(chunk, kLimitedReadBytes);
        if (hooks.acquire) {
            pace.beginWait();
            const bool granted = hooks.acquire(chunk);
            pace.endWait();
            if (!granted) {
                result.errorString = kCancelled;
                return result;
            }
        }
        const size_t before = body.size();
        body.resize(before + size_t(chunk));
        DWORD read = 0;
        const bool ok = guarded([&] { return WinHttpReadData(handle, &body[before], DWORD(chunk), &read); });
        body.resize(before + (ok ? read : 0));
        if (!ok)
            return result;
        pace.received(std::int64_t(read));
        if (hooks.progress)
            hooks.progress(std::int64_t(body.size()), contentLength);
    }
}

} // namespace

TransferResult performTransfer(const TransferRequest& request, const TransferHooks& hooks)
{
    PaceMonitor pace(request.pace, request.maxBytes);
    return runTransfer(request, hooks, pace);
}

} // namespace vorn::platform
