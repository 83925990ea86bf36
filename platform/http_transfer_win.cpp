#include "platform/http_transfer.h"

#include "platform/wide_text_win.h"
#include "platform/winhttp_session_win.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cwchar>
#include <mutex>
#include <vector>

#ifndef WINHTTP_OPTION_HTTP_PROTOCOL_USED
#define WINHTTP_OPTION_HTTP_PROTOCOL_USED 134
#endif
#ifndef WINHTTP_PROTOCOL_FLAG_HTTP2
#define WINHTTP_PROTOCOL_FLAG_HTTP2 0x1
#endif

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

// Closes on scope exit.
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

// 20 when the answer came over HTTP/2, else 11. Systems that cannot tell (before Windows 10
// 1903) cannot speak HTTP/2 either.
int protocolUsed(HINTERNET request)
{
    DWORD used = 0;
    DWORD size = sizeof used;
    if (WinHttpQueryOption(request, WINHTTP_OPTION_HTTP_PROTOCOL_USED, &used, &size)
        && (used & WINHTTP_PROTOCOL_FLAG_HTTP2) != 0)
        return 20;
    return 11;
}

// One asynchronous request as its status callback reports it. WinHTTP's callbacks may come on
// its own threads, and after the transfer has given up on the request: the record is shared
// by the transferring thread and the request handle, and goes when both have let go (the
// handle with its closing notice). Reads land in its own buffer for the same reason.
struct AsyncRequest
{
    std::mutex mutex;
    std::condition_variable changed;
    int owners = 1;
    bool done = false;
    DWORD error = 0;
    DWORD bytes = 0;
    std::vector<char> buffer;
    std::wstring headers;

    void release()
    {
        bool last = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            last = --owners == 0;
        }
        if (last)
            delete this;
    }

    void complete(DWORD failure, DWORD count)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
            error = failure;
            bytes = count;
        }
        changed.notify_all();
    }
};

void CALLBACK onRequestStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information,
                              DWORD length)
{
    auto* request = reinterpret_cast<AsyncRequest*>(context);
    if (!request)
        return;
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        request->complete(0, 0);
        break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
        request->complete(0, information ? *static_cast<const DWORD*>(information) : 0);
        break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        request->complete(0, length);
        break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
        const auto* result = static_cast<const WINHTTP_ASYNC_RESULT*>(information);
        request->complete(result && result->dwError ? result->dwError : DWORD(ERROR_WINHTTP_INTERNAL_ERROR), 0);
        break;
    }
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
        request->release();
        break;
    default:
        break;
    }
}

// One hop of a transfer: its connection and its asynchronous request.
class Hop
{
public:
    Hop() = default;
    Hop(const Hop&) = delete;
    Hop& operator=(const Hop&) = delete;
    ~Hop() { close(); }

    // A request handle whose completions reach this hop's record; false with the Windows error.
    [[nodiscard]] bool open(HINTERNET session, const TransferUrl& url, const std::wstring& headers,
                            int timeoutMs, DWORD* error)
    {
        const bool https = equalsIgnoringCase(url.scheme, "https");
        const int port = url.port >= 0 ? url.port : (https ? 443 : 80);
        m_connection = WinHttpConnect(session, toWide(url.host).c_str(), INTERNET_PORT(port), 0);
        if (m_connection)
            m_request = WinHttpOpenRequest(m_connection, L"GET", toWide(url.pathAndQuery).c_str(),
                                           nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                           https ? WINHTTP_FLAG_SECURE : 0);
        if (!m_request) {
            *error = GetLastError();
            return false;
        }
        m_async = new AsyncRequest;
        m_async->headers = headers;
        DWORD_PTR context = reinterpret_cast<DWORD_PTR>(m_async);
        if (!WinHttpSetOption(m_request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context)
            || WinHttpSetStatusCallback(m_request, onRequestStatus,
                                        WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                        0)
                   == WINHTTP_INVALID_STATUS_CALLBACK) {
            *error = GetLastError();
            return false;
        }
        // From here on the handle holds the record too, until its closing notice.
        m_async->owners = 2;
        DWORD disabled = WINHTTP_DISABLE_REDIRECTS;
        WinHttpSetOption(m_request, WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled);
        // On the request, not the session: the session is shared by requests with other deadlines.
        WinHttpSetTimeouts(m_request, timeoutMs, timeoutMs, timeoutMs, timeoutMs);
        // The wait for the response head has a clock of its own in some WinHTTP versions.
        DWORD headTimeout = DWORD(timeoutMs);
        WinHttpSetOption(m_request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headTimeout, sizeof headTimeout);
        return true;
    }

    [[nodiscard]] HINTERNET request() const { return m_request; }
    [[nodiscard]] AsyncRequest& async() { return *m_async; }

    // Closing the request handle is how an asynchronous operation under way is abandoned.
    void close()
    {
        if (m_request)
            WinHttpCloseHandle(m_request);
        if (m_connection)
            WinHttpCloseHandle(m_connection);
        if (m_async)
            m_async->release();
        m_request = nullptr;
        m_connection = nullptr;
        m_async = nullptr;
    }

private:
    HINTERNET m_connection = nullptr;
    HINTERNET m_request = nullptr;
    AsyncRequest* m_async = nullptr;
};

// The proxy that automatic detection or a configuration script names for url, set on the
// request. Asked on a synchronous session of its own: the transfer's session is asynchronous.
void applyAutomaticProxy(HINTERNET request, const TransferUrl& url, const std::wstring& autoConfigUrl)
{
    InternetHandle session;
    session.handle = WinHttpOpen(L"VORN-Launcher/0.1", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                 WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session.handle)
        return;
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
    if (WinHttpGetProxyForUrl(session.handle, toWide(url.full).c_str(), &options, &info)) {
        WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof info);
        takeGlobalString(info.lpszProxy);
        takeGlobalString(info.lpszProxyBypass);
    }
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
    // The pool's session carries the connections of earlier transfers with the same proxy;
    // without a pool, the transfer's own closes with it.
    const SessionProxy sessionSettings = sessionProxy(proxyName, proxyBypass);
    DWORD sessionError = 0;
    const std::shared_ptr<WinHttpSession> session = request.connections
                                                        ? request.connections->session(sessionSettings, &sessionError)
                                                        : WinHttpSession::open(sessionSettings, &sessionError);
    if (!session) {
        fail(result, sessionError);
        return result;
    }

    const std::wstring headers = toWide(requestHeaderBlock(request.cookie));
    TransferUrl current = request.url;
    int redirects = 0;
    int authAttempts = 0;
    DWORD authScheme = 0;
    bool resentOnNewConnection = false;
    DWORD lastError = 0;
    Hop hop;

    // Starts one asynchronous operation and waits for it, watching the cancel flag and the
    // pace meanwhile. False when the transfer ends here, with the result filled in; a request
    // given up under way is closed, and its completion, should it still come, finds nobody.
    auto await = [&](auto start) {
        AsyncRequest& async = hop.async();
        {
            std::lock_guard<std::mutex> lock(async.mutex);
            async.done = false;
            async.error = 0;
            async.bytes = 0;
        }
        if (!start()) {
            lastError = GetLastError();
            fail(result, lastError);
            return false;
        }
        std::unique_lock<std::mutex> lock(async.mutex);
        while (!async.done) {
            async.changed.wait_for(lock, std::chrono::milliseconds(100));
            if (async.done)
                break;
            const char* why = isCancelled(hooks) ? kCancelled : pace.verdict();
            if (why) {
                lock.unlock();
                hop.close();
                result.errorString = why;
                result.timedOut = why != kCancelled;
                return false;
            }
        }
        if (async.error != 0) {
            lastError = async.error;
            lock.unlock();
            fail(result, lastError);
            return false;
        }
        return true;
    };

    for (;;) {
        DWORD openError = 0;
        if (!hop.open(session->handle(), current, headers, request.timeoutMs, &openError)) {
            fail(result, openError);
            return result;
        }
        const HINTERNET handle = hop.request();
        AsyncRequest& async = hop.async();
        if (request.proxy.mode == TransferProxyMode::System && proxyName.empty()
            && (autoDetect || !autoConfigUrl.empty()))
            applyAutomaticProxy(handle, current, autoConfigUrl);

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
        bool sendAgain = false;
        for (;;) {
            if (isCancelled(hooks)) {
                result.errorString = kCancelled;
                return result;
            }
            const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&async);
            lastError = 0;
            if (!await([&] {
                    return WinHttpSendRequest(handle, async.headers.c_str(), DWORD(async.headers.size()),
                                              WINHTTP_NO_REQUEST_DATA, 0, 0, context);
                })
                || !await([&] { return WinHttpReceiveResponse(handle, nullptr); })) {
                // A proxy may close the connection its challenge came on while the answer with
                // the credentials is on its way, which then meets a closed socket: sent once
                // more, it goes out on a new connection with the credentials from the start.
                sendAgain = authAttempts == 1 && !resentOnNewConnection
                            && (lastError == ERROR_WINHTTP_INVALID_SERVER_RESPONSE
                                || lastError == ERROR_WINHTTP_CONNECTION_ERROR);
                if (!sendAgain)
                    return result;
                resentOnNewConnection = true;
                result.errorString.clear();
                result.timedOut = false;
                break;
            }
            DWORD statusSize = sizeof status;
            if (!WinHttpQueryHeaders(handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                     WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize,
                                     WINHTTP_NO_HEADER_INDEX)) {
                fail(result, GetLastError());
                return result;
            }
            result.statusCode = int(status);
            result.httpVersion = protocolUsed(handle);
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

        if (sendAgain) {
            hop.close();
            continue;
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
    const HINTERNET handle = hop.request();
    AsyncRequest& async = hop.async();

    if (request.allowChallenge) {
        const std::string cookie = challengeCookie(current.full, request.url.host);
        if (!cookie.empty()) {
            hop.close();
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
        if (!await([&] { return WinHttpQueryDataAvailable(handle, nullptr); }))
            return result;
        const DWORD available = async.bytes;
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
        async.buffer.resize(size_t(chunk));
        if (!await([&] { return WinHttpReadData(handle, async.buffer.data(), DWORD(chunk), nullptr); }))
            return result;
        const DWORD read = std::min<DWORD>(async.bytes, DWORD(chunk));
        body.append(async.buffer.data(), read);
        pace.received(std::int64_t(read));
        if (hooks.progress)
            hooks.progress(std::int64_t(body.size()), contentLength);
    }
}

} // namespace

// WinHTTP needs nothing set up, and outlives the process's own teardown.
void prepareTransfers()
{
}

TransferResult performTransfer(const TransferRequest& request, const TransferHooks& hooks)
{
    PaceMonitor pace(request.pace, request.maxBytes);
    return runTransfer(request, hooks, pace);
}

} // namespace vorn::platform
