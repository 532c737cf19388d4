#pragma once

#include <chrono>

// Models the time a serial line takes: 10 bit times per byte (start, 8 data,
// stop) at the baud rate, separately for each direction. Deadlines are kept
// as absolute times derived from the previous byte, never from "now", so a
// late wake-up is made up by the next byte instead of adding up over a
// transfer. Unpaced, every byte takes no time.
class CLinePacer {
public:
    using Clock = std::chrono::steady_clock;

    CLinePacer(int baud, bool paced);

    bool IsPaced() const { return m_bPaced; }
    Clock::duration ByteTime() const { return m_byteTime; }

    // A byte taken from the line at readAt: returns when its stop bit has
    // arrived. Back-to-back bytes arrive one byte time apart.
    Clock::time_point Receive(Clock::time_point readAt);
    // A byte ready to go out at readyAt: returns when its stop bit has left,
    // after the bytes already sent.
    Clock::time_point Transmit(Clock::time_point readyAt);

private:
    bool m_bPaced;
    Clock::duration m_byteTime;
    Clock::time_point m_rxLineFree;
    Clock::time_point m_txLineFree;
};
