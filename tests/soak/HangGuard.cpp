#include "tests/soak/HangGuard.h"

#include <cstdio>
#include <unistd.h>

CHangGuard::CHangGuard(std::chrono::seconds limit, std::function<std::string()> describe)
    : m_limit(limit)
    , m_describe(std::move(describe))
    , m_lastBeat(std::chrono::steady_clock::now())
    , m_thread(&CHangGuard::Watch, this)
{
}

CHangGuard::~CHangGuard()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_cv.notify_all();
    m_thread.join();
}

void CHangGuard::Beat()
{
    std::lock_guard lock(m_mutex);
    m_lastBeat = std::chrono::steady_clock::now();
}

void CHangGuard::Watch()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        const auto deadline = m_lastBeat + m_limit;
        if (m_cv.wait_until(lock, deadline, [this] { return m_bStop; }))
            return;
        if (std::chrono::steady_clock::now() < m_lastBeat + m_limit)
            continue;
        lock.unlock();
        const std::string story = m_describe ? m_describe() : std::string();
        std::fprintf(stderr, "SOAK HANG: no run finished for %lld s\n%s\n",
                     static_cast<long long>(m_limit.count()), story.c_str());
        std::fflush(stderr);
        // The stuck threads cannot be joined: leave at once.
        ::_exit(3);
    }
}
