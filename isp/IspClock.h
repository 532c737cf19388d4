#pragma once

#include <chrono>

// The time a line layer keeps: a monotonic clock it pads SCK phases and
// waits by. On the bench it is the system's; under a simulator it is the
// simulated chip's, so that every wait and every line change costs model
// time instead of real time.
class IIspClock {
public:
    virtual ~IIspClock() = default;
    // Monotonic time since an arbitrary start.
    virtual std::chrono::nanoseconds Now() const = 0;
    // Returns once Now() has reached deadline (at once when it has).
    virtual void WaitUntil(std::chrono::nanoseconds deadline) = 0;
};
