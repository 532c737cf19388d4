#include "sim/SimIspTarget.h"

#include "sim/SimChip.h"

namespace {

constexpr std::uint8_t kEnable1 = 0xAC;
constexpr std::uint8_t kEnable2 = 0x53;
constexpr std::uint8_t kErase2 = 0x80;
constexpr std::uint8_t kLockBits2 = 0xE0;
constexpr std::uint8_t kReadByte = 0x20;
constexpr std::uint8_t kWriteByte = 0x40;
constexpr std::uint8_t kReadSignature = 0x28;

} // namespace

CSimIspTarget::CSimIspTarget(CSimChip& chip) : m_chip(chip) {}

std::array<std::uint8_t, 4> CSimIspTarget::LastFrame() const
{
    const std::uint32_t v = m_nLastFrame.load(std::memory_order_relaxed);
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

void CSimIspTarget::SetLines(bool rst, bool sck, bool mosi)
{
    if (rst != m_bRst) {
        // A change of RST is never also taken as a clock edge.
        m_bRst = rst;
        m_bSck = sck;
        if (rst)
            EnterSerialMode();
        else
            LeaveSerialMode();
        return;
    }
    if (m_bSerialMode && sck != m_bSck) {
        if (sck)
            RisingEdge(mosi);
        else
            FallingEdge();
    }
    m_bSck = sck;
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
    FinishWrite();
    m_bSerialMode = false;
    m_bEnabled.store(false, std::memory_order_relaxed);
}

void CSimIspTarget::RisingEdge(bool mosi)
{
    m_byIn = static_cast<std::uint8_t>((m_byIn << 1) | (mosi ? 1 : 0));
    m_bShiftPending = true;
    if (++m_nBit < 8)
        return;
    m_nBit = 0;
    m_frame[m_nByte] = m_byIn;
    if (m_nByte < 3) {
        m_byNextOut = m_nByte == 2 ? FourthByteReply() : m_byIn;
        ++m_nByte;
        return;
    }
    Execute();
    m_byNextOut = m_byIn;
    m_nByte = 0;
}

void CSimIspTarget::FallingEdge()
{
    if (!m_bShiftPending)
        return;
    m_bShiftPending = false;
    if (++m_nOutBit == 8) {
        m_nOutBit = 0;
        m_byOut = m_byNextOut;
    }
}

std::uint32_t CSimIspTarget::Address() const
{
    // The part decodes only as many address bits as it has memory.
    const auto address = (static_cast<std::uint32_t>(m_frame[1]) << 8) | m_frame[2];
    return address & static_cast<std::uint32_t>(m_chip.Size() - 1);
}

std::uint8_t CSimIspTarget::FourthByteReply()
{
    if (m_frame[0] == kEnable1 && m_frame[1] == kEnable2)
        return kEnableAnswer;
    if (!m_bEnabled.load(std::memory_order_relaxed))
        return m_frame[2];
    switch (m_frame[0]) {
    case kReadByte:
        return ReadMemory(Address());
    case kReadSignature: {
        const auto signature = m_chip.Signature();
        return m_frame[1] < signature.size() ? signature[m_frame[1]] : 0xFF;
    }
    default:
        return m_frame[2];
    }
}

std::uint8_t CSimIspTarget::ReadMemory(std::uint32_t address)
{
    if (!m_bWriting)
        return m_chip.ReadByte(address);
    // Reading takes time too: each one brings the write closer to its end.
    if (--m_nPollsLeft <= 0) {
        FinishWrite();
        return m_chip.ReadByte(address);
    }
    const std::uint8_t current = m_chip.ReadByte(address);
    if (address != m_nWriteAddress)
        return current;
    return static_cast<std::uint8_t>((current & 0x7F) | (~m_byWriteValue & 0x80));
}

void CSimIspTarget::FinishWrite()
{
    m_bWriting = false;
    m_nPollsLeft = 0;
}

void CSimIspTarget::Execute()
{
    m_nFrames.fetch_add(1, std::memory_order_relaxed);
    m_nLastFrame.store((static_cast<std::uint32_t>(m_frame[0]) << 24) |
                           (static_cast<std::uint32_t>(m_frame[1]) << 16) |
                           (static_cast<std::uint32_t>(m_frame[2]) << 8) | m_frame[3],
                       std::memory_order_relaxed);

    if (m_frame[0] == kEnable1 && m_frame[1] == kEnable2) {
        m_bEnabled.store(true, std::memory_order_relaxed);
        return;
    }
    if (!m_bEnabled.load(std::memory_order_relaxed))
        return;

    switch (m_frame[0]) {
    case kEnable1:
        if (m_frame[1] == kErase2) {
            FinishWrite();
            m_chip.ChipErase();
        } else if ((m_frame[1] & 0xFC) == kLockBits2 && (m_frame[1] & 0x03) != 0) {
            FinishWrite();
            m_chip.Lock(m_frame[1] & 0x03);
        }
        break;
    case kWriteByte:
        FinishWrite();
        // A refused byte (locked part) still runs its write cycle; the cell
        // just keeps its old contents.
        m_chip.ProgramByte(Address(), m_frame[3]);
        m_bWriting = true;
        m_nWriteAddress = Address();
        m_byWriteValue = m_frame[3];
        m_nPollsLeft = kWritePolls + 1;
        break;
    default:
        break;
    }
}
