#pragma once

#include <cstdint>

class CSimIspTarget;

// The target's four programming pins wired to numbered host lines (GPIO
// line offsets, FTDI bit numbers), as on a bench: each pin sits on one line
// or on none. A pin whose line the host does not drive floats to the level
// the chip gives it: RST low (its pull-down), MOSI and SCK high (port 1's
// pull-ups). The host reads its own level on a line it drives, MISO on the
// MISO pin's line, the pins' floating levels on theirs, and on a line with
// nothing on it whatever its own pull gives (idleHigh).
class CSimTargetSocket {
public:
    struct Pins {
        int mosi = -1;
        int miso = -1;
        int sck = -1;
        int rst = -1;
    };

    CSimTargetSocket(CSimIspTarget& target, Pins pins, bool idleHigh);

    // The host now drives the lines set in driven at the levels in levels
    // (bit n is line n; lines 0 to 63).
    void Drive(std::uint64_t driven, std::uint64_t levels);
    // The level the host reads on line, given what it drives.
    bool Sense(int line) const;
    // Lines 0 to 7 at once, bit n for line n.
    std::uint8_t SenseByte() const;

    const Pins& Wiring() const { return m_pins; }
    // Whether the host drives line.
    bool Driven(int line) const;

private:
    // The level at a chip input sitting on line, floating to floatLevel.
    bool InputLevel(int line, bool floatLevel) const;

    CSimIspTarget& m_target;
    const Pins m_pins;
    const bool m_bIdleHigh;
    std::uint64_t m_driven = 0;
    std::uint64_t m_levels = 0;
};
