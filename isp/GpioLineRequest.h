#pragma once

#include <string>
class IIspClock;

// The four programming lines of one GPIO chip, held from the request until
// this object goes: RST an output, MISO an input, MOSI and SCK outputs while
// the programmer drives them. Implemented by the kernel's GPIO character
// device (through libgpiod) and by the simulated chip.
class IGpioLineRequest {
public:
    enum Line { kMosi, kSck, kRst, kMiso };

    virtual ~IGpioLineRequest() = default;
    // Drives an output line; 0, or the system's error number when the chip
    // refused (EPERM for a line that is an input now).
    virtual int Set(Line line, int level) = 0;
    // An input line's level, 0 or 1; a negative error number when it could
    // not be read.
    virtual int Get(Line line) = 0;
    // on: MOSI and SCK become outputs, low. off: RST goes low and MOSI and
    // SCK become inputs, so that the target runs with its port pins free.
    // 0, or the system's error number. Lines that cannot change direction
    // stay outputs.
    virtual int SetDriving(bool on)
    {
        (void)on;
        return 0;
    }
    // The kernel's name of the chip the lines are on ("gpiochip4"), where
    // the request looked it up; empty when it is the wiring's own.
    virtual std::string ChipName() const { return {}; }
    // The clock the lines' far end keeps time by when it is not the
    // system's (a simulated chip); nullptr: the system's.
    virtual IIspClock* Clock() { return nullptr; }
};
