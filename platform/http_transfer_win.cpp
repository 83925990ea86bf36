#include "platform/http_transfer.h"

#include "platform/wide_text_win.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <cwchar>
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

// Where WINHTTP_OPTION_URL is not available (Wine), the final URL is followed through the
// redirect notifications instead.
struct RedirectTrail
{
    std::string url;
};

void CALLBACK onRequestStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information,
                              DWORD length)
{
    if (status != WINHTTP_CALLBACK_STATUS_REDIRECT || !context || !information)
        return;
    auto* trail = reinterpret_cast<RedirectTrail*>(context);
    const auto* text = static_cast<const wchar_t*>(information);
    std::wstring location(text, length ? length : wcslen(text));
    while (!location.empty() && location.back() == L'\0')
        location.pop_back();
    trail->url = resolveLocation(trail->url, fromWide(location));
}

std::string finalUrlOf(HINTERNET request)
{
    DWORD size = 0;
    if (!WinHttpQueryOption(request, WINHTTP_OPTION_URL, nullptr, &size)
        && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        size = 0;
    // Some WinHTTP implementations refuse to measure without a buffer; a generous one then.
    if (size == 0)
        size = 8192 * sizeof(wchar_t);
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryOption(request, WINHTTP_OPTION_URL, buffer.data(), &size))
        return {};
    return fromWide(buffer.data());
}

} // namespace

TransferResult performTransfer(const TransferRequest& request, const TransferHooks& hooks)
{
    TransferResult result;
    if (!urlAllowed(request.url)) {
        result.errorString = kOnlyHttps;
        return result;
    }

    std::wstring proxyName;
    std::wstring proxyBypass;
    std::wstring autoConfigUrl;
    bool autoDetect = false;
    if (request.proxy.mode == TransferProxyMode::ManualHttp) {
        proxyName = toWide(request.proxy.host + ":" + std::to_string(request.proxy.port));
    } else if (request.proxy.mode == TransferProxyMode::System) {
        WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie = {};
        if (WinHttpGetIEProxyConfigForCurrentUser(&ie)) {
            autoDetect = ie.fAutoDetect != FALSE;
            autoConfigUrl = takeGlobalString(ie.lpszAutoConfigUrl);
            proxyName = takeGlobalString(ie.lpszProxy);
            proxyBypass = takeGlobalString(ie.lpszProxyBypass);
        }
    }

    InternetHandle session;
    session.handle = WinHttpOpen(L"VORN-Launcher/0.1",
                                 proxyName.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY
                                                   : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                                 proxyName.empty() ? WINHTTP_NO_PROXY_NAME : proxyName.c_str(),
                                 proxyBypass.empty() ? WINHTTP_NO_PROXY_BYPASS : proxyBypass.c_str(),
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
    DWORD redirectPolicy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    WinHttpSetOption(session.handle, WINHTTP_OPTION_REDIRECT_POLICY, &redirectPolicy,
                     sizeof redirectPolicy);

    const bool https = equalsIgnoringCase(request.url.scheme, "https");
    const int port = request.url.port >= 0 ? request.url.port : (https ? 443 : 80);
    InternetHandle connection;
    connection.handle = WinHttpConnect(session.handle, toWide(request.url.host).c_str(),
                                       INTERNET_PORT(port), 0);
    if (!connection.handle) {
        fail(result, GetLastError());
        return result;
    }

    InternetHandle httpRequest;
    httpRequest.handle = WinHttpOpenRequest(connection.handle, L"GET",
                                            toWide(request.url.pathAndQuery).c_str(), nullptr,
                                            WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                            https ? WINHTTP_FLAG_SECURE : 0);
    if (!httpRequest.handle) {
        fail(result, GetLastError());
        return result;
    }
    const HINTERNET handle = httpRequest.handle;

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
        if (WinHttpGetProxyForUrl(session.handle, toWide(request.url.full).c_str(), &options,
                                  &info)) {
            WinHttpSetOption(handle, WINHTTP_OPTION_PROXY, &info, sizeof info);
            takeGlobalString(info.lpszProxy);
            takeGlobalString(info.lpszProxyBypass);
        }
    }

    RedirectTrail trail{request.url.full};
    DWORD_PTR trailContext = reinterpret_cast<DWORD_PTR>(&trail);
    WinHttpSetOption(handle, WINHTTP_OPTION_CONTEXT_VALUE, &trailContext, sizeof trailContext);
    WinHttpSetStatusCallback(handle, onRequestStatus, WINHTTP_CALLBACK_FLAG_REDIRECT, 0);

    const std::wstring headers = toWide(requestHeaderBlock(request.cookie));
    int authAttempts = 0;
    for (;;) {
        if (isCancelled(hooks)) {
            result.errorString = kCancelled;
            return result;
        }
        if (!WinHttpSendRequest(handle, headers.c_str(), DWORD(headers.size()),
                                WINHTTP_NO_REQUEST_DATA, 0, 0, 0)
            || !WinHttpReceiveResponse(handle, nullptr)) {
            fail(result, GetLastError());
            return result;
        }
        DWORD status = 0;
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
            const DWORD scheme = chooseProxyScheme(supported);
            if (scheme == 0) {
                result.errorString = kProxyAuthUnsupported;
                return result;
            }
            const std::wstring user = toWide(request.proxy.user);
            const std::wstring password = toWide(request.proxy.password);
            // Absent credentials let Negotiate and NTLM use the logged-on user.
            if (!WinHttpSetCredentials(handle, WINHTTP_AUTH_TARGET_PROXY, scheme,
                                       user.empty() ? nullptr : user.c_str(),
                                       password.empty() ? nullptr : password.c_str(), nullptr)) {
                fail(result, GetLastError());
                return result;
            }
            ++authAttempts;
            continue;
        }
        if (status < 200 || status > 299) {
            result.errorString = httpStatusText(int(status));
            return result;
        }
        break;
    }

    if (request.allowChallenge) {
        std::string finalUrl = finalUrlOf(handle);
        if (finalUrl.empty())
            finalUrl = trail.url;
        const std::string cookie = finalUrl.empty()
                                       ? std::string()
                                       : challengeCookie(finalUrl, request.url.host);
        if (!cookie.empty()) {
            TransferRequest again = request;
            again.cookie = cookie;
            again.allowChallenge = false;
            return performTransfer(again, hooks);
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
        if (!WinHttpQueryDataAvailable(handle, &available)) {
            fail(result, GetLastError());
            return result;
        }
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
        if (hooks.acquire && !hooks.acquire(chunk)) {
            result.errorString = kCancelled;
            return result;
        }
        const size_t before = body.size();
        body.resize(before + size_t(chunk));
        DWORD read = 0;
        const BOOL ok = WinHttpReadData(handle, &body[before], DWORD(chunk), &read);
        const DWORD readError = ok ? 0 : GetLastError();
        body.resize(before + (ok ? read : 0));
        if (!ok) {
            fail(result, readError);
            return result;
        }
        if (hooks.progress)
            hooks.progress(std::int64_t(body.size()), contentLength);
    }
}

} // namespace vorn::platform
