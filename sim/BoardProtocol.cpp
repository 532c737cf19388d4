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
    m_frame.reserve(kFrameSize);
}

void CBoardProtocol::PowerUp()
{
    m_mode = Mode::Command;
    m_frame.clear();
    m_nWriteBlock = 0;
    m_nReadNext = 0;
    m_nReadLast = -1;
    m_bReadLost = false;
    m_bStopMayStartFrame = false;
}

CBoardProtocol::Reply CBoardProtocol::Frame(std::uint8_t kind)
{
    Reply reply;
    reply.bytes.assign(kFrameSize, 0);
    reply.bytes[0] = kind;
    return reply;
}

std::vector<CBoardProtocol::Reply> CBoardProtocol::Feed(std::uint8_t byte, Clock::time_point now)
{
    if (m_mode == Mode::Read) {
        if (byte == kRequestStop || byte == kRequestNext || byte == kRequestRepeat) {
            m_lastByteAt = now;
            return HandleRequest(byte, now);
        }
        // Not a request: the host has moved on without ending the read.
        m_mode = Mode::Command;
    }

    std::vector<Reply> replies;
    if (!m_frame.empty() && now - m_lastByteAt >= kFrameGap)
        replies = DropStalledFrame();

    if (m_frame.empty()) {
        m_frameStartAt = now;
        if (m_bStopMayStartFrame && now - m_stopAt >= kFrameGap)
            m_bStopMayStartFrame = false;
    }
    m_frame.push_back(byte);
    m_lastByteAt = now;
    if (m_frame.size() == kFrameSize) {
        auto more = HandleFrame();
        replies.insert(replies.end(), more.begin(), more.end());
    }
    return replies;
}

std::vector<CBoardProtocol::Reply> CBoardProtocol::OnIdle(Clock::time_point now)
{
    if (!m_frame.empty() && now - m_lastByteAt >= kFrameGap)
        return DropStalledFrame();
    return {};
}

std::optional<CBoardProtocol::Clock::time_point> CBoardProtocol::NextDeadline() const
{
    if (m_frame.empty())
        return std::nullopt;
    return m_lastByteAt + kFrameGap;
}

std::vector<CBoardProtocol::Reply> CBoardProtocol::DropStalledFrame()
{
    std::vector<Reply> replies;
    if (m_bStopMayStartFrame && m_frame.size() == kFrameSize - 1
        && m_frameStartAt - m_stopAt < kFrameGap) {
        // The "stop byte" was the command byte of a command-0 frame.
        --m_nStopBytesSeen;
        m_frame.insert(m_frame.begin(), kCommandCheck);
        replies = HandleFrame();
    }
    m_frame.clear();
    m_bStopMayStartFrame = false;
    return replies;
}

std::vector<CBoardProtocol::Reply> CBoardProtocol::HandleFrame()
{
    Bytes frame;
    frame.swap(m_frame);
    m_frame.reserve(kFrameSize);
    m_bStopMayStartFrame = false;
    ++m_nFramesReceived;

    if (m_mode == Mode::Write) {
        if (frame[0] == kCommandData)
            return {HandleDataFrame(frame)};
        // Any other frame ends the write; the end frame is a plain command 0.
        m_mode = Mode::Command;
        if (frame[0] == kCommandCheck && m_faults.noEndAnswer)
            return {};
    }
    return {HandleCommand(frame)};
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

CBoardProtocol::Reply CBoardProtocol::HandleCommand(const Bytes& frame)
{
    const bool present = ChipPresent();
    switch (frame[0]) {
    case kCommandCheck:
        return Frame(kCommandCheck);
    case kCommandDetect: {
        Reply reply = Frame(kCommandDetect);
        // Nothing drives the data lines of an empty socket: they read high.
        std::array<std::uint8_t, 3> signature {0xFF, 0xFF, 0xFF};
        if (present)
            signature = m_chip.Signature();
        std::copy(signature.begin(), signature.end(), reply.bytes.begin() + 2);
        return reply;
    }
    case kCommandErase:
        if (present)
            m_chip.ChipErase();
        return Frame(kCommandErase);
    case kCommandWrite:
        m_mode = Mode::Write;
        m_nWriteBlock = 0;
        return Frame(kCommandWrite);
    case kCommandRead:
        m_mode = Mode::Read;
        m_nReadNext = 0;
        m_nReadLast = -1;
        m_bReadLost = false;
        return Frame(kCommandRead);
    case kCommandLock:
        // A level the chip cannot take is not reported as done.
        return Frame(present && m_chip.Lock(frame[2]) ? kCommandLock : kUnknownReply);
    case kCommandData:
        // Data without a write command before it is refused like a failed block.
        return Reply {{kAckFailed}, -1};
    default:
        return Frame(kUnknownReply);
    }
}

CBoardProtocol::Reply CBoardProtocol::HandleDataFrame(const Bytes& frame)
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

    Reply reply;
    reply.block = block;
    if (block != m_faults.dropAckOfBlock)
        reply.bytes.push_back(ok ? kAckAccepted : kAckFailed);
    return reply;
}

std::vector<CBoardProtocol::Reply> CBoardProtocol::HandleRequest(std::uint8_t request,
                                                                 Clock::time_point now)
{
    switch (request) {
    case kRequestStop:
        ++m_nStopBytesSeen;
        m_mode = Mode::Command;
        m_bStopMayStartFrame = true;
        m_stopAt = now;
        return {};
    case kRequestRepeat:
        if (m_nReadLast >= 0)
            return {ReadBlockReply(m_nReadLast)};
        [[fallthrough]]; // nothing sent yet: a repeat asks for the first block
    default: {
        const int block = m_nReadNext++;
        m_nReadLast = block;
        if (block == m_faults.loseReadBlock && !m_bReadLost) {
            m_bReadLost = true;
            return {Reply {{}, block}};
        }
        return {ReadBlockReply(block)};
    }
    }
}

CBoardProtocol::Reply CBoardProtocol::ReadBlockReply(int block)
{
    Reply reply = Frame(kReplyData);
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
    return reply;
}
