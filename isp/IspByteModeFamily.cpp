#include "isp/IspByteModeFamily.h"

#include <chrono>

#include <algorithm>
#include <vector>

#include "isp/IspFrameLink.h"
#include "isp/IspTiming.h"

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

void CIspByteModeFamily::StreamByte(std::uint8_t data, int address)
{
    const std::uint8_t frame[kFrameBytes] = {0x40, std::uint8_t(address >> 8), std::uint8_t(address),
                                             data};
    m_pLink->Exchange(frame, {});
    m_pLink->HoldNextFrameEnd(IspTiming::ByteWriteCycle(m_pLink->CrystalHz()));
}

void CIspByteModeFamily::EndStream()
{
    // A read of the last byte must not fall into its write cycle.
    m_pLink->Wait(IspTiming::ByteWriteCycle(m_pLink->CrystalHz()));
}

int CIspByteModeFamily::WritePage(int address, std::span<const std::uint8_t> data)
{
    std::vector<std::uint8_t> frame(2 + kPageSize, 0xFF);
    frame[0] = 0x50;
    frame[1] = std::uint8_t(address >> 8);
    std::copy_n(data.begin(), std::min<std::size_t>(data.size(), kPageSize), frame.begin() + 2);
    m_pLink->Exchange(frame, {});
    // Data polling: the last byte reads back with bit 7 inverted until the
    // page is programmed.
    const int last = (address & ~(kPageSize - 1)) + kPageSize - 1;
    const std::uint8_t expected = frame.back();
    for (auto waited = std::chrono::microseconds(0); waited <= kPageWriteLimit;
         waited += kPagePollInterval) {
        if (((ReadByte(last) ^ expected) & 0x80) == 0)
            return 1;
        m_pLink->Wait(kPagePollInterval);
    }
    return 0;
}

void CIspByteModeFamily::ReadBlock(int address, std::span<std::uint8_t> out)
{
    std::vector<std::uint8_t> tx(2 + kPageSize, 0x00);
    std::vector<std::uint8_t> rx(tx.size());
    std::size_t done = 0;
    while (done < out.size()) {
        const int at = address + int(done);
        const std::size_t offset = std::size_t(at & (kPageSize - 1));
        const std::size_t wanted = std::min(out.size() - done, std::size_t(kPageSize) - offset);
        // A page read costs 258 bytes on the line, a byte read 4 per byte.
        if (wanted * kFrameBytes < tx.size()) {
            for (std::size_t i = 0; i < wanted; ++i)
                out[done + i] = ReadByte(at + int(i));
        } else {
            tx[0] = 0x30;
            tx[1] = std::uint8_t(at >> 8);
            m_pLink->Exchange(tx, rx);
            std::copy_n(rx.begin() + 2 + std::ptrdiff_t(offset), wanted, out.begin() + std::ptrdiff_t(done));
        }
        done += wanted;
    }
}
