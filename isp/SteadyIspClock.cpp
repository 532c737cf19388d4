#include "isp/SteadyIspClock.h"

#include <thread>

std::chrono::nanoseconds CSteadyIspClock::Now() const
{
    return std::chrono::steady_clock::now().time_since_epoch();
}

void CSteadyIspClock::WaitUntil(std::chrono::nanoseconds deadline)
{
    for (;;) {
        const std::chrono::nanoseconds left = deadline - Now();
        if (left <= std::chrono::nanoseconds::zero())
            return;
        if (left > kSpinBelow)
            std::this_thread::sleep_for(left - kSpinBelow);
    }
}
