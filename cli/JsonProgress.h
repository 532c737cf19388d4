#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "programmer/StatusQueue.h"

class CProgrammerSession;

// The progress of a command's transfers for scripts and production front
// ends (--progress json): one JSON object per line, such as
// {"step":"write","done":4096,"total":8192}, at most ten a second while a
// write, read or verify runs and one when it ends, done then saying how far
// it got. Gang's lines name the port first: {"port":"A","step":...}.
class CJsonProgress {
public:
    using Writer = std::function<void(const std::string& line)>;
    static constexpr std::chrono::milliseconds kInterval{100};

    explicit CJsonProgress(Writer writer, std::string port = {});

    // Called with each event after the session has handled it.
    void OnEvent(const StatusEvent& event, CProgrammerSession& session);

private:
    void Emit(CProgrammerSession& session);

    Writer m_writer;
    const std::string m_strPort;
    std::string m_strStep;  // the transfer running; empty: none
    bool m_bEmitted = false;
    std::chrono::steady_clock::time_point m_lastAt;
};
