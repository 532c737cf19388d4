#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

#include "isp/CableDescription.h"
#include "isp/PinMap.h"
#include "isp/PortRegisters.h"
#include "sim/SimIspTarget.h"

// A parallel port with an ISP cable plugged in and a target chip at its far
// end, at register level. The description given here is how the cable is
// really wired, which need not be what the host believes.
//
// Cable type 1 carries a transparent latch (74HC573-like) on MOSI, SCK and
// RST: the chip follows the port's lines only while LE is at its enable
// level and sees the held states otherwise; while OE is at its disable level
// the latch outputs float and the chip's pull-ups read them high. Types 2
// and 3 wire the lines straight through. MISO comes back unlatched into the
// status register; status lines with nothing on them read high.
//
// Every register access costs kAccessTime on the chip's clock (an I/O cycle
// of a PC's parallel port through ppdev): the line speed it gives is the
// only clock a cable has.
//
// Driven from one thread at a time; counters and switches may be used from
// another.
class CSimCable : public IPortRegisters {
public:
    using MisoFault = CSimIspTarget::MisoFault;
    static constexpr std::chrono::nanoseconds kAccessTime{1000};

    CSimCable(CSimIspTarget& target, int cableType, const CableDescription& wiring);

    std::uint8_t Read(int offset) override;
    void Write(int offset, std::uint8_t value) override;
    IIspClock* Clock() override;

    void SetMisoFault(MisoFault fault) { m_target.SetMisoFault(fault); }
    void SetAccessTime(std::chrono::nanoseconds time) { m_accessTime = time; }

    std::uint64_t Reads() const { return m_nReads.load(std::memory_order_relaxed); }
    std::uint64_t Writes() const { return m_nWrites.load(std::memory_order_relaxed); }
    void ResetCounters();

    // The level the port drives on a connector pin (data or control pins;
    // false for anything else).
    bool PinLevel(int pin) const;
    // False while the latch outputs float (type 1 with OE at its disable level).
    bool OutputsEnabled() const { return m_bOutputsEnabled; }
    // The line levels the chip sees.
    bool ChipRst() const { return m_bChipRst; }
    bool ChipSck() const { return m_bChipSck; }
    bool ChipMosi() const { return m_bChipMosi; }

private:
    // A cable line's level as driven by the port; lines on pins the port
    // cannot drive float high.
    bool Line(const std::optional<PinInfo>& pin) const;
    void Update();
    static void Bump(std::atomic<std::uint64_t>& counter)
    {
        // One writer: a plain add keeps the hot path free of locked instructions.
        counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }

    CSimIspTarget& m_target;
    const bool m_bLatched;
    const CableDescription m_wiring;
    const std::optional<PinInfo> m_mosi, m_miso, m_sck, m_rst, m_le, m_oe;

    std::uint8_t m_byData = 0;
    std::uint8_t m_byControl = 0;

    bool m_bLatchRst = false, m_bLatchSck = false, m_bLatchMosi = false;
    bool m_bOutputsEnabled = true;
    bool m_bChipRst = false, m_bChipSck = false, m_bChipMosi = false;

    std::chrono::nanoseconds m_accessTime = kAccessTime;
    std::atomic<std::uint64_t> m_nReads{0};
    std::atomic<std::uint64_t> m_nWrites{0};
};
