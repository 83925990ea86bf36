#pragma once

#include "platform/ascii_text.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

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

struct TransferRequest
{
    TransferUrl url;
    TransferProxy proxy;
    int timeoutMs = 30000;
    std::int64_t maxBytes = 0;
    std::string cookie; // sent as "Cookie: <cookie>" when not empty
    bool allowChallenge = true;
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
};

// One synchronous GET with the launcher's transport policy: HTTPS only (plain HTTP to the
// local machine), TLS 1.2, no redirect from HTTPS to HTTP, size cap, time-out, proxy with
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

[[nodiscard]] bool urlAllowed(const TransferUrl& url);
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
} // namespace detail

} // namespace vorn::platform
