#include "tests/soak/SessionBench.h"

#include <utility>

#include "programmer/StatusCode.h"

CSessionBench::CSessionBench(Config config)
    : m_config(std::move(config))
    , m_session(m_view, m_queue, m_messages)
    , m_loop(m_session, m_queue, m_config.stepTimeout)
{
    m_session.Programmer().m_strPortPath = m_config.portPath;
    if (m_config.opener)
        m_session.SetBackendOpener(m_config.opener);
    m_loop.SetObserver([this](const StatusEvent& event) { Handle(event); });
}

bool CSessionBench::Connect()
{
    m_session.Start(m_config.settings, m_config.cataloguePath);
    // The serial link asks for readiness as soon as it is up; the cable
    // reports its port open and nothing else.
    m_loop.RunUntil([this] {
        return m_bParallelReady
            || (m_session.SequenceEndCount() > 0 && !m_session.IsStepOutstanding());
    });
    return m_bParallelReady || m_session.LastSequenceSucceeded();
}

bool CSessionBench::RunAuto()
{
    return m_loop.RunCommand([this] { m_session.OnAuto(); });
}

void CSessionBench::Settle(const std::function<bool()>& idle, std::chrono::milliseconds quiet)
{
    using Clock = std::chrono::steady_clock;
    auto lastEvent = Clock::now();
    for (;;) {
        if (const auto event = m_queue.Wait(std::chrono::milliseconds(20))) {
            m_session.HandleEvent(*event);
            Handle(*event);
            lastEvent = Clock::now();
            continue;
        }
        if (idle() && m_queue.Size() == 0)
            return;
        if (Clock::now() - lastEvent >= quiet)
            return;
    }
}

void CSessionBench::Handle(const StatusEvent& event)
{
    ++m_nHandled;
    if (event.kind == StatusEvent::Kind::Status && event.value == kStatusParallelReady)
        m_bParallelReady = true;
}

bool CSessionBench::AllEventsHandled() const
{
    return m_queue.Size() == 0 && m_queue.Posted() == m_nHandled;
}
