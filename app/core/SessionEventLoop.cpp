#include "app/core/SessionEventLoop.h"

#include <utility>

#include "app/core/ProgrammerSession.h"

CSessionEventLoop::CSessionEventLoop(CProgrammerSession& session, CStatusQueue& queue,
                                     std::chrono::milliseconds stepTimeout)
    : m_session(session), m_queue(queue), m_stepTimeout(stepTimeout)
{
}

void CSessionEventLoop::SetObserver(std::function<void(const StatusEvent&)> observer)
{
    m_observer = std::move(observer);
}

void CSessionEventLoop::RunUntil(const std::function<bool()>& done)
{
    while (!done()) {
        const std::optional<StatusEvent> event = m_queue.Wait(m_stepTimeout);
        if (!event) {
            ++m_nTimeouts;
            m_session.OnStepTimeout();
            continue;
        }
        m_session.HandleEvent(*event);
        if (m_observer)
            m_observer(*event);
    }
}

bool CSessionEventLoop::RunCommand(const std::function<void()>& command)
{
    // Counted before the click: a command may end at once (a file that
    // cannot be loaded).
    const int endsBefore = m_session.SequenceEndCount();
    command();
    RunUntil([&] {
        return m_session.SequenceEndCount() > endsBefore && !m_session.IsStepOutstanding();
    });
    return m_session.LastSequenceSucceeded();
}
