#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Ends the process when no run finished for a long time: a soak that hangs
// must fail with a story, not sit there until the CI job is killed.
class CHangGuard {
public:
    // describe() is called on the guard's thread when it fires; it must only
    // read what it is given under its own lock.
    CHangGuard(std::chrono::seconds limit, std::function<std::string()> describe);
    ~CHangGuard();
    CHangGuard(const CHangGuard&) = delete;
    CHangGuard& operator=(const CHangGuard&) = delete;

    // A run finished: the clock starts again.
    void Beat();

private:
    void Watch();

    const std::chrono::seconds m_limit;
    std::function<std::string()> m_describe;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::chrono::steady_clock::time_point m_lastBeat;
    bool m_bStop = false;
    std::thread m_thread;
};
