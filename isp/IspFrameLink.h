#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <span>

// What a programming-family handler needs to talk to the chip: the three
// lines it sets itself around a reset, instruction frames moved to the chip
// and back, and time passing at the chip. The ISP engine implements it on
// whatever carries the lines, so a handler knows nothing of the engine,
// its worker or its lines.
//
// Every call comes from the engine's worker thread, in order: a frame given
// after a wait reaches the chip after the wait has passed there.
class IIspFrameLink {
public:
    static constexpr int kFrameSize = 10;
    using Frame = std::array<std::uint8_t, kFrameSize>;

    // Drive one line now (non-zero: high).
    virtual void SetMosi(int level) = 0;
    virtual void SetRst(int level) = 0;
    virtual void SetSck(int level) = 0;

    // The bytes the next Transfer shifts out; bytes it does not set keep
    // what the previous frame left there.
    virtual Frame& TxFrame() = 0;
    // One byte shifted in for each byte shifted out by the last Transfer.
    virtual const Frame& RxFrame() const = 0;
    // Shifts count bytes of TxFrame out, most significant bit first, and
    // fills as many RxFrame bytes; they are there when it returns.
    virtual void Transfer(int count) = 0;

    // Shifts tx out and, when rx is not empty (it is then tx's size), the
    // bytes shifted in into rx before it returns. With rx empty nothing
    // needs to come back, so the bytes may be held back and sent together
    // with later ones, in order.
    virtual void Exchange(std::span<const std::uint8_t> tx, std::span<std::uint8_t> rx) = 0;

    // At least duration passes at the chip before anything given afterwards
    // reaches it.
    virtual void Wait(std::chrono::nanoseconds duration) = 0;
    // At least duration passes at the chip before the next frame's last bit
    // reaches it; its earlier bits may go sooner. An instruction takes
    // effect only once its last bit is in, so the next one may be shifted
    // in while a write cycle runs out.
    virtual void HoldNextFrameEnd(std::chrono::nanoseconds duration) = 0;

    // The crystal the chip runs on as the user set it, in Hz: the chip's
    // own timing follows it.
    virtual double CrystalHz() const = 0;

protected:
    ~IIspFrameLink() = default;
};
