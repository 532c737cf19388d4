#pragma once

#include "isp/IspClock.h"

// The system's monotonic clock. A wait sleeps only while the kernel can be
// trusted to wake the thread in time and spins the rest, so that short
// waits (an SCK phase, a byte's write cycle) neither overshoot by a
// scheduler tick nor end early.
class CSteadyIspClock : public IIspClock {
public:
    // Waits shorter than this are spun: a sleep may overshoot by about as
    // much (timer slack and wake-up latency).
    static constexpr std::chrono::microseconds kSpinBelow{200};

    std::chrono::nanoseconds Now() const override;
    void WaitUntil(std::chrono::nanoseconds deadline) override;
};
