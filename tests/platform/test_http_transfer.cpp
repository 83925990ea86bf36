// Runs under vorn_serve, which serves http_routes.json on VORN_TEST_HTTP_PORT (and, natively,
// over TLS on VORN_TEST_HTTPS_PORT) and runs tinyproxy on VORN_TEST_PROXY_PORT.
#include "platform/http_transfer.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <set>
#include <vector>

using namespace vorn::platform;

namespace {

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string local(const std::string& pathAndQuery, const std::string& host = "127.0.0.1")
{
    return "http://" + host + ":" + env("VORN_TEST_HTTP_PORT") + pathAndQuery;
}

std::string pattern(size_t bytes)
{
    std::string body(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i)
        body[i] = char((i * 7 + i / 251) % 251);
    return body;
}

TransferRequest requestFor(const std::string& url, std::int64_t maxBytes = 1 << 20)
{
    TransferRequest request;
    request.url = splitTransferUrl(url);
    request.proxy.mode = TransferProxyMode::Direct;
    request.timeoutMs = 10000;
    request.maxBytes = maxBytes;
    return request;
}

TransferResult fetch(const std::string& url, std::int64_t maxBytes = 1 << 20)
{
    return performTransfer(requestFor(url, maxBytes), {});
}

// How often the server has seen a request for this path (absolute proxy targets included).
int served(const std::string& path)
{
    const std::string log = fetch(local("/log")).body;
    int count = 0;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        const std::string line = log.substr(start, end - start);
        const size_t slashes = line.find("://");
        std::string target = line.substr(line.find(' ') + 1);
        if (slashes != std::string::npos)
            target = target.substr(target.find('/', target.find("://") + 3));
        if (target.substr(0, target.find('?')) == path)
            ++count;
        start = end == std::string::npos ? log.size() : end + 1;
    }
    return count;
}

void checkRefused(const TransferResult& result)
{
    CHECK(result.errorString == "Only HTTPS update URLs are allowed");
    CHECK(result.statusCode == 0);
    CHECK_FALSE(result.complete);
}

} // namespace

TEST_CASE("plain http reaches only the local machine")
{
    REQUIRE_FALSE(env("VORN_TEST_HTTP_PORT").empty());
    for (const char* host : {"127.0.0.1", "localhost"}) {
        CAPTURE(host);
        const TransferResult result = fetch(local("/ok", host));
        CHECK(result.errorString == "");
        CHECK(result.complete);
        CHECK(result.statusCode == 200);
        CHECK(result.body == "hello");
    }
    const int before = served("/ok");
    for (const std::string& url :
         std::vector<std::string>{"http://127.0.0.2:" + env("VORN_TEST_HTTP_PORT") + "/ok",
                                  "http://example.invalid/ok", "ftp://127.0.0.1/ok",
                                  "file:///etc/hosts", "http:///ok", "localhost/ok"}) {
        CAPTURE(url);
        checkRefused(fetch(url));
    }
    CHECK(served("/ok") == before);
}

TEST_CASE("the fixed request headers are sent, and a cookie only when given")
{
    const TransferResult plain = fetch(local("/echo"));
    REQUIRE(plain.complete);
    CHECK(plain.body.find("User-Agent: VORN-Launcher/0.1\r\n") != std::string::npos);
    CHECK(plain.body.find("Accept-Encoding: identity\r\nCache-Control: no-cache\r\nAccept: "
                          "text/html,application/xhtml+xml,application/json;q=0.9,*/*;q=0.8\r\n")
          != std::string::npos);
    CHECK(plain.body.find("Cookie") == std::string::npos);
    CHECK(plain.body.rfind("GET /echo HTTP/1.1\r\n", 0) == 0);
}

TEST_CASE("transfers given one pool share its connection")
{
    const std::shared_ptr<ConnectionPool> pool = makeConnectionPool();
    std::set<std::string> clientPorts;
    for (int i = 0; i < 3; ++i) {
        TransferRequest request = requestFor(local("/peer"));
        request.connections = pool;
        const TransferResult answer = performTransfer(request, {});
        REQUIRE(answer.complete);
        CHECK(answer.httpVersion == 11);
        clientPorts.insert(answer.body);
    }
    CHECK(clientPorts.size() == 1);
}

TEST_CASE("the size cap is checked against Content-Length before the body")
{
    const TransferResult exact = fetch(local("/size1000"), 1000);
    CHECK(exact.complete);
    CHECK(exact.body == pattern(1000));

    const TransferResult over = fetch(local("/size1000"), 999);
    CHECK(over.errorString == "Response is larger than the allowed limit");
    CHECK(over.statusCode == 200);
    CHECK(over.body.empty());
    CHECK_FALSE(over.complete);

    const TransferResult empty = fetch(local("/empty"), 0);
    CHECK(empty.complete);
    CHECK(empty.body.empty());
}

TEST_CASE("a body without Content-Length is stopped when it grows past the cap")
{
    const TransferResult result = fetch(local("/grows"), 200000);
    CHECK(result.errorString == "Response is larger than the allowed limit");
    CHECK_FALSE(result.complete);
    CHECK(result.body.size() > 0);
    CHECK(result.body.size() <= 200000);
    CHECK(result.body == pattern(result.body.size()));

    const TransferResult whole = fetch(local("/grows"), 300000);
    CHECK(whole.complete);
    CHECK(whole.body == pattern(300000));
}

TEST_CASE("non-2xx answers and broken bodies are failures")
{
    const TransferResult missing = fetch(local("/nothing-here"));
    CHECK(missing.errorString == "HTTP 404");
    CHECK(missing.statusCode == 404);
    CHECK(missing.body.empty());
    CHECK_FALSE(missing.complete);

    const TransferResult truncated = fetch(local("/truncated"));
    CHECK_FALSE(truncated.complete);
    CHECK_FALSE(truncated.errorString.empty());
    CHECK(truncated.body.size() <= 1000);
}

TEST_CASE("a redirect is followed only to a URL that a request may use")
{
    for (const char* path : {"/hop", "/hop-localhost"}) {
        CAPTURE(path);
        const TransferResult result = fetch(local(path));
        CHECK(result.complete);
        CHECK(result.statusCode == 200);
        CHECK(result.body == "hello");
    }
    // Followed, these would end in a failed connection or name lookup instead.
    for (const char* path : {"/hop-remote", "/hop-other-loopback", "/hop-other-scheme"}) {
        CAPTURE(path);
        const TransferResult result = fetch(local(path));
        CHECK_FALSE(result.complete);
        CHECK(result.errorString.rfind("HTTP 30", 0) == 0);
        CHECK(result.statusCode >= 301);
    }
}

TEST_CASE("a server that holds the request with a trickle fails as timed out")
{
    struct Case
    {
        const char* path;
        TransferPace pace;
        std::int64_t maxBytes;
        const char* error;
    };
    // A short window instead of the production one; the idle time-out never passes.
    const Case cases[] = {
        {"/trickle-body", {1024, 1000, 60000}, 1 << 20, "The server sent too little data in time"},
        {"/trickle-head", {1024, 1000, 60000}, 1 << 20, "The server sent too little data in time"},
        {"/trickle-continue", {1024, 1000, 60000}, 1 << 20, "The server sent too little data in time"},
        // Header lines fast enough for the floor, but the whole answer outlasts the deadline.
        // WinHTTP reads the head itself, so there its bytes count for nothing and the window
        // ends it first.
#ifndef _WIN32
        {"/steady-head", {50, 500, 1500}, 10, "The transfer took longer than its deadline"},
#else
        {"/steady-head", {50, 500, 1500}, 10, "The server sent too little data in time"},
#endif
    };
    for (const Case& c : cases) {
        CAPTURE(c.path);
        TransferRequest request = requestFor(local(c.path), c.maxBytes);
        request.pace = c.pace;
        const TransferResult result = performTransfer(request, {});
        CHECK_FALSE(result.complete);
#ifdef _WIN32
        // WinHTTP gives up on endless interim answers by itself, with an error of its own.
        if (std::string(c.path) == "/trickle-continue") {
            CHECK_FALSE(result.errorString.empty());
            continue;
        }
#endif
        CHECK(result.errorString == c.error);
        CHECK(result.timedOut);
    }
}

TEST_CASE("a cancel reaches a transfer whose server has gone silent")
{
    // The idle time-out is far away: only the cancel can end this transfer soon.
    TransferRequest request = requestFor(local("/silent"));
    request.timeoutMs = 120000;
    std::atomic<int> cancel{0};
    TransferHooks hooks;
    hooks.cancelFlag = &cancel;
    hooks.progress = [&cancel](std::int64_t, std::int64_t) { cancel = 1; };
    const TransferResult result = performTransfer(request, hooks);
    CHECK(result.errorString == "Request cancelled");
    CHECK(result.body == pattern(10));
}

TEST_CASE("the proxy bypass list goes only with a named proxy")
{
    CHECK(detail::sessionProxy("proxy:3128", "<local>").bypass == "<local>");
    const detail::SessionProxy none = detail::sessionProxy("", "<local>");
    CHECK_FALSE(none.named);
    CHECK(none.bypass.empty());
}

TEST_CASE("the cdata challenge is answered once, with the cookie")
{
    const TransferResult result = fetch(local("/challenge"));
    CHECK(result.complete);
    // The body is the head of the second request, as the server received it.
    CHECK(result.body.rfind("GET /challenge HTTP/1.1\r\n", 0) == 0);
    const std::string tail = "Cookie: PMBC=00fF\r\n\r\n";
    REQUIRE(result.body.size() > tail.size());
    CHECK(result.body.substr(result.body.size() - tail.size()) == tail);
    CHECK(served("/challenge") == 2);
}

TEST_CASE("no rerun for a long or non-hex cdata or another host")
{
    for (const char* path :
         {"/challenge-long", "/challenge-nonhex", "/challenge-other-host"}) {
        CAPTURE(path);
        const int before = served(path);
        const TransferResult result = fetch(local(path));
        CHECK(result.complete);
        CHECK(result.body == "landing");
        CHECK(served(path) == before + 1);
    }
}

TEST_CASE("a proxy asking twice for credentials ends with HTTP 407 after one resend")
{
    // The target host differs from the proxy's name: Wine's WinHTTP sends origin-form
    // requests to a proxy that has the same host name as the target.
    TransferRequest request = requestFor(local("/proxy-407", "localhost"));
    request.proxy = {TransferProxyMode::ManualHttp, "127.0.0.1",
                     std::uint16_t(std::atoi(env("VORN_TEST_HTTP_PORT").c_str())), "user", "pw"};
    const int before = served("/proxy-407");
    const TransferResult result = performTransfer(request, {});
    CHECK(result.errorString == "HTTP 407");
    CHECK(result.statusCode == 407);
#ifndef _WIN32
    CHECK(served("/proxy-407") == before + 2);
#else
    // Wine's WinHTTP replays the credentials once more by itself; Windows does not.
    CHECK(served("/proxy-407") >= before + 2);
#endif

    request.url = splitTransferUrl(local("/proxy-407-unknown", "localhost"));
    CHECK(performTransfer(request, {}).errorString == "Proxy uses an unsupported authentication scheme");
    request.url = splitTransferUrl(local("/proxy-407-bare", "localhost"));
    CHECK(performTransfer(request, {}).errorString == "Proxy authentication is required");
}

TEST_CASE("a real proxy with Basic authentication")
{
    REQUIRE_FALSE(env("VORN_TEST_PROXY_PORT").empty());
    TransferRequest request = requestFor(local("/ok", "localhost"));
    request.proxy = {TransferProxyMode::ManualHttp, "127.0.0.1",
                     std::uint16_t(std::atoi(env("VORN_TEST_PROXY_PORT").c_str())),
                     env("VORN_TEST_PROXY_USER"), env("VORN_TEST_PROXY_PASSWORD")};
    const TransferResult through = performTransfer(request, {});
    CHECK(through.errorString == "");
    CHECK(through.body == "hello");

    request.proxy.password += "-wrong";
    const TransferResult wrong = performTransfer(request, {});
    CHECK(wrong.errorString == "HTTP 401");
    CHECK_FALSE(wrong.complete);

    request.proxy.user.clear();
    request.proxy.password.clear();
    const TransferResult anonymous = performTransfer(request, {});
    CHECK_FALSE(anonymous.complete);
#ifndef _WIN32
    CHECK(anonymous.errorString == "HTTP 407");
#else
    // WinHTTP refuses Basic without a user before sending.
    CHECK_FALSE(anonymous.errorString.empty());
#endif
}

TEST_CASE("a silent server ends the transfer as timed out")
{
    for (const std::string& path : {std::string("/stall"), std::string("/slow-head")}) {
        CAPTURE(path);
        TransferRequest request = requestFor(local(path));
        request.timeoutMs = 1000;
        const TransferResult result = performTransfer(request, {});
        INFO(result.errorString);
        CHECK(result.timedOut);
        CHECK_FALSE(result.complete);
        CHECK_FALSE(result.errorString.empty());
        if (path == "/stall")
            CHECK(result.body == pattern(10));
    }
}

TEST_CASE("cancellation before sending and from the limiter")
{
    std::atomic<int> cancel{1};
    TransferHooks hooks;
    hooks.cancelFlag = &cancel;
    const int before = served("/echo");
    const TransferResult early = performTransfer(requestFor(local("/echo")), hooks);
    CHECK(early.errorString == "Request cancelled");
    CHECK(early.statusCode == 0);
    CHECK(served("/echo") == before);

    cancel = 0;
    hooks.acquire = [](std::int64_t) { return false; };
    const TransferResult refused = performTransfer(requestFor(local("/big")), hooks);
    CHECK(refused.errorString == "Request cancelled");
    CHECK(refused.statusCode == 200);
    CHECK(refused.body.empty());
    CHECK_FALSE(refused.complete);
}

TEST_CASE("limited reads stay within 64 KiB and progress follows every read")
{
    std::vector<std::int64_t> pieces;
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    TransferHooks hooks;
    hooks.rateLimited = [] { return true; };
    hooks.acquire = [&](std::int64_t bytes) {
        pieces.push_back(bytes);
        return true;
    };
    hooks.progress = [&](std::int64_t received, std::int64_t total) {
        progress.emplace_back(received, total);
    };
    const TransferResult result = performTransfer(requestFor(local("/big")), hooks);
    REQUIRE(result.complete);
    CHECK(result.body == pattern(300000));
    CHECK(*std::max_element(pieces.begin(), pieces.end()) <= 65536);
    std::int64_t sum = 0;
    for (std::int64_t piece : pieces)
        sum += piece;
    CHECK(sum == 300000);
    REQUIRE(progress.size() == pieces.size());
    CHECK(progress.back() == std::make_pair(std::int64_t(300000), std::int64_t(300000)));
    CHECK(std::is_sorted(progress.begin(), progress.end()));

    progress.clear();
    const TransferResult unknown = performTransfer(requestFor(local("/grows"), 300000), hooks);
    REQUIRE(unknown.complete);
    CHECK(progress.back().second == -1);
}

#ifndef _WIN32
namespace {

std::string secure(const std::string& pathAndQuery)
{
    return "https://localhost:" + env("VORN_TEST_HTTPS_PORT") + pathAndQuery;
}

// Sets proxy variables for one test and restores them.
class ProxyEnvironment
{
public:
    explicit ProxyEnvironment(const std::string& proxy)
    {
        for (const char* name : kNames) {
            const char* old = std::getenv(name);
            m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            setenv(name, proxy.c_str(), 1);
        }
        unsetenv("no_proxy");
        unsetenv("NO_PROXY");
    }
    ~ProxyEnvironment()
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

private:
    static constexpr const char* kNames[] = {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY"};
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

} // namespace

TEST_CASE("https with an extra trusted authority, TLS 1.2 and no downgrade on redirect")
{
    REQUIRE_FALSE(env("VORN_TEST_HTTPS_PORT").empty());
    REQUIRE_FALSE(env("VORN_CA_BUNDLE").empty());
    auto trusting = [](const std::string& url) {
        TransferRequest request = requestFor(url);
        request.extraAuthorities = env("VORN_CA_BUNDLE");
        return performTransfer(request, {});
    };
    const TransferResult ok = trusting(secure("/hop"));
    CHECK(ok.errorString == "");
    CHECK(ok.body == "hello");

    const int before = served("/ok");
    const TransferResult downgrade = trusting(secure("/tls-downgrade"));
    CHECK(downgrade.errorString == "HTTP 302");
    CHECK(downgrade.statusCode == 302);
    CHECK_FALSE(downgrade.complete);
    CHECK(served("/ok") == before);

    // The variable is set in this process, but only a request that names the file trusts it.
    const TransferResult untrusted = fetch(secure("/ok"));
    CHECK_FALSE(untrusted.complete);
    CHECK(untrusted.statusCode == 0);
    CHECK_FALSE(untrusted.errorString.empty());
}

TEST_CASE("Direct ignores the proxy variables that System follows")
{
    // Nothing listens on port 1, so a request that uses the proxy fails to connect.
    ProxyEnvironment environment("http://127.0.0.1:1");
    TransferRequest request = requestFor(local("/ok"));
    request.extraAuthorities = env("VORN_CA_BUNDLE");
    request.proxy.mode = TransferProxyMode::Direct;
    CHECK(performTransfer(request, {}).body == "hello");
    request.url = splitTransferUrl(secure("/ok"));
    CHECK(performTransfer(request, {}).body == "hello");

    request.proxy.mode = TransferProxyMode::System;
    const TransferResult viaProxy = performTransfer(request, {});
    CHECK_FALSE(viaProxy.complete);
    CHECK(viaProxy.statusCode == 0);
}
#endif
