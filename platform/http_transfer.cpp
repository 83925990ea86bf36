#include "platform/http_transfer.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace vorn::platform {

namespace detail {

const char* const kOnlyHttps = "Only HTTPS update URLs are allowed";
const char* const kCancelled = "Request cancelled";
const char* const kTooLarge = "Response is larger than the allowed limit";
const char* const kTruncated = "Response ended before its announced length";
const char* const kProxyAuthRequired = "Proxy authentication is required";
const char* const kProxyAuthUnsupported = "Proxy uses an unsupported authentication scheme";
const char* const kTooSlow = "The server sent too little data in time";
const char* const kTooLong = "The transfer took longer than its deadline";
const char* const kTooManyRedirects = "Number of redirects hit maximum amount";
const char* const kHeadTooLarge = "Response header is larger than the allowed limit";

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(char(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::string queryOf(const std::string& url)
{
    const size_t fragment = url.find('#');
    const std::string withoutFragment = url.substr(0, fragment);
    const size_t question = withoutFragment.find('?');
    if (question == std::string::npos)
        return {};
    return withoutFragment.substr(question + 1);
}

bool isHexDigits(const std::string& text, size_t maxLength)
{
    if (text.empty() || text.size() > maxLength)
        return false;
    for (char c : text) {
        if (hexValue(c) < 0)
            return false;
    }
    return true;
}

} // namespace

bool urlAllowed(const TransferUrl& url)
{
    if (!url.valid || url.host.empty())
        return false;
    if (equalsIgnoringCase(url.scheme, "https"))
        return true;
    return equalsIgnoringCase(url.scheme, "http")
           && (url.host == "127.0.0.1" || url.host == "localhost");
}

bool redirectAllowed(const TransferUrl& from, const TransferUrl& to)
{
    if (!urlAllowed(to))
        return false;
    return !equalsIgnoringCase(from.scheme, "https") || equalsIgnoringCase(to.scheme, "https");
}

bool isFollowedRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool isCancelled(const TransferHooks& hooks)
{
    return hooks.cancelFlag && hooks.cancelFlag->load() != 0;
}

std::string httpStatusText(int status)
{
    return "HTTP " + std::to_string(status);
}

std::string requestHeaderBlock(const std::string& cookie)
{
    std::string block = "Accept-Encoding: identity\r\n"
                        "Cache-Control: no-cache\r\n"
                        "Accept: text/html,application/xhtml+xml,application/json;q=0.9,*/*;q=0.8\r\n";
    if (!cookie.empty())
        block += "Cookie: " + cookie + "\r\n";
    return block;
}

std::string challengeCookie(const std::string& finalUrl, const std::string& requestedHost)
{
    const TransferUrl parsed = splitTransferUrl(finalUrl);
    if (!parsed.valid || !equalsIgnoringCase(parsed.host, requestedHost))
        return {};
    const std::string query = queryOf(finalUrl);
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string::npos)
            end = query.size();
        const std::string item = query.substr(start, end - start);
        const size_t equals = item.find('=');
        const std::string key = percentDecoded(item.substr(0, equals));
        if (key == "cdata") {
            // Only the first item counts, as with any query lookup.
            const std::string value
                = equals == std::string::npos ? std::string() : percentDecoded(item.substr(equals + 1));
            return isHexDigits(value, 256) ? "PMBC=" + value : std::string();
        }
        start = end + 1;
    }
    return {};
}

std::string resolveLocation(const std::string& base, const std::string& location)
{
    if (splitTransferUrl(location).valid)
        return location;
    const size_t schemeEnd = base.find("://");
    if (schemeEnd == std::string::npos)
        return location;
    if (location.compare(0, 2, "//") == 0)
        return base.substr(0, schemeEnd + 1) + location;
    const size_t pathStart = base.find_first_of("/?#", schemeEnd + 3);
    const std::string origin = base.substr(0, pathStart);
    if (!location.empty() && location[0] == '/')
        return origin + location;
    std::string path = pathStart == std::string::npos ? "/" : base.substr(pathStart);
    path = path.substr(0, path.find_first_of("?#"));
    if (location.empty() || location[0] == '?')
        return origin + path + location;
    return origin + path.substr(0, path.rfind('/') + 1) + location;
}

SessionProxy sessionProxy(const std::string& name, const std::string& bypass)
{
    SessionProxy proxy;
    if (name.empty())
        return proxy;
    proxy.named = true;
    proxy.name = name;
    proxy.bypass = bypass;
    return proxy;
}

PaceMonitor::PaceMonitor(const TransferPace& pace, std::int64_t maxBytes)
    : m_pace(pace)
    , m_start(Clock::now())
{
    if (m_pace.minBytesPerSecond > 0) {
        // Saturates instead of overflowing for the largest size limits.
        const double atFloor = double(std::max<std::int64_t>(maxBytes, 0)) * 1000.0
                               / double(m_pace.minBytesPerSecond);
        const double limit = double(std::numeric_limits<std::int64_t>::max() / 2);
        m_deadlineMs = std::max<std::int64_t>(m_pace.minimumDeadlineMs,
                                              std::int64_t(std::min(atFloor, limit)));
    }
    m_samples.emplace_back(0, 0);
}

std::int64_t PaceMonitor::serverMs(Clock::time_point now) const
{
    Clock::duration waited = m_waited;
    if (m_waiting)
        waited += now - m_waitStart;
    return std::chrono::duration_cast<std::chrono::milliseconds>(now - m_start - waited).count();
}

void PaceMonitor::received(std::int64_t bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bytes += bytes;
}

void PaceMonitor::beginWait()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_waiting) {
        m_waiting = true;
        m_waitStart = Clock::now();
    }
}

void PaceMonitor::endWait()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_waiting) {
        m_waiting = false;
        m_waited += Clock::now() - m_waitStart;
    }
}

const char* PaceMonitor::verdict()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pace.minBytesPerSecond <= 0)
        return nullptr;
    const std::int64_t now = serverMs(Clock::now());
    if (now > m_deadlineMs)
        return kTooLong;
    const std::int64_t window = std::max(1, m_pace.windowMs);
    if (now - m_samples.back().first >= std::max<std::int64_t>(1, window / 8))
        m_samples.emplace_back(now, m_bytes);
    // Keep the newest sample at least one window old as the base of the measurement.
    while (m_samples.size() >= 2 && m_samples[1].first <= now - window)
        m_samples.pop_front();
    const auto& base = m_samples.front();
    if (now - base.first < window)
        return nullptr;
    const std::int64_t bytes = m_bytes - base.second;
    const double floor = double(m_pace.minBytesPerSecond) * double(now - base.first) / 1000.0;
    return double(bytes) < floor ? kTooSlow : nullptr;
}

} // namespace detail

TransferUrl splitTransferUrl(const std::string& url)
{
    TransferUrl result;
    const size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0 || url.compare(colon + 1, 2, "//") != 0)
        return result;
    for (size_t i = 0; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(url[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return result;
    }
    result.scheme = url.substr(0, colon);
    const std::string rest = url.substr(colon + 3);
    const size_t authorityEnd = rest.find_first_of("/?#");
    std::string authority = rest.substr(0, authorityEnd);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos)
        authority = authority.substr(at + 1);

    std::string host = authority;
    std::string port;
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos)
            return result;
        host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':')
                return result;
            port = authority.substr(close + 2);
        }
    } else {
        const size_t portColon = authority.rfind(':');
        if (portColon != std::string::npos) {
            host = authority.substr(0, portColon);
            port = authority.substr(portColon + 1);
        }
    }
    if (!port.empty()) {
        if (port.size() > 5)
            return result;
        for (char c : port) {
            if (!std::isdigit(static_cast<unsigned char>(c)))
                return result;
        }
        result.port = std::stoi(port);
        if (result.port > 65535)
            return result;
    }
    result.host = detail::percentDecoded(host);

    const std::string tail = authorityEnd == std::string::npos ? std::string() : rest.substr(authorityEnd);
    const std::string withoutFragment = tail.substr(0, tail.find('#'));
    const size_t question = withoutFragment.find('?');
    std::string path = withoutFragment.substr(0, question);
    if (path.empty())
        path = "/";
    result.pathAndQuery = path;
    if (question != std::string::npos)
        result.pathAndQuery += withoutFragment.substr(question);
    result.full = url.substr(0, url.find('#'));
    result.valid = true;
    return result;
}

} // namespace vorn::platform
