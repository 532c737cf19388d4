#pragma once

#include <atomic>
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
// the byte's levels; the samples wait in a 256-byte receive buffer until a
// read takes them, and a write that would overfill it stalls and fails, as
// on an FT232R. Lines with nothing on them read high (the chip's pull-ups).
//
// Every write or read is one USB transfer. A round trip takes at least a
// millisecond, longer than the part's self-timed byte write (64 clocks +
// 400 us), so a write in progress has finished when the next write arrives.
//
// Driven from one thread at a time; the counters may be read from another.
class CSimFtdiRig : public IFtdiBitBang {
public:
    static constexpr std::size_t kReceiveBuffer = 256;

    struct Identity {
        int vendor = 0x0403;
        int product = 0x6001;
        std::string serial = "TL000001";
        // Its USB device node is not open to the user.
        bool accessDenied = false;
    };
    // Where the simulated chip sits on the USB.
    static constexpr const char* kUsbPath = "/dev/bus/usb/001/004";

    // board: on which of D0..D7 the target's pins really sit.
    CSimFtdiRig(SimChipType chip, const FtdiWiring& board, Identity identity);

    // What opening the cable would find: true when address names this chip
    // (its outputs then are outputMask, all low); otherwise false with the
    // reason.
    bool Open(const FtdiAddress& address, std::uint8_t outputMask, LinesOpenFailure& failure);

    bool Write(const std::uint8_t* data, int size) override;
    int Read(std::uint8_t* data, int size) override;
    std::string Error() const override { return m_strError; }

    CSimChip& Chip() { return m_board.Chip(); }
    CSimIspTarget& Target() { return m_board.Target(); }
    CSimTargetBoard& Board() { return m_board; }

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
    CSimTargetBoard m_board;
    CSimTargetSocket m_socket;
    std::string m_strName;
    std::uint8_t m_byMask = 0;
    std::deque<std::uint8_t> m_received;
    std::string m_strError;
    std::atomic<bool> m_bUnplugged{false};
    std::atomic<std::uint64_t> m_nTransfers{0};
    std::atomic<std::uint64_t> m_nBytes{0};
};
