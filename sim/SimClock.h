#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "isp/IspClock.h"

// Model time of a simulated bench: it passes only when a fake layer says an
// operation took time (a line set, a USB exchange, a register access, an
// SPI transfer) or a host waits. Waiting costs no real time, so a simulated
// erase of half a second is instant, yet the chip sees the half second.
//
// Driven from one thread at a time; Now may be read from any.
class CSimClock : public IIspClock {
public:
    std::chrono::nanoseconds Now() const override
    {
        return std::chrono::nanoseconds(m_nNow.load(std::memory_order_relaxed));
    }
    // Waiting is letting the model time reach the deadline.
    void WaitUntil(std::chrono::nanoseconds deadline) override { AdvanceTo(deadline); }

    void Advance(std::chrono::nanoseconds duration)
    {
        if (duration > std::chrono::nanoseconds::zero())
            m_nNow.store(m_nNow.load(std::memory_order_relaxed) + duration.count(),
                         std::memory_order_relaxed);
    }
    // Never backwards.
    void AdvanceTo(std::chrono::nanoseconds time) { Advance(time - Now()); }

private:
    std::atomic<std::int64_t> m_nNow{0};
};
