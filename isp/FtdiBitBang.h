#pragma once

#include <cstdint>
#include <string>

#include "isp/FtdiRate.h"

class IIspClock;

// One FTDI chip in synchronous bit-bang mode: every byte written drives the
// output lines among D0..D7 for one clock, and the chip samples all eight
// lines once per byte, just before the byte takes effect; the samples come
// back in order. Implemented by libftdi on a real chip and by the simulated
// cable.
class IFtdiBitBang {
public:
    virtual ~IFtdiBitBang() = default;
    // One USB write of size bytes; false on failure (see Error).
    virtual bool Write(const std::uint8_t* data, int size) = 0;
    // One USB read: up to size samples, fewer (0 included) when fewer have
    // arrived; -1 on failure.
    virtual int Read(std::uint8_t* data, int size) = 0;
    // The last failure, with the device named.
    virtual std::string Error() const = 0;
    // The chip's family and the rate it was set to (see FtdiRate).
    virtual FtdiChipKind Kind() const = 0;
    virtual int Baud() const = 0;
    // The clock the lines' far end keeps time by when it is not the
    // system's (a simulated cable); nullptr: the system's.
    virtual IIspClock* Clock() { return nullptr; }
};
