#include "sim/SimIspTarget.h"

#include <cmath>

#include "sim/SimChip.h"
#include "sim/SimClock.h"

namespace {

constexpr std::uint8_t kEnable1 = 0xAC;
constexpr std::uint8_t kEnable2 = 0x53;
constexpr std::uint8_t kErase2 = 0x80;
constexpr std::uint8_t kLockBits2 = 0xE0;
constexpr std::uint8_t kReadByte = 0x20;
constexpr std::uint8_t kReadLockBits = 0x24;
constexpr std::uint8_t kReadSignature = 0x28;
constexpr std::uint8_t kReadPage = 0x30;
constexpr std::uint8_t kWriteByte = 0x40;
constexpr std::uint8_t kWritePage = 0x50;

constexpr int kShortFrame = 4;
// A page instruction: the instruction, the address's high byte, the data.
constexpr int kPageFrame = 2 + CSimIspTarget::kPageSize;

}  // namespace

CSimIspTarget::CSimIspTarget(CSimChip& chip, CSimClock& clock) : m_chip(chip), m_clock(clock) {}

void CSimIspTarget::SetCrystalHz(double hz)
{
    if (hz > 0 && std::isfinite(hz))
        m_dCrystalHz = hz;
}

std::chrono::nanoseconds CSimIspTarget::Period() const
{
    return std::chrono::nanoseconds(std::llround(1e9 / m_dCrystalHz));
}

std::chrono::nanoseconds CSimIspTarget::MinSckPhase() const
{
    return std::chrono::nanoseconds(std::llround(kSckPhasePeriods * 1e9 / m_dCrystalHz));
}

std::chrono::nanoseconds CSimIspTarget::ByteWriteCycle() const
{
    return std::chrono::nanoseconds(std::llround(kWriteCyclePeriods * 1e9 / m_dCrystalHz))
        + kWriteCycleFixed;
}

std::array<std::uint8_t, 4> CSimIspTarget::LastFrame() const
{
    const std::uint32_t v = m_nLastFrame.load(std::memory_order_relaxed);
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

bool CSimIspTarget::Miso() const
{
    switch (m_fault.load(std::memory_order_relaxed)) {
    case MisoFault::StuckHigh:
        return true;
    case MisoFault::StuckLow:
        return false;
    case MisoFault::None:
        break;
    }
    return !m_bSerialMode || ((m_byOut >> (7 - m_nOutBit)) & 1) != 0;
}

void CSimIspTarget::SetLines(bool rst, bool sck, bool mosi)
{
    if (rst != m_bRst) {
        // A change of RST is never also taken as a clock edge.
        m_bRst = rst;
        m_bSck = sck;
        m_tLastEdge = m_clock.Now();
        if (rst)
            EnterSerialMode();
        else
            LeaveSerialMode();
        return;
    }
    if (sck != m_bSck) {
        if (!m_bSerialMode)
            m_tLastEdge = m_clock.Now();
        else if (sck)
            RisingEdge(mosi);
        else
            FallingEdge();
    }
    m_bSck = sck;
}

std::uint8_t CSimIspTarget::ClockByte(std::uint8_t mosi, std::chrono::nanoseconds low,
                                      std::chrono::nanoseconds high)
{
    std::uint8_t in = 0;
    for (int bit = 7; bit >= 0; --bit) {
        const bool level = ((mosi >> bit) & 1) != 0;
        SetLines(m_bRst, false, level);
        m_clock.Advance(low);
        SetLines(m_bRst, true, level);
        in = std::uint8_t((in << 1) | (Miso() ? 1 : 0));
        m_clock.Advance(high);
        SetLines(m_bRst, false, level);
    }
    return in;
}

void CSimIspTarget::EnterSerialMode()
{
    m_bSerialMode = true;
    m_nByte = 0;
    m_nBit = 0;
    m_byIn = 0;
    m_byOut = 0;
    m_byNextOut = 0;
    m_nOutBit = 0;
    m_bShiftPending = false;
}

void CSimIspTarget::LeaveSerialMode()
{
    // A write under way completes on its own; the part just runs again.
    m_bSerialMode = false;
    m_bEnabled.store(false, std::memory_order_relaxed);
}

void CSimIspTarget::RisingEdge(bool mosi)
{
    const auto now = m_clock.Now();
    m_bInBit = mosi;
    m_bInBitBad = now - m_tLastEdge < MinSckPhase();
    m_tLastEdge = now;
    m_bShiftPending = true;
}

void CSimIspTarget::FallingEdge()
{
    const auto now = m_clock.Now();
    const bool highTooShort = now - m_tLastEdge < MinSckPhase();
    m_tLastEdge = now;
    if (!m_bShiftPending)
        return;
    m_bShiftPending = false;
    const bool bad = m_bInBitBad || highTooShort;
    if (bad)
        Bump(m_nShortPhases);
    m_byIn = static_cast<std::uint8_t>((m_byIn << 1) | ((m_bInBit != bad) ? 1 : 0));
    if (++m_nBit == 8) {
        m_nBit = 0;
        ByteReceived(m_byIn);
    }
    if (++m_nOutBit == 8) {
        m_nOutBit = 0;
        m_byOut = m_byNextOut;
    }
}

bool CSimIspTarget::IsPageInstruction() const
{
    return m_bEnabled.load(std::memory_order_relaxed)
        && (m_frame[0] == kReadPage || m_frame[0] == kWritePage);
}

void CSimIspTarget::ByteReceived(std::uint8_t byte)
{
    if (m_nByte < 4)
        m_frame[std::size_t(m_nByte)] = byte;
    const bool page = IsPageInstruction();
    const int length = page ? kPageFrame : kShortFrame;
    if (page && m_nByte >= 2)
        m_page[std::size_t(m_nByte - 2)] = byte;
    if (m_nByte + 1 < length) {
        if (page && m_frame[0] == kReadPage && m_nByte >= 1)
            m_byNextOut = ReadMemory(PageBase() + std::uint32_t(m_nByte - 1));
        else if (!page && m_nByte == 2)
            m_byNextOut = FourthByteReply();
        else
            m_byNextOut = byte;
        if (m_nByte == 0 && page)
            m_page.assign(kPageSize, 0xFF);
        ++m_nByte;
        return;
    }
    Execute();
    m_byNextOut = byte;
    m_nByte = 0;
}

std::uint32_t CSimIspTarget::Address() const
{
    // The part decodes only as many address bits as it has memory.
    const auto address = (static_cast<std::uint32_t>(m_frame[1]) << 8) | m_frame[2];
    return address & static_cast<std::uint32_t>(m_chip.Size() - 1);
}

std::uint32_t CSimIspTarget::PageBase() const
{
    return (static_cast<std::uint32_t>(m_frame[1]) << 8)
        & static_cast<std::uint32_t>(m_chip.Size() - 1);
}

bool CSimIspTarget::IsBusy() const
{
    return m_busy != Busy::None && m_clock.Now() < m_tBusyUntil;
}

void CSimIspTarget::StartBusy(Busy kind, std::chrono::nanoseconds duration)
{
    m_busy = kind;
    m_tBusyUntil = m_clock.Now() + duration;
}

std::uint8_t CSimIspTarget::FourthByteReply()
{
    if (m_frame[0] == kEnable1 && m_frame[1] == kEnable2)
        return kEnableAnswer;
    if (!m_bEnabled.load(std::memory_order_relaxed) || (IsBusy() && m_busy == Busy::Erase))
        return m_frame[2];
    switch (m_frame[0]) {
    case kReadByte:
        return ReadMemory(Address());
    case kReadSignature: {
        const auto signature = m_chip.Signature();
        return m_frame[1] < signature.size() ? signature[m_frame[1]] : 0xFF;
    }
    case kReadLockBits: {
        // xxx LB3 LB2 LB1 xx: level n has lock bits 1..n programmed.
        std::uint8_t bits = 0;
        for (int bit = 0; bit < m_chip.LockLevel(); ++bit)
            bits = static_cast<std::uint8_t>(bits | (0x04 << bit));
        return bits;
    }
    default:
        return m_frame[2];
    }
}

std::uint8_t CSimIspTarget::ReadMemory(std::uint32_t address) const
{
    const std::uint8_t current = m_chip.ReadByte(address);
    if (!IsBusy())
        return current;
    // Data polling: the byte being written shows its bit 7 inverted.
    std::uint8_t written;
    if (m_busy == Busy::ByteWrite && address == m_nWriteAddress)
        written = m_byWriteValue;
    else if (m_busy == Busy::PageWrite && (address & ~std::uint32_t(kPageSize - 1)) == m_nWriteAddress)
        written = m_writtenPage[address & (kPageSize - 1)];
    else if (m_busy == Busy::Erase)
        return 0x00;  // not the erased state it will have: nothing passes early
    else
        return current;
    return static_cast<std::uint8_t>((current & 0x7F) | (~written & 0x80));
}

void CSimIspTarget::Execute()
{
    Bump(m_nFrames);
    m_nLastFrame.store((static_cast<std::uint32_t>(m_frame[0]) << 24) |
                           (static_cast<std::uint32_t>(m_frame[1]) << 16) |
                           (static_cast<std::uint32_t>(m_frame[2]) << 8) | m_frame[3],
                       std::memory_order_relaxed);

    const bool busy = IsBusy();
    if (busy && m_busy == Busy::Erase) {
        Bump(m_nLost);
        return;
    }
    if (m_frame[0] == kEnable1 && m_frame[1] == kEnable2) {
        m_bEnabled.store(true, std::memory_order_relaxed);
        return;
    }
    if (!m_bEnabled.load(std::memory_order_relaxed))
        return;

    const bool writes = m_frame[0] == kWriteByte || m_frame[0] == kWritePage
        || (m_frame[0] == kEnable1 && (m_frame[1] == kErase2 || (m_frame[1] & 0xFC) == kLockBits2));
    if (busy && writes) {
        // The chip is still programming: what arrives now is not taken.
        Bump(m_nLost);
        return;
    }
    switch (m_frame[0]) {
    case kEnable1:
        if (m_frame[1] == kErase2) {
            m_chip.ChipErase();
            StartBusy(Busy::Erase, kEraseTime);
        } else if ((m_frame[1] & 0xFC) == kLockBits2 && (m_frame[1] & 0x03) != 0) {
            m_chip.Lock(m_frame[1] & 0x03);
        }
        break;
    case kWriteByte:
        // A refused byte (locked part) still runs its write cycle; the cell
        // just keeps its old contents.
        m_chip.ProgramByte(Address(), m_frame[3]);
        m_nWriteAddress = Address();
        m_byWriteValue = m_frame[3];
        StartBusy(Busy::ByteWrite, ByteWriteCycle());
        break;
    case kWritePage:
        m_nWriteAddress = PageBase();
        m_writtenPage = m_page;
        for (int i = 0; i < kPageSize; ++i)
            m_chip.ProgramByte(m_nWriteAddress + std::uint32_t(i), m_page[std::size_t(i)]);
        StartBusy(Busy::PageWrite, kPageWriteCycle);
        break;
    default:
        break;
    }
}
