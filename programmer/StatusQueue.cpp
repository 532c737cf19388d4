#include "programmer/StatusQueue.h"

#include <algorithm>
#include <utility>

#include "programmer/StatusCode.h"

bool StatusEvent::IsProgress() const
{
    return kind == Kind::Status && (value == kStatusWriteProgress || value == kStatusReadProgress);
}

CStatusQueue::CStatusQueue(Progress progress, Listener listener)
    : m_progress(progress), m_listener(std::move(listener))
{
}

void CStatusQueue::PostStatus(int code)
{
    const StatusEvent event{StatusEvent::Kind::Status, code};
    if (m_progress == Progress::Coalesced && event.IsProgress())
        PostProgress(code);
    else
        Push(event);
}

void CStatusQueue::SelectDeviceEntry(int index)
{
    Push({StatusEvent::Kind::SelectDevice, index});
}

void CStatusQueue::PostProgress(int code)
{
    Posted posted = Posted::Ready;
    {
        std::lock_guard lock(m_mutex);
        // The one still queued shows the position when it is taken.
        if (m_nQueuedProgress > 0)
            return;
        const Clock::time_point now = Clock::now();
        const bool wasHeld = m_heldProgress.has_value();
        m_heldProgress = code;
        if (now < m_nextProgressAt) {
            // A consumer already waiting learns when this one is due; later
            // ones only replace it.
            if (wasHeld)
                return;
            posted = Posted::Held;
        } else {
            ReleaseHeldLocked(now);
        }
    }
    Notify(posted);
}

void CStatusQueue::Notify(Posted posted)
{
    m_cv.notify_one();
    if (m_listener)
        m_listener(posted);
}

void CStatusQueue::ReleaseHeldLocked(Clock::time_point now)
{
    if (!m_heldProgress)
        return;
    m_events.push_back({StatusEvent::Kind::Status, *m_heldProgress});
    m_heldProgress.reset();
    ++m_nQueuedProgress;
    m_nextProgressAt = now + kProgressInterval;
}

std::optional<StatusEvent> CStatusQueue::PopLocked()
{
    if (m_events.empty() && m_heldProgress) {
        const Clock::time_point now = Clock::now();
        if (now < m_nextProgressAt)
            return std::nullopt;
        ReleaseHeldLocked(now);
    }
    if (m_events.empty())
        return std::nullopt;
    const StatusEvent event = m_events.front();
    m_events.pop_front();
    if (m_progress == Progress::Coalesced && event.IsProgress())
        --m_nQueuedProgress;
    return event;
}

std::optional<StatusEvent> CStatusQueue::Wait(std::chrono::milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (std::optional<StatusEvent> event = PopLocked())
            return event;
        if (Clock::now() >= deadline)
            return std::nullopt;
        // A held progress report wakes the consumer when it is due.
        m_cv.wait_until(lock, m_heldProgress ? std::min(deadline, m_nextProgressAt) : deadline);
    }
}

std::optional<StatusEvent> CStatusQueue::TryPop()
{
    std::lock_guard lock(m_mutex);
    return PopLocked();
}

std::size_t CStatusQueue::Size() const
{
    std::lock_guard lock(m_mutex);
    return m_events.size() + (m_heldProgress ? 1 : 0);
}

bool CStatusQueue::HoldsProgress() const
{
    std::lock_guard lock(m_mutex);
    return m_heldProgress.has_value();
}

CStatusQueue::Clock::time_point CStatusQueue::NextProgressAt() const
{
    std::lock_guard lock(m_mutex);
    return m_nextProgressAt;
}

void CStatusQueue::Push(StatusEvent event)
{
    {
        std::lock_guard lock(m_mutex);
        // A held progress report goes first: it was posted first.
        ReleaseHeldLocked(Clock::now());
        m_events.push_back(event);
    }
    Notify(Posted::Ready);
}
