#pragma once

#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>

#include "programmer/StatusQueue.h"
#include "programmer/StatusSink.h"

class QEvent;

// Carries the controller's reports from any thread onto the thread this
// object lives on (the window's); the handler sees them there one at a
// time, in the order they were made. They wait in a coalescing queue, as
// the command line's do: a burst of progress reports becomes one report
// each time the window has handled the one before (at most one every
// CStatusQueue::kProgressInterval), and the session reads the position
// when it handles it, so the bar always shows the latest. The window's
// thread is woken once per batch of ready events and once per progress
// report it handles, not once per report posted.
class CQtStatusSink : public QObject, public IStatusSink {
    Q_OBJECT

public:
    explicit CQtStatusSink(QObject* parent = nullptr);
    ~CQtStatusSink() override;

    // Called on this object's thread for every event. Without a handler,
    // events are dropped.
    void SetHandler(std::function<void(const StatusEvent&)> handler);

    // Any thread; never waits.
    void PostStatus(int code) override;
    void SelectDeviceEntry(int index) override;

    // Events posted but not handled yet, a held progress report included.
    int Pending() const { return int(m_queue.Size()); }
    // How often this object's thread was woken for the queue.
    int Wakeups() const { return m_nWakeups; }

protected:
    void customEvent(QEvent* event) override;

private:
    // On the posting thread.
    void OnPosted(CStatusQueue::Posted posted);
    void PostWakeup();
    // On this object's thread.
    void OnProgressDue();
    void TakeReady();
    // Handles what is ready; true when a progress report was among it.
    bool HandleReady();
    // Arms the timer for a held progress report, or for one expected to be
    // held by the end of the interval; stops it otherwise.
    void WatchHeldProgress(bool expectMore);

    std::function<void(const StatusEvent&)> m_handler;
    CStatusQueue m_queue;
    // A wake-up event is on its way.
    std::atomic<bool> m_bWakeupPosted{false};
    // The timer is armed for the next held progress report: one held
    // meanwhile needs no wake-up of its own.
    std::atomic<bool> m_bProgressWatched{false};
    QTimer m_progressTimer;
    int m_nWakeups = 0;
};
