#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "isp/FtdiRate.h"

class IIspClock;

// One FTDI chip in synchronous bit-bang mode: every byte written drives the
// output lines among D0..D7 for one clock, and the chip samples all eight
// lines once per byte, just before the byte takes effect; the samples come
// back in order. Implemented by libftdi on a real chip and by the simulated
// cable.
//
// Bytes move in exchanges: a USB write and the read of as many samples.
// Several exchanges may be in flight, so that the USB's latency passes while
// the chip clocks the bytes it already holds; they are collected in the
// order they were submitted. The chip only clocks a byte when it has room
// for its sample, so bytes in flight are never lost, only held.
class IFtdiBitBang {
public:
    virtual ~IFtdiBitBang() = default;
    // Starts one exchange of size bytes (copied) without waiting for it.
    // false on failure (see Error).
    virtual bool Submit(const std::uint8_t* data, int size) = 0;
    // Waits for the oldest exchange not yet collected and copies its size
    // samples into samples, in order. false when it failed or its samples
    // had not all come back within timeout; every exchange in flight is
    // dropped then and the cable is not to be trusted again.
    virtual bool Collect(std::uint8_t* samples, int size, std::chrono::milliseconds timeout) = 0;
    // Makes the lines in mask (bit n: Dn) the outputs, the others inputs;
    // an output drives the level the last byte clocked left for it. A
    // control request, which the chip obeys when it arrives, not in turn
    // with the bytes it holds: only when nothing is in flight. false on
    // failure (see Error).
    virtual bool SetOutputs(std::uint8_t mask) = 0;
    // The last failure, with the device named.
    virtual std::string Error() const = 0;
    // The chip's family and the rate it was set to (see FtdiRate).
    virtual FtdiChipKind Kind() const = 0;
    virtual int Baud() const = 0;
    // The clock the lines' far end keeps time by when it is not the
    // system's (a simulated cable); nullptr: the system's.
    virtual IIspClock* Clock() { return nullptr; }
};
