#include "sim/BoardProtocol.h"

#include <algorithm>
#include <array>

#include "sim/SimChip.h"

namespace {

constexpr std::uint8_t kCommandCheck = 0;
constexpr std::uint8_t kCommandDetect = 1;
constexpr std::uint8_t kCommandErase = 2;
constexpr std::uint8_t kCommandWrite = 3;
constexpr std::uint8_t kCommandRead = 4;
constexpr std::uint8_t kCommandLock = 5;
constexpr std::uint8_t kCommandData = 7;

constexpr std::uint8_t kReplyData = 6;
constexpr std::uint8_t kAckAccepted = 1;
constexpr std::uint8_t kAckFailed = 0xFF;

constexpr std::uint8_t kRequestStop = 0;
constexpr std::uint8_t kRequestNext = 1;
constexpr std::uint8_t kRequestRepeat = 0xFF;

} // namespace

CBoardProtocol::CBoardProtocol(CSimChip& chip)
    : m_chip(chip)
{
}

void CBoardProtocol::PowerUp()
{
    m_mode = Mode::Command;
    m_nFrameLength = 0;
    m_nWriteBlock = 0;
    m_nReadNext = 0;
    m_nReadLast = -1;
    m_bReadLost = false;
    m_bStopMayStartFrame = false;
}

void CBoardProtocol::SetFrame(Reply& reply, std::uint8_t kind)
{
    reply.bytes.fill(0);
    reply.bytes[0] = kind;
    reply.size = kFrameSize;
}

CBoardProtocol::Replies CBoardProtocol::Feed(std::uint8_t byte, Clock::time_point now)
{
    Replies replies;
    if (m_mode == Mode::Read) {
        if (byte == kRequestStop || byte == kRequestNext || byte == kRequestRepeat) {
            m_lastByteAt = now;
            HandleRequest(byte, now, replies);
            return replies;
        }
        // Not a request: the host has moved on without ending the read.
        m_mode = Mode::Command;
    }

    if (m_nFrameLength > 0 && now - m_lastByteAt >= kFrameGap)
        DropStalledFrame(replies);

    if (m_nFrameLength == 0) {
        m_frameStartAt = now;
        if (m_bStopMayStartFrame && now - m_stopAt >= kFrameGap)
            m_bStopMayStartFrame = false;
    }
    m_frame[m_nFrameLength++] = byte;
    m_lastByteAt = now;
    if (m_nFrameLength == kFrameSize)
        HandleFrame(replies);
    return replies;
}

CBoardProtocol::Replies CBoardProtocol::OnIdle(Clock::time_point now)
{
    Replies replies;
    if (m_nFrameLength > 0 && now - m_lastByteAt >= kFrameGap)
        DropStalledFrame(replies);
    return replies;
}

std::optional<CBoardProtocol::Clock::time_point> CBoardProtocol::NextDeadline() const
{
    if (m_nFrameLength == 0)
        return std::nullopt;
    return m_lastByteAt + kFrameGap;
}

void CBoardProtocol::DropStalledFrame(Replies& out)
{
    if (m_bStopMayStartFrame && m_nFrameLength == kFrameSize - 1
        && m_frameStartAt - m_stopAt < kFrameGap) {
        // The "stop byte" was the command byte of a command-0 frame.
        --m_nStopBytesSeen;
        std::copy_backward(m_frame.begin(), m_frame.end() - 1, m_frame.end());
        m_frame[0] = kCommandCheck;
        HandleFrame(out);
    }
    m_nFrameLength = 0;
    m_bStopMayStartFrame = false;
}

void CBoardProtocol::HandleFrame(Replies& out)
{
    m_nFrameLength = 0;
    m_bStopMayStartFrame = false;
    ++m_nFramesReceived;

    if (m_mode == Mode::Write) {
        if (m_frame[0] == kCommandData) {
            HandleDataFrame(m_frame, out.Add());
            return;
        }
        // Any other frame ends the write; the end frame is a plain command 0.
        m_mode = Mode::Command;
        if (m_frame[0] == kCommandCheck && m_faults.noEndAnswer)
            return;
    }
    HandleCommand(m_frame, out.Add());
}

bool CBoardProtocol::ChipPresent()
{
    if (!m_socketProbe)
        return true;
    const bool present = m_socketProbe();
    if (present && m_bSocketWasEmpty)
        m_chip.ChipErase();
    m_bSocketWasEmpty = !present;
    return present;
}

void CBoardProtocol::HandleCommand(const Frame& frame, Reply& reply)
{
    const bool present = ChipPresent();
    switch (frame[0]) {
    case kCommandCheck:
        SetFrame(reply, kCommandCheck);
        return;
    case kCommandDetect: {
        SetFrame(reply, kCommandDetect);
        // Nothing drives the data lines of an empty socket: they read high.
        std::array<std::uint8_t, 3> signature {0xFF, 0xFF, 0xFF};
        if (present)
            signature = m_chip.Signature();
        std::copy(signature.begin(), signature.end(), reply.bytes.begin() + 2);
        return;
    }
    case kCommandErase:
        if (present)
            m_chip.ChipErase();
        SetFrame(reply, kCommandErase);
        return;
    case kCommandWrite:
        m_mode = Mode::Write;
        m_nWriteBlock = 0;
        SetFrame(reply, kCommandWrite);
        return;
    case kCommandRead:
        m_mode = Mode::Read;
        m_nReadNext = 0;
        m_nReadLast = -1;
        m_bReadLost = false;
        SetFrame(reply, kCommandRead);
        return;
    case kCommandLock:
        // A level the chip cannot take is not reported as done.
        SetFrame(reply, present && m_chip.Lock(frame[2]) ? kCommandLock : kUnknownReply);
        return;
    case kCommandData:
        // Data without a write command before it is refused like a failed block.
        reply.bytes[0] = kAckFailed;
        reply.size = 1;
        return;
    default:
        SetFrame(reply, kUnknownReply);
        return;
    }
}

void CBoardProtocol::HandleDataFrame(const Frame& frame, Reply& reply)
{
    const int block = m_nWriteBlock++;
    bool ok = block != m_faults.failBlock && ChipPresent();
    const std::uint64_t base = static_cast<std::uint64_t>(block) * kBlockSize;
    for (std::size_t i = 0; ok && i < kBlockSize; ++i) {
        const std::uint64_t address = base + i;
        const std::uint8_t value = frame[2 + i];
        // Verify after programming, as a board does: a cell that still holds
        // zero bits the image wants as ones was not erased first.
        ok = address < m_chip.Size()
            && m_chip.ProgramByte(static_cast<std::uint32_t>(address), value)
            && m_chip.ReadByte(static_cast<std::uint32_t>(address)) == value;
    }
    if (ok)
        ++m_nBlocksWritten;

    reply.block = block;
    if (block != m_faults.dropAckOfBlock) {
        reply.bytes[0] = ok ? kAckAccepted : kAckFailed;
        reply.size = 1;
    }
}

void CBoardProtocol::HandleRequest(std::uint8_t request, Clock::time_point now, Replies& out)
{
    switch (request) {
    case kRequestStop:
        ++m_nStopBytesSeen;
        m_mode = Mode::Command;
        m_bStopMayStartFrame = true;
        m_stopAt = now;
        return;
    case kRequestRepeat:
        if (m_nReadLast >= 0) {
            ReadBlockReply(m_nReadLast, out.Add());
            return;
        }
        [[fallthrough]]; // nothing sent yet: a repeat asks for the first block
    default: {
        const int block = m_nReadNext++;
        m_nReadLast = block;
        if (block == m_faults.loseReadBlock && !m_bReadLost) {
            m_bReadLost = true;
            out.Add().block = block;
            return;
        }
        ReadBlockReply(block, out.Add());
        return;
    }
    }
}

void CBoardProtocol::ReadBlockReply(int block, Reply& reply)
{
    SetFrame(reply, kReplyData);
    reply.block = block;
    const std::uint64_t base = static_cast<std::uint64_t>(block) * kBlockSize;
    const bool present = ChipPresent();
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        const std::uint64_t address = base + i;
        reply.bytes[2 + i] = present && address < m_chip.Size()
            ? m_chip.ReadByte(static_cast<std::uint32_t>(address))
            : 0xFF;
    }
    ++m_nBlocksRead;
}
