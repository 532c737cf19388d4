#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "sim/BoardFaults.h"

class CSimChip;

// The programmer board's side of the serial protocol, without any I/O: bytes
// from the host go in, the answers the board would send come out.
//
// The host sends 18-byte frames [command, device code, 16 bytes]; the board
// answers each with an 18-byte reply whose byte 0 is the reply kind. Command 3
// opens write mode, where each data frame [7, code, 16 bytes] is programmed
// at 16 * n (n counting the blocks of this transfer) and answered with one
// byte, 1 or 0xFF; any other frame ends write mode and is handled as a
// command. Command 4 opens read mode, where single request bytes drive the
// transfer: 1 for the next block, 0xFF for the last one again, 0 to end it.
//
// Resynchronising: the host sends each frame in one go, so a partial frame
// that then stays silent for kFrameGap is dropped (it was a stray byte or
// the rest of a broken exchange). In read mode any byte other than 0, 1 and
// 0xFF cannot be a request, so it ends read mode and starts a frame.
class CBoardProtocol {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::size_t kFrameSize = 18;
    static constexpr std::size_t kBlockSize = 16;
    static constexpr std::uint8_t kUnknownReply = 0xEE;
    static constexpr Clock::duration kFrameGap = std::chrono::milliseconds(500);

    // One answer for the line, held in place: size may be 0 when a fault
    // swallowed the answer; block names the write or read block it belongs
    // to (-1: none).
    struct Reply {
        std::array<std::uint8_t, kFrameSize> bytes {};
        std::size_t size = 0;
        int block = -1;
    };
    // What one byte from the host brings: at most a stalled frame's answer
    // and the new frame's.
    struct Replies {
        std::array<Reply, 2> items;
        std::size_t count = 0;

        bool empty() const { return count == 0; }
        const Reply* begin() const { return items.data(); }
        const Reply* end() const { return items.data() + count; }
        Reply& Add() { return items[count++]; }
    };

    explicit CBoardProtocol(CSimChip& chip);

    void SetFaults(const BoardFaults& faults) { m_faults = faults; }
    // The board was unplugged and plugged in again: no transfer is open and
    // no partial frame is kept. The counters go on.
    void PowerUp();

    // The socket: with a probe set, the chip is in only while the probe says
    // so. An empty socket answers as a board with nothing in it does: the
    // signature reads ff ff ff, blocks read as 0xFF, data frames and lock
    // bits fail, an erase is reported done. A chip that goes in after the
    // socket was seen empty is a new one: blank and unlocked.
    void SetSocketProbe(std::function<bool()> probe) { m_socketProbe = std::move(probe); }

    // One byte from the host, taken off the line at 'now'.
    Replies Feed(std::uint8_t byte, Clock::time_point now);
    // Called when nothing arrived until NextDeadline().
    Replies OnIdle(Clock::time_point now);
    // When OnIdle() has something to do, if ever.
    std::optional<Clock::time_point> NextDeadline() const;

    // Counters for tests; read from any thread.
    int FramesReceived() const { return m_nFramesReceived; }
    int BlocksWritten() const { return m_nBlocksWritten; }
    int BlocksRead() const { return m_nBlocksRead; }
    int StopBytesSeen() const { return m_nStopBytesSeen; }

private:
    enum class Mode { Command, Write, Read };

    using Frame = std::array<std::uint8_t, kFrameSize>;

    // The frame gathered so far is complete: its answer, if any, into out.
    void HandleFrame(Replies& out);
    void HandleCommand(const Frame& frame, Reply& reply);
    void HandleDataFrame(const Frame& frame, Reply& reply);
    void HandleRequest(std::uint8_t request, Clock::time_point now, Replies& out);
    void ReadBlockReply(int block, Reply& reply);
    void DropStalledFrame(Replies& out);
    static void SetFrame(Reply& reply, std::uint8_t kind);
    bool ChipPresent();

    CSimChip& m_chip;
    BoardFaults m_faults;
    Mode m_mode = Mode::Command;

    Frame m_frame {};
    std::size_t m_nFrameLength = 0;
    Clock::time_point m_frameStartAt;
    Clock::time_point m_lastByteAt;

    int m_nWriteBlock = 0;   // next data frame's block within the write
    int m_nReadNext = 0;     // block a request 1 asks for
    int m_nReadLast = -1;    // block a repeat request asks for
    bool m_bReadLost = false;

    std::function<bool()> m_socketProbe;
    bool m_bSocketWasEmpty = false;

    // Set when a 0 ended read mode: if it was really the first byte of a
    // command-0 frame (the host sends no stop byte after a read of length 0),
    // its other 17 bytes follow at once and then stall.
    bool m_bStopMayStartFrame = false;
    Clock::time_point m_stopAt;

    std::atomic<int> m_nFramesReceived {0};
    std::atomic<int> m_nBlocksWritten {0};
    std::atomic<int> m_nBlocksRead {0};
    std::atomic<int> m_nStopBytesSeen {0};
};
