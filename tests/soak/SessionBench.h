#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "app/core/ProgrammerSession.h"
#include "app/core/SessionEventLoop.h"
#include "tests/soak/CountingStatusQueue.h"
#include "tests/soak/SoakView.h"
#include "tests/support/RecordingMessageSink.h"

// One program run as the CLI drives it: a session on a quiet window, its
// event queue and the loop that feeds it, with the backend opened the way
// the caller says. Every event handled is counted, so that none can be lost
// unnoticed.
class CSessionBench {
public:
    struct Config {
        SettingsRecord settings;
        std::string cataloguePath;
        std::string portPath;  // serial board: the simulator's line
        CProgrammerSession::BackendOpener opener;  // empty: the controller's own
        std::chrono::milliseconds stepTimeout{2000};
    };

    explicit CSessionBench(Config config);
    CSessionBench(const CSessionBench&) = delete;
    CSessionBench& operator=(const CSessionBench&) = delete;

    // Starts the session and waits for the backend's first answer; true
    // when it is usable (the serial board ready, the cable's port open).
    bool Connect();
    // Clicks Auto and follows the sequence to its end; true on success.
    bool RunAuto();
    // Handles what is still due after a sequence ended (a ready report that
    // follows a failed write) until idle() holds with the queue empty, or no
    // event came for quiet.
    void Settle(const std::function<bool()>& idle, std::chrono::milliseconds quiet);

    // Every event posted so far has been handled.
    bool AllEventsHandled() const;
    long Handled() const { return m_nHandled; }
    long Posted() const { return m_queue.Posted(); }

    CProgrammerSession& Session() { return m_session; }
    CSoakView& View() { return m_view; }
    CRecordingMessageSink& Messages() { return m_messages; }

private:
    void Handle(const StatusEvent& event);

    Config m_config;
    CSoakView m_view;
    CCountingStatusQueue m_queue;
    CRecordingMessageSink m_messages;
    CProgrammerSession m_session;
    CSessionEventLoop m_loop;
    long m_nHandled = 0;
    bool m_bParallelReady = false;
};
