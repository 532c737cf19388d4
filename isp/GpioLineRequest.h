#pragma once

// The four programming lines of one GPIO chip, held from the request until
// this object goes: MOSI, SCK and RST as outputs, MISO as an input.
// Implemented by the kernel's GPIO character device (through libgpiod) and
// by the simulated chip.
class IGpioLineRequest {
public:
    enum Line { kMosi, kSck, kRst, kMiso };

    virtual ~IGpioLineRequest() = default;
    // Drives an output line; 0, or the system's error number when the chip
    // refused.
    virtual int Set(Line line, int level) = 0;
    // An input line's level, 0 or 1; a negative error number when it could
    // not be read.
    virtual int Get(Line line) = 0;
};
