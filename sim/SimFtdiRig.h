#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "isp/FtdiAddress.h"
#include "isp/FtdiBitBang.h"
#include "isp/FtdiWiring.h"
#include "sim/SimTargetBoard.h"
#include "sim/SimTargetSocket.h"

// An FTDI chip in synchronous bit-bang mode with an AT89S51/52 on some of
// its eight lines: the fake FTDI layer under the FTDI backend. Each byte
// clocked samples all eight lines, then the outputs take the byte's levels.
// Lines with nothing on them read high (the chip's pull-ups).
//
// Time on the chip's clock, with the USB between host and chip:
// - An exchange's write reaches the chip half a round trip
//   (Identity::latency, by default 1 ms on the full-speed FT232R, 125 us on
//   a high-speed FT232H) after it was submitted, in bulk packets, each as
//   soon as the chip's transmit buffer has room for it.
// - The chip clocks a byte it holds one line state (1/FtdiRate::
//   StatesPerSecond at the rate the open chose) after the one before, but
//   only while its receive buffer has room for the sample: FTDI's
//   synchronous bit-bang sends nothing out that it could not read back.
// - Samples go back in packets while the oldest exchange's read is
//   submitted (one read at a time, as libftdi reads): a full packet at
//   once, a part one when its first sample has waited half a round trip
//   (the latency timer's part). A read's USB transfer ends when it holds
//   CLibFtdiBitBang::kReadChunk bytes of packets or one comes short; the
//   read is done at the end of the transfer that brought its last sample.
// - All packets share the bus, each taking its slot.
// - A change of the outputs (SetOutputs) is a control request: it reaches
//   the chip half a round trip after it was sent and takes effect at once,
//   for the bytes not clocked by then, whatever is still in flight; the
//   host has its answer a round trip after it sent it. The lines it lets
//   go float to what the target gives them.
// So USB latency passes while the chip clocks what it already holds, and
// the bus's capacity, not the latency, bounds a long stream. The host's
// waits (Clock()) let the same time pass for everything in flight.
//
// Driven from one thread at a time; the counters may be read from another.
class CSimFtdiRig : public IFtdiBitBang {
public:
    static constexpr std::chrono::microseconds kFullSpeedLatency{1000};
    static constexpr std::chrono::microseconds kHighSpeedLatency{125};
    // The chips' buffers (FTDI's datasheets): the FT232R's 128-byte
    // transmit and 256-byte receive buffer, the FT232H's 1 KB each.
    static constexpr std::size_t kTxBufferR = 128;
    static constexpr std::size_t kRxBufferR = 256;
    static constexpr std::size_t kBufferH = 1024;
    // USB 2.0 bulk transfers: at most 19 packets of 64 bytes a 1 ms frame at
    // full speed, 13 of 512 a 125 us microframe at high speed, 13 and 55
    // bytes of protocol overhead a packet; an FTDI chip's IN packet starts
    // with 2 status bytes.
    struct Bus {
        int packet;
        int perFrame;
        std::chrono::nanoseconds frame;
        int overhead;
    };
    static constexpr Bus kFullSpeed{64, 19, std::chrono::microseconds(1000), 13};
    static constexpr Bus kHighSpeed{512, 13, std::chrono::microseconds(125), 55};
    static constexpr int kStatusBytes = 2;

    struct Identity {
        int vendor = 0x0403;
        int product = 0x6001;
        std::string serial = "TL000001";
        // Its USB device node is not open to the user.
        bool accessDenied = false;
        // One USB round trip; zero: the family's default.
        std::chrono::nanoseconds latency{0};
        // How much faster than asked the chip's rate generator runs:
        // libftdi accepts a rate up to 5 % off (0.05).
        double rateError = 0;
    };
    // Where the simulated chip sits on the USB.
    static constexpr const char* kUsbPath = "/dev/bus/usb/001/004";

    // board: on which of D0..D7 the target's pins really sit.
    CSimFtdiRig(SimChipType chip, const FtdiWiring& board, Identity identity);

    // What opening the cable would find: true when address names this chip
    // and the wiring's rate is safe for its crystal (its outputs then are
    // the wiring's, all low); otherwise false with the reason.
    bool Open(const FtdiAddress& address, const FtdiWiring& wiring, LinesOpenFailure& failure);

    bool Submit(const std::uint8_t* data, int size) override;
    bool Collect(std::uint8_t* samples, int size, std::chrono::milliseconds timeout) override;
    bool SetOutputs(std::uint8_t mask) override;
    std::string Error() const override { return m_strError; }
    FtdiChipKind Kind() const override { return m_kind; }
    int Baud() const override { return m_nBaud; }
    IIspClock* Clock() override { return &m_hostClock; }

    CSimChip& Chip() { return m_board.Chip(); }
    CSimIspTarget& Target() { return m_board.Target(); }
    CSimTargetBoard& Board() { return m_board; }
    // What reaches the target's pins.
    const CSimTargetSocket& Socket() const { return m_socket; }
    std::chrono::nanoseconds Latency() const { return m_latency; }
    const Bus& UsbBus() const { return m_bus; }
    std::size_t TxBuffer() const { return m_kind == FtdiChipKind::FT232H ? kBufferH : kTxBufferR; }
    std::size_t RxBuffer() const { return m_kind == FtdiChipKind::FT232H ? kBufferH : kRxBufferR; }
    // The bus time of one packet of payload bytes.
    std::chrono::nanoseconds PacketTime(int payload) const;

    // USB transfers (writes, reads and control requests) and bytes written
    // since the last reset.
    std::uint64_t Transfers() const { return m_nTransfers.load(std::memory_order_relaxed); }
    std::uint64_t BytesWritten() const { return m_nBytes.load(std::memory_order_relaxed); }
    // Clocking held up by a full receive buffer, and the most bytes the
    // chip has held (sent, not yet clocked) since the last reset.
    std::uint64_t Stalls() const { return m_nStalls.load(std::memory_order_relaxed); }
    std::size_t MostHeld() const { return m_nMostHeld.load(std::memory_order_relaxed); }
    void ResetCounters();
    // From now on every transfer fails, as with the cable pulled out.
    void Unplug() { m_bUnplugged = true; }
    // The same once the chip has clocked this many more bytes: pulled out
    // with exchanges in flight.
    void UnplugAfter(std::uint64_t bytes) { m_nUnplugAfter = bytes; }

private:
    // The host's clock: a wait lets everything in flight happen meanwhile.
    class HostClock : public IIspClock {
    public:
        explicit HostClock(CSimFtdiRig& rig) : m_rig(rig) {}
        std::chrono::nanoseconds Now() const override;
        void WaitUntil(std::chrono::nanoseconds deadline) override { m_rig.RunUntil(deadline); }

    private:
        CSimFtdiRig& m_rig;
    };
    // A byte on its way: held by the chip from `at`, or a sample taken then.
    struct Timed {
        std::uint8_t value;
        double at;  // ns on the model clock
    };
    // A first-in first-out queue of at most a chip buffer's bytes, without
    // the allocations a deque makes as it moves along.
    class Ring {
    public:
        explicit Ring(std::size_t capacity) : m_slots(capacity) {}
        bool empty() const { return m_nCount == 0; }
        std::size_t size() const { return m_nCount; }
        const Timed& operator[](std::size_t i) const { return m_slots[(m_nHead + i) % m_slots.size()]; }
        const Timed& front() const { return m_slots[m_nHead]; }
        void push_back(const Timed& item)
        {
            m_slots[(m_nHead + m_nCount++) % m_slots.size()] = item;
        }
        void pop_front()
        {
            m_nHead = (m_nHead + 1) % m_slots.size();
            --m_nCount;
        }
        void clear() { m_nHead = m_nCount = 0; }

    private:
        std::vector<Timed> m_slots;
        std::size_t m_nHead = 0;
        std::size_t m_nCount = 0;
    };
    struct Write {
        std::vector<std::uint8_t> bytes;
        std::size_t sent = 0;
        double ready = 0;  // when its first packet may reach the chip
    };

    static void Add(std::atomic<std::uint64_t>& counter, std::uint64_t n)
    {
        counter.store(counter.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
    }
    // Lets the next thing happen that can by limit (ns); false when none.
    bool Step(double limit);
    void ClockByte(double at);
    void SendPacket(double at);
    void ReturnPacket(double at);
    // Everything up to deadline happens; the model clock is then there.
    void RunUntil(std::chrono::nanoseconds deadline);
    // Submits the oldest exchange's read.
    void StartRead();
    bool Fail(const std::string& why);

    const Identity m_identity;
    const FtdiChipKind m_kind;
    const std::chrono::nanoseconds m_latency;
    const Bus m_bus;
    CSimTargetBoard m_board;
    CSimTargetSocket m_socket;
    HostClock m_hostClock{*this};
    std::string m_strName;
    std::uint8_t m_byMask = 0;   // the outputs
    std::uint8_t m_byLatch = 0;  // the levels of the last byte clocked
    int m_nBaud = 0;
    double m_dStateTime = 0;  // ns per line state, as the chip really runs

    std::deque<Write> m_writes;  // not yet all in the chip
    Ring m_tx{TxBuffer()};  // in the chip's transmit buffer
    Ring m_rx{RxBuffer()};  // samples in its receive buffer
    std::deque<std::uint8_t> m_read;  // samples the host has, not collected
    std::deque<int> m_exchanges;      // sizes in flight, oldest first
    bool m_bReading = false;          // the oldest's read is submitted
    double m_tReadDone = -1;          // when its last sample arrived; -1: not yet
    double m_tNow = 0;                // everything before it has happened
    double m_tNextState = 0;          // the chip's next clock, at the soonest
    double m_tBusFree = 0;
    double m_tLastReturn = 0;     // when the last IN packet arrived
    int m_nTransferPackets = 0;   // full packets in the read transfer so far
    bool m_bStalled = false;

    std::string m_strError;
    std::atomic<bool> m_bUnplugged{false};
    std::uint64_t m_nUnplugAfter = ~std::uint64_t(0);
    std::atomic<std::uint64_t> m_nTransfers{0};
    std::atomic<std::uint64_t> m_nBytes{0};
    std::atomic<std::uint64_t> m_nStalls{0};
    std::atomic<std::size_t> m_nMostHeld{0};
};
