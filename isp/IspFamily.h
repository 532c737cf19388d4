#pragma once

#include <array>
#include <cstdint>
#include <span>

class IIspFrameLink;

// One programming algorithm for the ISP engine: the serial instructions of one
// device family. The backend picks the handler whose code equals the device
// record's code; every call runs on the backend's worker thread and reaches
// the chip through the frame link the handler was attached to.
class CIspFamily {
public:
    explicit CIspFamily(std::uint8_t deviceCode) : m_byDeviceCode(deviceCode) {}
    virtual ~CIspFamily() = default;

    CIspFamily(const CIspFamily&) = delete;
    CIspFamily& operator=(const CIspFamily&) = delete;

    // Stores the link whose lines and frames the handler works.
    virtual void Attach(IIspFrameLink* link);

    // Reset pulse, then the programming-enable instruction; 1 when the chip
    // answered it as a live chip does, 0 when it did not.
    virtual int ProgramEnable() = 0;
    virtual void ReadSignature(std::array<std::uint8_t, 3>& out) = 0;
    virtual void ChipErase() = 0;
    // 1 when the byte was written and reads back equal, 0 when it failed.
    virtual int WriteByte(std::uint8_t data, int address) = 0;
    virtual std::uint8_t ReadByte(int address) = 0;
    // level 1..3 as the lock list offers it; 1 when every step was sent to
    // a chip that had answered its programming enable, 0 when not.
    virtual int WriteLockBits(int level) = 0;
    // 1 when the lock bits of level (1..3) read back programmed.
    virtual int LockBitsSet(int level) = 0;
    // Leaves programming mode: the device runs and the lines idle.
    virtual void EndProgramming() = 0;

    // The streaming kinds' algorithm (lines fast enough to keep time
    // themselves): a byte written without read-back polls, the write cycle
    // held by the link's clock before the next instruction takes effect.
    virtual void StreamByte(std::uint8_t data, int address) = 0;
    // After the last streamed byte or page: its cycle has run out.
    virtual void EndStream() = 0;
    // Page-mode write of PageSize() bytes at a page's first address, polled
    // on its last byte until it reads back, within a time limit; 1 when it
    // did, 0 when the limit passed.
    virtual int WritePage(int address, std::span<const std::uint8_t> data) = 0;
    // out.size() bytes from address, by page-mode reads where they pay.
    virtual void ReadBlock(int address, std::span<std::uint8_t> out) = 0;
    virtual int PageSize() const = 0;

    const std::uint8_t m_byDeviceCode;

protected:
    IIspFrameLink* m_pLink = nullptr;
};
