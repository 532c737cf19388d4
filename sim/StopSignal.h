#pragma once

#include <atomic>
#include <chrono>

#include "programmer/UniqueFd.h"

// A one-way "stop now" flag that a thread can also sleep on: Raise() wakes
// SleepUntil() at once, and Fd() can join a poll() set. Asking whether it is
// raised costs no system call.
class CStopSignal {
public:
    CStopSignal();

    bool IsValid() const { return m_event.IsValid(); }
    int Fd() const { return m_event.Get(); }
    void Raise();
    bool IsRaised() const;
    // Sleeps until the absolute deadline (to well under a millisecond);
    // false when the signal was raised first. The last spinTail of the wait
    // watches the clock instead of sleeping: a timer wake-up may come tens of
    // microseconds late, a good part of a byte time at serial speeds.
    bool SleepUntil(std::chrono::steady_clock::time_point deadline,
                    std::chrono::nanoseconds spinTail = std::chrono::nanoseconds::zero()) const;

private:
    CUniqueFd m_event;
    std::atomic<bool> m_bRaised {false};
};
