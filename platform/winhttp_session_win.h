#pragma once

#include "platform/http_transfer.h"

#include <windows.h>
#include <winhttp.h>

#include <memory>
#include <mutex>
#include <string>

namespace vorn::platform::detail {

// An asynchronous WinHTTP session and the proxy it was opened with. WinHTTP keeps its
// connections (and an HTTP/2 server's one connection, with the streams of every request on it)
// per session, so transfers that share one skip the handshakes of all but the first.
class WinHttpSession
{
public:
    // Null with the Windows error when WinHTTP refuses.
    [[nodiscard]] static std::shared_ptr<WinHttpSession> open(const SessionProxy& proxy, DWORD* error);
    ~WinHttpSession();
    WinHttpSession(const WinHttpSession&) = delete;
    WinHttpSession& operator=(const WinHttpSession&) = delete;

    [[nodiscard]] HINTERNET handle() const { return m_handle; }

private:
    WinHttpSession() = default;
    HINTERNET m_handle = nullptr;
};

} // namespace vorn::platform::detail

namespace vorn::platform {

// Only the newest proxy takes new transfers: the session of an older one closes when its last
// transfer has ended.
class ConnectionPool
{
public:
    // The session for this proxy, opened when there is none yet or the proxy changed.
    [[nodiscard]] std::shared_ptr<detail::WinHttpSession> session(const detail::SessionProxy& proxy, DWORD* error);

private:
    std::mutex m_mutex;
    std::string m_key;
    std::shared_ptr<detail::WinHttpSession> m_current;
};

} // namespace vorn::platform
