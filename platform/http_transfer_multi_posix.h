#pragma once

#include <curl/curl.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace vorn::platform::detail {

// One libcurl multi handle and the thread that drives it. The transfers run through it share
// its connections, so a server that speaks HTTP/2 carries all of them as streams of one
// connection, and a server on HTTP/1.1 gets its connections reused. Any thread may call
// perform; the handle's callbacks then run on the multiplexer's thread while the caller waits.
class CurlMultiplexer
{
public:
    CurlMultiplexer();
    // No transfer may still be running.
    ~CurlMultiplexer();
    CurlMultiplexer(const CurlMultiplexer&) = delete;
    CurlMultiplexer& operator=(const CurlMultiplexer&) = delete;

    [[nodiscard]] bool ok() const { return m_multi != nullptr; }

    // Runs the handle to its end. Ends it with CURLE_ABORTED_BY_CALLBACK as soon as the cancel
    // flag is set, whether or not its server is sending anything.
    [[nodiscard]] CURLcode perform(CURL* easy, const std::atomic<int>* cancelFlag);

private:
    struct Job
    {
        CURL* easy = nullptr;
        const std::atomic<int>* cancelFlag = nullptr;
        CURLcode code = CURLE_OK;
        bool done = false;
    };

    void run();
    void finish(Job* job, CURLcode code);

    CURLM* m_multi = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_finished;
    std::vector<Job*> m_incoming; // guarded by m_mutex
    bool m_stopping = false;      // guarded by m_mutex
    std::thread m_thread;
};

} // namespace vorn::platform::detail
