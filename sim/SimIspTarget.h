#pragma once

#include <array>
#include <atomic>
#include <cstdint>

class CSimChip;

// An AT89S51/52 in serial programming mode, driven by the levels at its RST,
// SCK and MOSI pins. RST high enables the serial interface; each SCK rising
// edge shifts one MOSI bit in, most significant bit first, and MISO moves to
// the next reply bit after the falling edge, so a host that sets MOSI while
// SCK is low and samples MISO after the rising edge talks to it correctly.
//
// Instructions are 4 bytes. Every reply byte echoes the byte received before
// it, except the fourth, which carries the instruction's answer. Nothing but
// programming enable (0xAC 0x53) is obeyed until programming enable was
// received; RST low leaves serial mode and restarts the frame.
//
// A byte write is self-timed: the next kWritePolls reads of that address
// return old data with bit 7 the complement of the written bit 7, as data
// polling does, before the byte reads back as written.
//
// Driven from one thread at a time; the counters may be read from another.
class CSimIspTarget {
public:
    static constexpr int kWritePolls = 3;
    static constexpr std::uint8_t kEnableAnswer = 0x69;

    explicit CSimIspTarget(CSimChip& chip);

    CSimChip& Chip() { return m_chip; }

    // The levels at the chip's input pins now; called after every change.
    void SetLines(bool rst, bool sck, bool mosi);
    // The level the chip drives on MISO: high (the port pin's pull-up) out of
    // serial mode.
    bool Miso() const
    {
        return !m_bSerialMode || ((m_byOut >> (7 - m_nOutBit)) & 1) != 0;
    }

    // Time enough for a self-timed byte write to finish has passed (a
    // host whose every exchange takes longer than the write cycle).
    void CompleteWrite() { FinishWrite(); }

    bool InSerialMode() const { return m_bSerialMode; }
    bool ProgrammingEnabled() const { return m_bEnabled.load(std::memory_order_relaxed); }
    // Complete 4-byte instructions received in serial mode, obeyed or not.
    std::uint64_t Frames() const { return m_nFrames.load(std::memory_order_relaxed); }
    // The last complete instruction received.
    std::array<std::uint8_t, 4> LastFrame() const;

private:
    void EnterSerialMode();
    void LeaveSerialMode();
    void RisingEdge(bool mosi);
    void FallingEdge();
    std::uint8_t FourthByteReply();
    void Execute();
    std::uint32_t Address() const;
    std::uint8_t ReadMemory(std::uint32_t address);
    void FinishWrite();

    CSimChip& m_chip;

    bool m_bRst = false;
    bool m_bSck = false;
    bool m_bSerialMode = false;

    // Shift state of the current instruction.
    std::array<std::uint8_t, 4> m_frame{};
    int m_nByte = 0;
    int m_nBit = 0;
    std::uint8_t m_byIn = 0;
    // Reply: the byte being shifted out, its next bit, and the byte after it.
    std::uint8_t m_byOut = 0;
    std::uint8_t m_byNextOut = 0;
    int m_nOutBit = 0;
    bool m_bShiftPending = false;

    // The self-timed write still in progress.
    bool m_bWriting = false;
    std::uint32_t m_nWriteAddress = 0;
    std::uint8_t m_byWriteValue = 0;
    int m_nPollsLeft = 0;

    std::atomic<bool> m_bEnabled{false};
    std::atomic<std::uint64_t> m_nFrames{0};
    std::atomic<std::uint32_t> m_nLastFrame{0};
};
