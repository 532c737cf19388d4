#include "programmer/AckQueue.h"

#include <utility>

const std::uint8_t* CAckQueue::TakeArmed()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_pArmed, nullptr);
}

void CAckQueue::Push(Ack ack)
{
    {
        std::lock_guard lock(m_mutex);
        m_acks.push_back(ack);
    }
    m_cv.notify_one();
}

std::optional<CAckQueue::Ack> CAckQueue::WaitFor(std::chrono::milliseconds timeout,
                                                 const std::uint8_t* next)
{
    std::unique_lock lock(m_mutex);
    // Armed only while nothing is queued: a queued acknowledgement is the
    // one the worker answers itself.
    if (m_acks.empty())
        m_pArmed = next;
    const bool answered = m_cv.wait_for(lock, timeout, [this] { return !m_acks.empty(); });
    m_pArmed = nullptr;
    if (!answered)
        return std::nullopt;
    const Ack ack = m_acks.front();
    m_acks.pop_front();
    return ack;
}

void CAckQueue::Reset()
{
    std::lock_guard lock(m_mutex);
    m_acks.clear();
    m_pArmed = nullptr;
}
