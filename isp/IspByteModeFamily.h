#pragma once

#include <chrono>

#include "isp/IspFamily.h"

// The byte-mode serial programming instructions of the AT89S51/AT89S52
// (device code 2): 4-byte frames, one byte written or read per frame.
class CIspByteModeFamily : public CIspFamily {
public:
    static constexpr std::uint8_t kDeviceCode = 2;
    // A written byte that has not read back equal after this many reads
    // counts as failed.
    static constexpr int kMaxVerifyReads = 1000;
    // A live chip answers programming enable with this in its fourth byte.
    static constexpr std::uint8_t kEnableAnswer = 0x69;
    // Page mode moves 256 bytes after the instruction and the page's
    // address high byte.
    static constexpr int kPageSize = 256;
    // The datasheet gives no page-write time: the last byte is polled,
    // this far apart, for at most this long.
    static constexpr std::chrono::microseconds kPagePollInterval{200};
    static constexpr std::chrono::milliseconds kPageWriteLimit{50};

    CIspByteModeFamily() : CIspFamily(kDeviceCode) {}

    int ProgramEnable() override;
    void ReadSignature(std::array<std::uint8_t, 3>& out) override;
    void ChipErase() override;
    int WriteByte(std::uint8_t data, int address) override;
    std::uint8_t ReadByte(int address) override;
    int WriteLockBits(int level) override;
    int LockBitsSet(int level) override;
    void EndProgramming() override;
    void StreamByte(std::uint8_t data, int address) override;
    void EndStream() override;
    int WritePage(int address, std::span<const std::uint8_t> data) override;
    void ReadBlock(int address, std::span<std::uint8_t> out) override;
    int PageSize() const override { return kPageSize; }

private:
    // Sets the first two frame bytes and sends the frame; bytes 3 and 4 keep
    // what the previous frame left (don't-care positions).
    void SendTwoByteInstruction(std::uint8_t first, std::uint8_t second);
    // Time passing at the chip, in the link's own way.
    void Wait(int ms);
};
