#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// FTDI chips on the USB as the link-time fake of libftdi1 (and of the few
// libusb calls beside it) shows them, by the chip's and the library's
// documented behaviour: in synchronous bit-bang mode every byte written is
// one clock that samples all eight pins, then drives the outputs; a pin not
// set as an output reads what the circuit outside gives it (the chip's
// pull-ups: high); the mode, the direction mask, the output latch and the
// baud-rate generator stay in the chip when the host closes it; libftdi
// multiplies a rate by 4 only while its context is in bit-bang mode.
//
// Bytes written go into the chip's transmit buffer as it has room (128
// bytes on an FT232R, 1 KB on an FT232H; the host's transfer waits
// meanwhile), and in synchronous bit-bang it clocks one only while its
// receive buffer (256 bytes, 1 KB) has room for the sample. Asynchronous
// transfers (libftdi's submit calls) move only while the host handles USB
// events; libftdi reads into one buffer of its context, so a second read
// submitted before the first is done, or a wait on a transfer that can
// never finish (libftdi would wait for ever), is recorded as misuse.
struct FakeFtdiChip {
    static constexpr int kBitBangScale = 4;

    int vendor = 0x0403;
    int product = 0x6001;
    std::string serial = "A50285BI";
    // Where it sits on the USB: /dev/bus/usb/250/017, a node no test
    // machine has.
    int bus = 250;
    int address = 17;
    bool claimed = false;  // another program holds the interface
    bool bitBang = true;   // the chip has synchronous bit-bang mode
    bool highSpeed = false;  // an FT232H rather than an FT232R

    // The chip's own state.
    bool open = false;
    unsigned char mode = 0;  // BITMODE_RESET: a UART
    std::uint8_t outputs = 0;
    std::uint8_t latch = 0;
    int baudGenerator = 9600;
    std::deque<std::uint8_t> held;     // transmit buffer: bytes not yet clocked
    std::deque<std::uint8_t> samples;  // receive buffer: samples not yet read
    // Pulled out: every transfer fails. Frozen: it clocks nothing.
    bool gone = false;
    bool frozen = false;
    // Bytes it has clocked since it was plugged in.
    long clocked = 0;
    // What the host did that libftdi's rules forbid.
    std::vector<std::string> misuse;
    // The levels of the pins the chip does not drive, given those it does.
    std::function<std::uint8_t(std::uint8_t driven)> circuit;
    // The host's requests in order: "latency 1", "bitmode 15 4",
    // "baud 38400", "flush", "write 3", "close".
    std::vector<std::string> calls;

    std::uint8_t Pins() const;
    std::size_t TxBuffer() const { return highSpeed ? 1024 : 128; }
    std::size_t RxBuffer() const { return highSpeed ? 1024 : 256; }
    // Clocks what it holds while there is room for the samples.
    void Clock();
    // The position of the first call that starts with prefix; -1 for none.
    int CallAt(const std::string& prefix) const;
};

class CFakeFtdiBus {
public:
    static CFakeFtdiBus& Get();

    void Reset();
    FakeFtdiChip& Plug();

    std::vector<std::unique_ptr<FakeFtdiChip>> m_chips;
    // Contexts, device lists and transfers made and not yet freed.
    int m_nLive = 0;
    // Asynchronous transfers in flight on all chips.
    int m_nTransfers = 0;
};
