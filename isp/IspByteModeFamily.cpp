#include "isp/IspByteModeFamily.h"

#include <chrono>

#include "isp/IspFrameLink.h"

namespace {

constexpr int kFrameBytes = 4;

}  // namespace

void CIspByteModeFamily::Wait(int ms)
{
    m_pLink->Wait(std::chrono::milliseconds(ms));
}

void CIspByteModeFamily::SendTwoByteInstruction(std::uint8_t first, std::uint8_t second)
{
    auto& tx = m_pLink->TxFrame();
    tx[0] = first;
    tx[1] = second;
    m_pLink->Transfer(kFrameBytes);
}

int CIspByteModeFamily::ProgramEnable()
{
    // A reset pulse puts the device into serial programming mode; it needs
    // the lines quiet and RST settled before the enable instruction.
    m_pLink->SetRst(0);
    m_pLink->SetMosi(0);
    m_pLink->SetSck(0);
    Wait(10);
    m_pLink->SetRst(1);
    Wait(10);
    // A live chip echoes the instruction and answers 0x69 in byte 4; a
    // miswired, unpowered or too fast clocked one does not.
    SendTwoByteInstruction(0xAC, 0x53);
    return m_pLink->RxFrame()[3] == kEnableAnswer ? 1 : 0;
}

void CIspByteModeFamily::ReadSignature(std::array<std::uint8_t, 3>& out)
{
    auto& tx = m_pLink->TxFrame();
    const auto& rx = m_pLink->RxFrame();
    tx[0] = 0x28;
    tx[2] = 0x00;
    tx[3] = 0x00;
    for (std::uint8_t n = 0; n < 3; ++n) {
        tx[1] = n;
        m_pLink->Transfer(kFrameBytes);
        out[n] = rx[3];
    }
}

void CIspByteModeFamily::ChipErase()
{
    SendTwoByteInstruction(0xAC, 0x80);
    Wait(500);
}

int CIspByteModeFamily::WriteByte(std::uint8_t data, int address)
{
    auto& tx = m_pLink->TxFrame();
    tx[0] = 0x40;
    tx[1] = std::uint8_t(address >> 8);
    tx[2] = std::uint8_t(address);
    tx[3] = data;
    m_pLink->Transfer(kFrameBytes);
    // The device times its own programming cycle: poll by reading back
    // rather than waiting a fixed time.
    for (int read = 0; read < kMaxVerifyReads; ++read) {
        if (ReadByte(address) == data)
            return 1;
    }
    return 0;
}

std::uint8_t CIspByteModeFamily::ReadByte(int address)
{
    auto& tx = m_pLink->TxFrame();
    tx[0] = 0x20;
    tx[1] = std::uint8_t(address >> 8);
    tx[2] = std::uint8_t(address);
    m_pLink->Transfer(kFrameBytes);
    return m_pLink->RxFrame()[3];
}

int CIspByteModeFamily::WriteLockBits(int level)
{
    // Each further lock step needs programming mode entered afresh.
    int answered = 1;
    if (level >= 1) {
        SendTwoByteInstruction(0xAC, 0xE1);
        Wait(1);
    }
    if (level >= 2) {
        answered &= ProgramEnable();
        SendTwoByteInstruction(0xAC, 0xE2);
        Wait(1);
    }
    if (level == 3) {
        answered &= ProgramEnable();
        SendTwoByteInstruction(0xAC, 0xE3);
        Wait(1);
    }
    return answered;
}

int CIspByteModeFamily::LockBitsSet(int level)
{
    // Read lock bits: byte 4 is xxx LB3 LB2 LB1 xx, 1 for a programmed bit.
    auto& tx = m_pLink->TxFrame();
    tx[0] = 0x24;
    tx[1] = 0x00;
    tx[2] = 0x00;
    tx[3] = 0x00;
    m_pLink->Transfer(kFrameBytes);
    const std::uint8_t bits = m_pLink->RxFrame()[3];
    for (int n = 1; n <= level && n <= 3; ++n)
        if ((bits & (0x02 << n)) == 0)
            return 0;
    return 1;
}

void CIspByteModeFamily::EndProgramming()
{
    // RST low lets the device run; the other lines idle high.
    m_pLink->SetRst(0);
    m_pLink->SetMosi(1);
    m_pLink->SetSck(1);
}
