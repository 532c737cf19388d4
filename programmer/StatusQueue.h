#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "programmer/StatusSink.h"

// A thread-safe FIFO of status events: the sink of the CLI and the tests.
struct StatusEvent {
    enum class Kind { Status, SelectDevice };
    Kind kind = Kind::Status;
    int value = 0;  // the code, or the device index

    // Write or read progress: the position is read when it is handled.
    bool IsProgress() const;
};

class CStatusQueue : public IStatusSink {
public:
    // How the progress reports (write and read progress) travel.
    // EveryEvent: each one as posted. Coalesced: one is queued only when the
    // one before has been taken and kProgressInterval has passed since it
    // went out; one posted sooner is held (the latest only) until that time,
    // or until any other event is posted, which it then precedes. A consumer
    // that reads the position when it takes the event therefore always
    // shows the latest, and no other event is ever delayed or reordered.
    enum class Progress { EveryEvent, Coalesced };
    static constexpr std::chrono::milliseconds kProgressInterval{16};

    using Clock = std::chrono::steady_clock;

    // For a consumer that does not block in Wait (an event loop): told on
    // the posting thread, after the queue's lock is released, when a post
    // left an event ready to be taken (Ready), or held a progress report
    // where none was held (Held: it is due at NextProgressAt). Posts that
    // change neither (a report folded into one already queued or held) do
    // not call it.
    enum class Posted { Ready, Held };
    using Listener = std::function<void(Posted)>;

    explicit CStatusQueue(Progress progress = Progress::EveryEvent, Listener listener = {});

    void PostStatus(int code) override;
    void SelectDeviceEntry(int index) override;

    // The oldest event, waiting up to timeout for one; nullopt on time-out.
    std::optional<StatusEvent> Wait(std::chrono::milliseconds timeout);
    std::optional<StatusEvent> TryPop();
    // Events to be taken, a held progress report included.
    std::size_t Size() const;
    bool HoldsProgress() const;
    // When a held progress report goes out; set each time one goes out.
    Clock::time_point NextProgressAt() const;

private:
    void Notify(Posted posted);
    void Push(StatusEvent event);
    void PostProgress(int code);
    std::optional<StatusEvent> PopLocked();
    // Queues the held progress report, if any, as the next event.
    void ReleaseHeldLocked(Clock::time_point now);

    const Progress m_progress;
    const Listener m_listener;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<StatusEvent> m_events;
    int m_nQueuedProgress = 0;  // coalesced progress reports in m_events
    std::optional<int> m_heldProgress;
    Clock::time_point m_nextProgressAt{};
};
