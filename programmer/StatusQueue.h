#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "programmer/StatusSink.h"

// A thread-safe FIFO of status events: the sink of the CLI and the tests.
struct StatusEvent {
    enum class Kind { Status, SelectDevice };
    Kind kind = Kind::Status;
    int value = 0;  // the code, or the device index
};

class CStatusQueue : public IStatusSink {
public:
    void PostStatus(int code) override;
    void SelectDeviceEntry(int index) override;

    // The oldest event, waiting up to timeout for one; nullopt on time-out.
    std::optional<StatusEvent> Wait(std::chrono::milliseconds timeout);
    std::optional<StatusEvent> TryPop();
    std::size_t Size() const;

private:
    void Push(StatusEvent event);

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<StatusEvent> m_events;
};
