#include "programmer/StatusQueue.h"

void CStatusQueue::PostStatus(int code)
{
    Push({StatusEvent::Kind::Status, code});
}

void CStatusQueue::SelectDeviceEntry(int index)
{
    Push({StatusEvent::Kind::SelectDevice, index});
}

std::optional<StatusEvent> CStatusQueue::Wait(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    if (!m_cv.wait_for(lock, timeout, [this] { return !m_events.empty(); }))
        return std::nullopt;
    StatusEvent event = m_events.front();
    m_events.pop_front();
    return event;
}

std::optional<StatusEvent> CStatusQueue::TryPop()
{
    std::lock_guard lock(m_mutex);
    if (m_events.empty())
        return std::nullopt;
    StatusEvent event = m_events.front();
    m_events.pop_front();
    return event;
}

std::size_t CStatusQueue::Size() const
{
    std::lock_guard lock(m_mutex);
    return m_events.size();
}

void CStatusQueue::Push(StatusEvent event)
{
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(event);
    }
    m_cv.notify_one();
}
