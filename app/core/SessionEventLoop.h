#pragma once

#include <chrono>
#include <functional>

#include "programmer/StatusQueue.h"

class CProgrammerSession;

// Feeds a session the events of a CStatusQueue on the calling thread and
// keeps its step watchdog: the host loop of the CLI and of tests.
class CSessionEventLoop {
public:
    CSessionEventLoop(CProgrammerSession& session, CStatusQueue& queue,
                      std::chrono::milliseconds stepTimeout);

    // Sees every event after the session has handled it.
    void SetObserver(std::function<void(const StatusEvent&)> observer);

    // Handles events until done() holds (checked before each wait). When no
    // event comes for the step time-out, the session's watchdog ends the
    // outstanding step as a failure; with nothing outstanding the wait ends
    // the same way, since nothing would ever answer.
    void RunUntil(const std::function<bool()>& done);

    // Runs command (a click) and then the events until a sequence that ended
    // after the click has ended and no report is still due (the serial
    // board's ready report after a write); true when the last end was a
    // success.
    bool RunCommand(const std::function<void()>& command);

    // How often the step time-out ran out since the loop was made.
    int TimeoutCount() const { return m_nTimeouts; }

private:
    CProgrammerSession& m_session;
    CStatusQueue& m_queue;
    std::chrono::milliseconds m_stepTimeout;
    std::function<void(const StatusEvent&)> m_observer;
    int m_nTimeouts = 0;
};
