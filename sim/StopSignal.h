#pragma once

#include <chrono>

#include "programmer/UniqueFd.h"

// A one-way "stop now" flag that a thread can also sleep on: Raise() wakes
// SleepUntil() at once, and Fd() can join a poll() set.
class CStopSignal {
public:
    CStopSignal();

    bool IsValid() const { return m_event.IsValid(); }
    int Fd() const { return m_event.Get(); }
    void Raise();
    bool IsRaised() const;
    // Sleeps until the absolute deadline (to well under a millisecond);
    // false when the signal was raised first.
    bool SleepUntil(std::chrono::steady_clock::time_point deadline) const;

private:
    CUniqueFd m_event;
};
