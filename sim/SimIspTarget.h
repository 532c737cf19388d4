#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

class CSimChip;
class CSimClock;

// An AT89S51/52 in serial programming mode, driven by the levels at its RST,
// SCK and MOSI pins and keeping the datasheet's time on a model clock. RST
// high enables the serial interface; each SCK rising edge samples one MOSI
// bit, most significant bit first, and MISO moves to the next reply bit
// after the falling edge, so a host that sets MOSI while SCK is low and
// samples MISO after the rising edge talks to it correctly.
//
// Timing, from the crystal frequency:
// - SCK high and low must each last at least kSckPhasePeriods crystal
//   periods; a bit clocked with a shorter phase is taken inverted, as
//   silicon reads it wrong, so a too fast host garbles every instruction.
// - A byte write keeps the chip busy for 64 periods + 400 us from the end
//   of its instruction. Meanwhile a read of that byte gives the complement
//   of the written bit 7 (data polling) and a write, erase or lock
//   instruction ending then is lost.
// - Page-mode write (0x50) is busy for kPageWriteCycle, polled the same way
//   on any byte of its page; chip erase for kEraseTime, during which every
//   instruction is lost.
//
// Instructions are 4 bytes, page-mode read (0x30) and write (0x50) 258: the
// instruction, the address's high byte and 256 data bytes. Every reply byte
// echoes the byte received before it, except the fourth of a 4-byte
// instruction, which carries its answer (0x69 for programming enable, the
// byte read, the signature byte, the lock bits as xxx LB3 LB2 LB1 xx with 1
// for a programmed bit), and the data of a page-mode read. Nothing but
// programming enable (0xAC 0x53) is obeyed until programming enable was
// received; RST low leaves serial mode and restarts the frame, and MISO
// then floats high.
//
// Driven from one thread at a time; the counters may be read from another.
class CSimIspTarget {
public:
    static constexpr std::uint8_t kEnableAnswer = 0x69;
    static constexpr double kDefaultCrystalHz = 12e6;
    static constexpr int kSckPhasePeriods = 8;
    static constexpr int kWriteCyclePeriods = 64;
    static constexpr std::chrono::microseconds kWriteCycleFixed{400};
    // The datasheet leaves page-write and erase times open; these stand
    // for them (bench/README.md names them as unconfirmed).
    static constexpr std::chrono::microseconds kPageWriteCycle{2000};
    static constexpr std::chrono::milliseconds kEraseTime{500};
    static constexpr int kPageSize = 256;

    enum class MisoFault { None, StuckHigh, StuckLow };

    CSimIspTarget(CSimChip& chip, CSimClock& clock);

    CSimChip& Chip() { return m_chip; }
    CSimClock& Clock() { return m_clock; }

    // The crystal the chip really runs on.
    void SetCrystalHz(double hz);
    double CrystalHz() const { return m_dCrystalHz; }
    std::chrono::nanoseconds MinSckPhase() const;
    std::chrono::nanoseconds ByteWriteCycle() const;

    // The levels at the chip's input pins as of the model clock's now;
    // called after every change.
    void SetLines(bool rst, bool sck, bool mosi);
    // The level on MISO: the chip's output, high (the port pin's pull-up)
    // out of serial mode; a fault forces it.
    bool Miso() const;
    void SetMisoFault(MisoFault fault) { m_fault.store(fault, std::memory_order_relaxed); }

    // One byte in SPI mode 0 for a layer that moves whole bytes (an SPI
    // controller): from SCK low, per bit MOSI, low for `low`, SCK high,
    // MISO sampled, high for `high`, SCK low; RST as it is. Advances the
    // clock by 8 x (low + high) and returns the byte sampled.
    std::uint8_t ClockByte(std::uint8_t mosi, std::chrono::nanoseconds low,
                           std::chrono::nanoseconds high);

    bool InSerialMode() const { return m_bSerialMode; }
    bool ProgrammingEnabled() const { return m_bEnabled.load(std::memory_order_relaxed); }
    // Complete instructions received in serial mode, obeyed or not.
    std::uint64_t Frames() const { return m_nFrames.load(std::memory_order_relaxed); }
    // The first four bytes of the last complete instruction received.
    std::array<std::uint8_t, 4> LastFrame() const;
    // Instructions lost because they ended while the chip was busy, and
    // bits taken wrong because an SCK phase was too short.
    std::uint64_t LostInstructions() const { return m_nLost.load(std::memory_order_relaxed); }
    std::uint64_t ShortPhases() const { return m_nShortPhases.load(std::memory_order_relaxed); }

private:
    enum class Busy { None, ByteWrite, PageWrite, Erase };

    void EnterSerialMode();
    void LeaveSerialMode();
    void RisingEdge(bool mosi);
    void FallingEdge();
    void ByteReceived(std::uint8_t byte);
    std::uint8_t FourthByteReply();
    void Execute();
    bool IsBusy() const;
    void StartBusy(Busy kind, std::chrono::nanoseconds duration);
    std::uint32_t Address() const;
    std::uint32_t PageBase() const;
    std::uint8_t ReadMemory(std::uint32_t address) const;
    bool IsPageInstruction() const;
    std::chrono::nanoseconds Period() const;
    static void Bump(std::atomic<std::uint64_t>& counter)
    {
        counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }

    CSimChip& m_chip;
    CSimClock& m_clock;
    double m_dCrystalHz = kDefaultCrystalHz;

    bool m_bRst = false;
    bool m_bSck = false;
    bool m_bSerialMode = false;
    // When SCK (or RST) last changed, and whether the bit taken at the last
    // rising edge is already wrong for a short low phase.
    std::chrono::nanoseconds m_tLastEdge{0};
    bool m_bInBit = false;
    bool m_bInBitBad = false;

    // Shift state of the current instruction.
    std::array<std::uint8_t, 4> m_frame{};
    std::vector<std::uint8_t> m_page;  // a page-mode write's data
    int m_nByte = 0;
    int m_nBit = 0;
    std::uint8_t m_byIn = 0;
    // Reply: the byte being shifted out, its next bit, and the byte after it.
    std::uint8_t m_byOut = 0;
    std::uint8_t m_byNextOut = 0;
    int m_nOutBit = 0;
    bool m_bShiftPending = false;

    // The self-timed operation under way.
    Busy m_busy = Busy::None;
    std::chrono::nanoseconds m_tBusyUntil{0};
    std::uint32_t m_nWriteAddress = 0;  // byte write: the byte; page write: the page
    std::uint8_t m_byWriteValue = 0;
    std::vector<std::uint8_t> m_writtenPage;  // what a page write is programming

    std::atomic<MisoFault> m_fault{MisoFault::None};
    std::atomic<bool> m_bEnabled{false};
    std::atomic<std::uint64_t> m_nFrames{0};
    std::atomic<std::uint32_t> m_nLastFrame{0};
    std::atomic<std::uint64_t> m_nLost{0};
    std::atomic<std::uint64_t> m_nShortPhases{0};
};
