#include "platform/http_transfer_multi_posix.h"

#include <algorithm>

namespace vorn::platform::detail {

namespace {

// How long the thread sleeps at most when nothing happens: the longest a cancel waits.
constexpr int kPollMs = 50;
constexpr int kIdlePollMs = 600000;
// Idle connections kept for later transfers: a few servers' worth of HTTP/1.1 connections.
constexpr long kMaxCachedConnections = 16;

} // namespace

CurlMultiplexer::CurlMultiplexer()
{
    m_multi = curl_multi_init();
    if (!m_multi)
        return;
    curl_multi_setopt(m_multi, CURLMOPT_PIPELINING, long(CURLPIPE_MULTIPLEX));
    curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, kMaxCachedConnections);
    m_thread = std::thread([this] { run(); });
}

CurlMultiplexer::~CurlMultiplexer()
{
    if (!m_multi)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    curl_multi_wakeup(m_multi);
    m_thread.join();
    curl_multi_cleanup(m_multi);
}

CURLcode CurlMultiplexer::perform(CURL* easy, const std::atomic<int>* cancelFlag)
{
    Job job;
    job.easy = easy;
    job.cancelFlag = cancelFlag;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_incoming.push_back(&job);
    curl_multi_wakeup(m_multi);
    m_finished.wait(lock, [&job] { return job.done; });
    return job.code;
}

void CurlMultiplexer::finish(Job* job, CURLcode code)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    job->code = code;
    job->done = true;
    m_finished.notify_all();
}

void CurlMultiplexer::run()
{
    std::vector<Job*> active;
    std::vector<Job*> arrived;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping && active.empty() && m_incoming.empty())
                return;
            arrived.swap(m_incoming);
        }
        for (Job* job : arrived) {
            if (curl_multi_add_handle(m_multi, job->easy) == CURLM_OK)
                active.push_back(job);
            else
                finish(job, CURLE_FAILED_INIT);
        }
        arrived.clear();

        int running = 0;
        curl_multi_perform(m_multi, &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            const auto it = std::find_if(active.begin(), active.end(),
                                         [message](const Job* job) { return job->easy == message->easy_handle; });
            if (it == active.end())
                continue;
            // The message does not outlive the handle's removal.
            const CURLcode code = message->data.result;
            Job* job = *it;
            active.erase(it);
            curl_multi_remove_handle(m_multi, job->easy);
            finish(job, code);
        }
        // A cancel must not wait for the server's next byte, nor for the next progress call.
        for (auto it = active.begin(); it != active.end();) {
            Job* job = *it;
            if (job->cancelFlag && job->cancelFlag->load() != 0) {
                it = active.erase(it);
                curl_multi_remove_handle(m_multi, job->easy);
                finish(job, CURLE_ABORTED_BY_CALLBACK);
            } else {
                ++it;
            }
        }
        // Idle, it sleeps until a transfer arrives: a launcher in the tray does not wake up
        // twenty times a second for nothing.
        curl_multi_poll(m_multi, nullptr, 0, active.empty() ? kIdlePollMs : kPollMs, nullptr);
    }
}

} // namespace vorn::platform::detail
