#include "programmer/StatusQueue.h"

#include <algorithm>

#include "programmer/StatusCode.h"

namespace {

bool IsProgress(int code)
{
    return code == kStatusWriteProgress || code == kStatusReadProgress;
}

}  // namespace

CStatusQueue::CStatusQueue(Progress progress) : m_progress(progress) {}

void CStatusQueue::PostStatus(int code)
{
    if (m_progress == Progress::Coalesced && IsProgress(code))
        PostProgress(code);
    else
        Push({StatusEvent::Kind::Status, code});
}

void CStatusQueue::SelectDeviceEntry(int index)
{
    Push({StatusEvent::Kind::SelectDevice, index});
}

void CStatusQueue::PostProgress(int code)
{
    bool wake = true;
    {
        std::lock_guard lock(m_mutex);
        // The one still queued shows the position when it is taken.
        if (m_nQueuedProgress > 0)
            return;
        const Clock::time_point now = Clock::now();
        if (now < m_nextProgressAt) {
            // A consumer already waiting learns when this one is due; later
            // ones only replace it.
            wake = !m_heldProgress;
            m_heldProgress = code;
        } else {
            m_heldProgress = code;
            ReleaseHeldLocked(now);
        }
    }
    if (wake)
        m_cv.notify_one();
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
    if (m_progress == Progress::Coalesced && event.kind == StatusEvent::Kind::Status
        && IsProgress(event.value))
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

void CStatusQueue::Push(StatusEvent event)
{
    {
        std::lock_guard lock(m_mutex);
        // A held progress report goes first: it was posted first.
        ReleaseHeldLocked(Clock::now());
        m_events.push_back(event);
    }
    m_cv.notify_one();
}
