#pragma once

#include "platform/ascii_text.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace vorn::platform {

// The URL of a transfer, already split by the caller (the Qt layer uses QUrl; tests and
// Qt-free callers use splitTransferUrl).
struct TransferUrl
{
    bool valid = false;
    std::string scheme;
    std::string host;         // fully decoded
    int port = -1;            // -1: the scheme's default
    std::string pathAndQuery; // encoded path ("/" when empty), then "?" and the encoded query
    std::string full;         // the whole URL, encoded
};

// Same numbering and meaning as the launcher's proxy modes.
enum class TransferProxyMode : std::int32_t { System = 0, Direct = 1, ManualHttp = 2 };

struct TransferProxy
{
    TransferProxyMode mode = TransferProxyMode::System;
    std::string host;
    std::uint16_t port = 8080;
    std::string user;
    std::string password;
};

// The least a server must deliver. The idle time-out alone lets a server that sends a byte
// now and then hold a request for ever; with this rule a request fails as timed out when the
// bytes of the last windowMs fall below minBytesPerSecond, or when the whole transfer takes
// longer than max(minimumDeadlineMs, maxBytes at minBytesPerSecond). Time spent waiting for
// the launcher's own bandwidth limit does not count. minBytesPerSecond 0: no such rule.
struct TransferPace
{
    std::int64_t minBytesPerSecond = 1024;
    int windowMs = 15000;
    int minimumDeadlineMs = 60000;
};

// Connections (and TLS sessions) kept open between the transfers that are given the same pool,
// so that a run of small downloads from one server pays one handshake, not one each, and a
// server that speaks HTTP/2 carries the transfers running at the same time over one connection. A
// connection is only reused by a transfer with the same proxy settings and the same extra
// authorities as the one that opened it; a change of either opens new connections and lets
// the old ones close (WinHTTP trusts the system's authorities alone, so only the proxy counts
// there). Safe to share between threads.
class ConnectionPool;
[[nodiscard]] std::shared_ptr<ConnectionPool> makeConnectionPool();

struct TransferRequest
{
    TransferUrl url;
    TransferProxy proxy;
    int timeoutMs = 30000; // idle: the longest silence between bytes
    std::int64_t maxBytes = 0;
    TransferPace pace;
    std::string cookie; // sent as "Cookie: <cookie>" when not empty
    bool allowChallenge = true;
    // A PEM file of certificate authorities trusted besides the system's (libcurl only).
    std::string extraAuthorities;
    // Null: a connection of the transfer's own, closed when it ends.
    std::shared_ptr<ConnectionPool> connections;
};

// Called on the transferring thread. rateLimited tells whether reads must stay small (at most
// 64 KiB); acquire blocks until the bytes may be read and returns false when cancelled.
struct TransferHooks
{
    const std::atomic<int>* cancelFlag = nullptr;
    std::function<bool()> rateLimited;
    std::function<bool(std::int64_t bytes)> acquire;
    std::function<void(std::int64_t received, std::int64_t total)> progress;
};

struct TransferResult
{
    std::string body;
    std::string errorString; // empty on success
    int statusCode = 0;      // 0 when no response was received
    bool complete = false;   // the whole body was read
    bool timedOut = false;
    // The protocol of the last answer: 11 for HTTP/1.1, 20 for HTTP/2; 0 when no answer came
    // or the system's HTTP stack does not tell.
    int httpVersion = 0;
};

// Sets up the HTTP stack's process-wide state (libcurl's, and the TLS library's under it). Call
// it before starting the threads that transfer: what is set up first is torn down last when the
// process ends, after those threads have been waited for. performTransfer calls it too.
void prepareTransfers();

// One synchronous GET with the launcher's transport policy: HTTPS only (plain HTTP to the
// local machine), TLS 1.2 or newer, no redirect from HTTPS to HTTP, size cap, time-out, proxy with
// one authentication resend, and the one-time cookie challenge.
[[nodiscard]] TransferResult performTransfer(const TransferRequest& request,
                                             const TransferHooks& hooks);

// Tolerant split of an absolute URL; valid is false when it has no scheme or no authority.
[[nodiscard]] TransferUrl splitTransferUrl(const std::string& url);

namespace detail {

extern const char* const kOnlyHttps;
extern const char* const kCancelled;
extern const char* const kTooLarge;
extern const char* const kTruncated;
extern const char* const kProxyAuthRequired;
extern const char* const kProxyAuthUnsupported;
extern const char* const kTooSlow;
extern const char* const kTooLong;
extern const char* const kTooManyRedirects;
extern const char* const kHeadTooLarge;

// The most head bytes (interim answers included) one answer may have: a server that keeps
// sending header lines or "100 Continue" answers is cut off here at the latest.
constexpr std::int64_t kMaxHeadBytes = 65536;
constexpr int kMaxRedirects = 10;

[[nodiscard]] bool urlAllowed(const TransferUrl& url);
// Whether a redirect from one URL to another may be followed: the target must pass the same
// URL rule as a request, and https never leads down to http.
[[nodiscard]] bool redirectAllowed(const TransferUrl& from, const TransferUrl& to);
[[nodiscard]] bool isFollowedRedirect(int status);
[[nodiscard]] bool isCancelled(const TransferHooks& hooks);
[[nodiscard]] std::string httpStatusText(int status);
// The fixed header block, with the cookie line when there is a cookie.
[[nodiscard]] std::string requestHeaderBlock(const std::string& cookie);
// The cookie to come back with when a 2xx answer's final URL carries a challenge: same host
// as requested and a "cdata" query item of 1 to 256 hexadecimal digits. Empty otherwise.
[[nodiscard]] std::string challengeCookie(const std::string& finalUrl,
                                          const std::string& requestedHost);
// A Location header value made absolute against the URL that answered with it.
[[nodiscard]] std::string resolveLocation(const std::string& base, const std::string& location);

// What a WinHTTP session is opened with: a named proxy (with its bypass list) or none. The
// bypass list is only valid beside a proxy name.
struct SessionProxy
{
    bool named = false;
    std::string name;
    std::string bypass;
};
[[nodiscard]] SessionProxy sessionProxy(const std::string& name, const std::string& bypass);

// Watches one transfer against its TransferPace. Thread-safe: the transferring thread reports
// bytes and limiter waits, and any thread may ask for the verdict.
class PaceMonitor
{
public:
    using Clock = std::chrono::steady_clock;

    PaceMonitor(const TransferPace& pace, std::int64_t maxBytes);

    void received(std::int64_t bytes);
    // Brackets a wait for the launcher's own bandwidth limit.
    void beginWait();
    void endWait();
    // Null while the transfer may go on; otherwise why it must stop (kTooSlow or kTooLong).
    [[nodiscard]] const char* verdict();

private:
    [[nodiscard]] std::int64_t serverMs(Clock::time_point now) const;

    std::mutex m_mutex;
    TransferPace m_pace;
    std::int64_t m_deadlineMs = 0;
    Clock::time_point m_start;
    Clock::duration m_waited{};
    Clock::time_point m_waitStart;
    bool m_waiting = false;
    std::int64_t m_bytes = 0;
    std::deque<std::pair<std::int64_t, std::int64_t>> m_samples; // server ms, bytes so far
};
} // namespace detail

} // namespace vorn::platform
