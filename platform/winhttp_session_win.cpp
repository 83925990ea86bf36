#include "platform/winhttp_session_win.h"

#include "platform/wide_text_win.h"

#ifndef WINHTTP_OPTION_ENABLE_HTTP_PROTOCOL
#define WINHTTP_OPTION_ENABLE_HTTP_PROTOCOL 133
#endif
#ifndef WINHTTP_PROTOCOL_FLAG_HTTP2
#define WINHTTP_PROTOCOL_FLAG_HTTP2 0x1
#endif

namespace vorn::platform::detail {

std::shared_ptr<WinHttpSession> WinHttpSession::open(const SessionProxy& proxy, DWORD* error)
{
    const std::wstring name = toWide(proxy.name);
    const std::wstring bypass = toWide(proxy.bypass);
    std::shared_ptr<WinHttpSession> session(new WinHttpSession);
    // Asynchronous, so that a transfer can be given up at any moment (a cancel, a server
    // below the minimum pace) by closing its request, which WinHTTP allows only in this mode.
    session->m_handle = WinHttpOpen(L"VORN-Launcher/0.1",
                                    proxy.named ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
                                    proxy.named ? name.c_str() : WINHTTP_NO_PROXY_NAME,
                                    bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : bypass.c_str(), WINHTTP_FLAG_ASYNC);
    if (!session->m_handle) {
        *error = GetLastError();
        return nullptr;
    }
    // TLS 1.2 at the least, and 1.3 where the system has it: a server may offer 1.3 alone.
    // Systems without 1.3 refuse the whole value, and keep 1.2.
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
#ifdef WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3
    protocols |= WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
#endif
    if (!WinHttpSetOption(session->m_handle, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
        WinHttpSetOption(session->m_handle, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
    }
    // Redirects are followed by the transfer, hop by hop, so that every target passes the URL rule.
    DWORD redirectPolicy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(session->m_handle, WINHTTP_OPTION_REDIRECT_POLICY, &redirectPolicy, sizeof redirectPolicy);
    // HTTP/2 where the server offers it (Windows 10 1607 and later); older systems refuse the
    // option and stay on HTTP/1.1.
    DWORD httpProtocols = WINHTTP_PROTOCOL_FLAG_HTTP2;
    WinHttpSetOption(session->m_handle, WINHTTP_OPTION_ENABLE_HTTP_PROTOCOL, &httpProtocols, sizeof httpProtocols);
    return session;
}

WinHttpSession::~WinHttpSession()
{
    if (m_handle)
        WinHttpCloseHandle(m_handle);
}

} // namespace vorn::platform::detail

namespace vorn::platform {

std::shared_ptr<detail::WinHttpSession> ConnectionPool::session(const detail::SessionProxy& proxy, DWORD* error)
{
    // Length-prefixed, so that no two different proxies give the same text.
    std::string key = std::to_string(int(proxy.named));
    for (const std::string* field : {&proxy.name, &proxy.bypass})
        key += ';' + std::to_string(field->size()) + ':' + *field;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_current || m_key != key) {
        std::shared_ptr<detail::WinHttpSession> opened = detail::WinHttpSession::open(proxy, error);
        if (!opened)
            return nullptr;
        m_current = std::move(opened);
        m_key = std::move(key);
    }
    return m_current;
}

std::shared_ptr<ConnectionPool> makeConnectionPool()
{
    return std::make_shared<ConnectionPool>();
}

} // namespace vorn::platform
