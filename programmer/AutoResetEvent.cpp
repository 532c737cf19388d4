#include "programmer/AutoResetEvent.h"

void CAutoResetEvent::Set(const std::function<void()>& fill)
{
    {
        std::lock_guard lock(m_mutex);
        if (fill)
            fill();
        m_bSignalled = true;
    }
    m_cv.notify_one();
}

void CAutoResetEvent::Reset()
{
    std::lock_guard lock(m_mutex);
    m_bSignalled = false;
}

bool CAutoResetEvent::WaitFor(std::chrono::milliseconds timeout, const std::function<void()>& take)
{
    std::unique_lock lock(m_mutex);
    if (!m_cv.wait_for(lock, timeout, [this] { return m_bSignalled; }))
        return false;
    m_bSignalled = false;
    if (take)
        take();
    return true;
}
