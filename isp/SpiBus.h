#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class IIspClock;

// One SPI device as the programming lines use it: full-duplex transfers in
// mode 0 (SCK idles low, data taken on the rising edge), 8 bits a word, most
// significant bit first, at one clock. Implemented by the kernel's spidev
// driver and by the simulated bench.
class ISpiBus {
public:
    virtual ~ISpiBus() = default;
    // Shifts size bytes of tx out and as many into rx, as one message (one
    // system call); false on failure (see Error).
    virtual bool Transfer(const std::uint8_t* tx, std::uint8_t* rx, std::size_t size) = 0;
    // The clock asked for, in Hz; the controller runs at it or below.
    virtual std::uint32_t ClockHz() const = 0;
    // The last failure, with the device named; the system's error number
    // in ErrorNumber.
    virtual std::string Error() const = 0;
    virtual int ErrorNumber() const = 0;
    // The clock the far end keeps time by when it is not the system's (a
    // simulated chip); nullptr: the system's. The controller does nothing
    // between transfers, so the lines wait on it.
    virtual IIspClock* Clock() { return nullptr; }
};
