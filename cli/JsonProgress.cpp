#include "cli/JsonProgress.h"

#include <algorithm>

#include "app/core/ProgrammerSession.h"
#include "cli/ResultLog.h"
#include "programmer/StatusCode.h"

CJsonProgress::CJsonProgress(Writer writer, std::string port)
    : m_writer(std::move(writer)), m_strPort(std::move(port))
{
}

void CJsonProgress::OnEvent(const StatusEvent& event, CProgrammerSession& session)
{
    if (event.kind != StatusEvent::Kind::Status)
        return;
    switch (event.value) {
    case kStatusWriteStart:
    case kStatusReadStart:
        // A verify is a read that the session compares afterwards.
        m_strStep = event.value == kStatusWriteStart ? "write"
            : session.CompareAfterRead()             ? "verify"
                                                     : "read";
        m_bEmitted = false;
        break;
    case kStatusWriteProgress:
    case kStatusReadProgress:
        if (!m_strStep.empty()
            && (!m_bEmitted || std::chrono::steady_clock::now() - m_lastAt >= kInterval))
            Emit(session);
        break;
    case kStatusWriteDone:
    case kStatusWriteError:
    case kStatusReadDone:
    case kStatusReceiveError:
        // The step's end, however it ended, is always told.
        if (!m_strStep.empty())
            Emit(session);
        m_strStep.clear();
        break;
    default:
        break;
    }
}

void CJsonProgress::Emit(CProgrammerSession& session)
{
    const CProgrammer& programmer = session.Programmer();
    const int total = std::max(0, programmer.m_nLength.load());
    // The last block may reach past the length.
    const int done = std::clamp(programmer.m_nPos.load(), 0, total);
    std::string line = "{";
    if (!m_strPort.empty())
        line += "\"port\":" + JsonString(m_strPort) + ",";
    line += "\"step\":\"" + m_strStep + "\",\"done\":" + std::to_string(done)
        + ",\"total\":" + std::to_string(total) + "}";
    m_writer(line);
    m_bEmitted = true;
    m_lastAt = std::chrono::steady_clock::now();
}
