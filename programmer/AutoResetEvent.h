#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// An event that lets exactly one wait through per Set and then clears
// itself. A payload that travels with the signal can be filled and taken
// under the event's own lock, so a waiter never sees it half written.
class CAutoResetEvent {
public:
    // fill, when given, runs under the lock before the event is signalled.
    void Set(const std::function<void()>& fill = {});
    void Reset();
    // true when the event was signalled within timeout; it is cleared again
    // and take, when given, runs under the lock. false on time-out.
    bool WaitFor(std::chrono::milliseconds timeout, const std::function<void()>& take = {});

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bSignalled = false;
};
