#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "isp/FtdiAddress.h"
#include "isp/FtdiBitBang.h"
#include "isp/FtdiWiring.h"
#include "sim/SimTargetBoard.h"
#include "sim/SimTargetSocket.h"

// An FTDI chip in synchronous bit-bang mode with an AT89S51/52 on some of
// its eight lines: the fake FTDI layer under the FTDI backend. Each byte
// written is one clock: all eight lines are sampled, then the outputs take
// the byte's levels; the samples wait until a read takes them. Lines with
// nothing on them read high (the chip's pull-ups).
//
// Time on the chip's clock: the bytes of a write are clocked one line state
// per 1/FtdiRate::StatesPerSecond apart, at the rate the open chose for the
// chip's family; the first read after a write costs one USB round trip
// (Identity::latency, by default 1 ms on the full-speed FT232R, 125 us on
// a high-speed FT232H). At most kInFlight bytes may be written and not yet
// read: a write beyond that stalls the chip and fails.
//
// Driven from one thread at a time; the counters may be read from another.
class CSimFtdiRig : public IFtdiBitBang {
public:
    static constexpr std::size_t kInFlight = 128;
    static constexpr std::chrono::microseconds kFullSpeedLatency{1000};
    static constexpr std::chrono::microseconds kHighSpeedLatency{125};

    struct Identity {
        int vendor = 0x0403;
        int product = 0x6001;
        std::string serial = "TL000001";
        // Its USB device node is not open to the user.
        bool accessDenied = false;
        // One USB round trip; zero: the family's default.
        std::chrono::nanoseconds latency{0};
    };
    // Where the simulated chip sits on the USB.
    static constexpr const char* kUsbPath = "/dev/bus/usb/001/004";

    // board: on which of D0..D7 the target's pins really sit.
    CSimFtdiRig(SimChipType chip, const FtdiWiring& board, Identity identity);

    // What opening the cable would find: true when address names this chip
    // and the wiring's rate is safe for its crystal (its outputs then are
    // the wiring's, all low); otherwise false with the reason.
    bool Open(const FtdiAddress& address, const FtdiWiring& wiring, LinesOpenFailure& failure);

    bool Write(const std::uint8_t* data, int size) override;
    int Read(std::uint8_t* data, int size) override;
    std::string Error() const override { return m_strError; }
    FtdiChipKind Kind() const override { return m_kind; }
    int Baud() const override { return m_nBaud; }
    IIspClock* Clock() override { return &m_board.Clock(); }

    CSimChip& Chip() { return m_board.Chip(); }
    CSimIspTarget& Target() { return m_board.Target(); }
    CSimTargetBoard& Board() { return m_board; }
    std::chrono::nanoseconds Latency() const { return m_latency; }

    // USB transfers (writes and reads) and bytes written since the last reset.
    std::uint64_t Transfers() const { return m_nTransfers.load(std::memory_order_relaxed); }
    std::uint64_t BytesWritten() const { return m_nBytes.load(std::memory_order_relaxed); }
    void ResetCounters();
    // From now on every transfer fails, as with the cable pulled out.
    void Unplug() { m_bUnplugged = true; }

private:
    static void Add(std::atomic<std::uint64_t>& counter, std::uint64_t n)
    {
        counter.store(counter.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
    }

    const Identity m_identity;
    const FtdiChipKind m_kind;
    const std::chrono::nanoseconds m_latency;
    CSimTargetBoard m_board;
    CSimTargetSocket m_socket;
    std::string m_strName;
    std::uint8_t m_byMask = 0;
    int m_nBaud = 0;
    double m_dStateTime = 0;  // ns per line state
    std::deque<std::uint8_t> m_received;
    bool m_bRoundTripDue = false;
    std::string m_strError;
    std::atomic<bool> m_bUnplugged{false};
    std::atomic<std::uint64_t> m_nTransfers{0};
    std::atomic<std::uint64_t> m_nBytes{0};
};
