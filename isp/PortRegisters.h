#pragma once

#include <cstdint>

class IIspClock;

// The three registers of one parallel port, reached by offset from its base:
// 0 data, 1 status (read only), 2 control. Implemented by the kernel's
// parallel-port driver, direct port I/O and the simulated cable.
class IPortRegisters {
public:
    static constexpr int kData = 0;
    static constexpr int kStatus = 1;
    static constexpr int kControl = 2;

    virtual ~IPortRegisters() = default;
    virtual std::uint8_t Read(int offset) = 0;
    virtual void Write(int offset, std::uint8_t value) = 0;
    // The clock the far end keeps time by, when it is not the system's (a
    // simulated cable); nullptr: the system's.
    virtual IIspClock* Clock() { return nullptr; }
};
