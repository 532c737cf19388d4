#include <gtest/gtest.h>

#include <array>

#include "isp/CableDescription.h"
#include "isp/ParallelPort.h"
#include "sim/SimCable.h"
#include "sim/SimChip.h"
#include "sim/SimClock.h"
#include "sim/SimIspTarget.h"
#include "tests/support/RecordingMessageSink.h"

namespace {

using Frame = std::array<std::uint8_t, 4>;
using Sig = std::array<std::uint8_t, 3>;
const Sig kS52 = {0x1E, 0x52, 0x06};

// A hand-driven host: pin calls on a CParallelPort, latch work after every
// line change as the latch mode says, frames shifted bit by bit. The cable
// is wired as `wiring`; the host believes `view`.
struct CHandHost {
    CHandHost(int type, const CableDescription& wiring, const CableDescription& view, int latch = 0)
        : m_view(view), m_nLatchMode(latch)
    {
        auto cable = std::make_unique<CSimCable>(m_target, type, wiring);
        m_pCable = cable.get();
        m_port.OpenWith(std::move(cable));
        m_port.SetPin(m_view.m_nPinLe, m_view.m_nLeEnable);
    }
    explicit CHandHost(int type, int latch = 0)
        : CHandHost(type, CableDescription::ForType(type, ""), CableDescription::ForType(type, ""),
                    latch)
    {
    }

    void Line(int pin, int level)
    {
        m_port.SetPin(pin, level);
        Latch();
    }
    void Latch()
    {
        if (m_nLatchMode != 2)
            m_port.SetPin(m_view.m_nPinLe, m_view.m_nLeEnable);
        if (m_nLatchMode != 2 && m_nLatchMode != 1)
            m_port.SetPin(m_view.m_nPinLe, m_view.m_nLeDisable);
    }
    void Outputs(bool on)
    {
        m_port.SetPin(m_view.m_nPinOe, on ? m_view.m_nOeEnable : m_view.m_nOeDisable);
    }
    Frame Send(const Frame& tx)
    {
        Frame rx{};
        for (std::size_t i = 0; i < tx.size(); ++i) {
            Line(m_view.m_nPinSck, 0);
            for (int mask = 0x80; mask; mask >>= 1) {
                Line(m_view.m_nPinMosi, tx[i] & mask);
                Line(m_view.m_nPinSck, 1);
                Latch();
                if (m_port.ReadPin(m_view.m_nPinMiso))
                    rx[i] |= mask;
                Line(m_view.m_nPinSck, 0);
            }
        }
        return rx;
    }
    // Outputs on, a reset pulse, then the enable frame; returns its reply.
    Frame Enable()
    {
        Outputs(true);
        for (int pin : {m_view.m_nPinRst, m_view.m_nPinMosi, m_view.m_nPinSck})
            Line(pin, 0);
        Line(m_view.m_nPinRst, 1);
        return Send({0xAC, 0x53, 0x00, 0x00});
    }
    Sig Signature() { return {Send({0x28, 0, 0, 0})[3], Send({0x28, 1, 0, 0})[3], Send({0x28, 2, 0, 0})[3]}; }
    std::uint8_t ReadByte(std::uint16_t a) { return Send({0x20, std::uint8_t(a >> 8), std::uint8_t(a), 0})[3]; }

    CSimChip m_chip{SimChipType::AT89S52};
    CSimClock m_clock;
    CSimIspTarget m_target{m_chip, m_clock};
    CRecordingMessageSink m_sink;
    CParallelPort m_port{m_sink};
    CSimCable* m_pCable = nullptr;
    CableDescription m_view;
    int m_nLatchMode;
};

TEST(SimCable, EveryCableAndLatchModeReachesTheChip)
{
    for (auto [type, latch] : {std::pair{1, 0}, {1, 1}, {1, 2}, {2, 0}, {3, 0}, {3, 2}}) {
        SCOPED_TRACE(testing::Message() << "type " << type << " latch mode " << latch);
        CHandHost host(type, latch);
        // The chip echoes the second byte in the third and answers 0x69.
        const Frame reply = host.Enable();
        EXPECT_EQ(reply[2], 0x53);
        EXPECT_EQ(reply[3], CSimIspTarget::kEnableAnswer);
        EXPECT_EQ(host.Signature(), kS52);
        EXPECT_EQ(host.m_target.Frames(), 4u);
    }
}

TEST(SimCable, LatchThatIsNeverOpenedPassesNothing)
{
    // The host works pin 5 instead of the cable's LE, which stays disabled.
    CableDescription view = CableDescription::ForType(1, "");
    view.m_nPinLe = 5;
    CHandHost host(1, CableDescription::ForType(1, ""), view);
    host.m_port.SetPin(17, 0);
    host.Enable();
    EXPECT_EQ(host.m_target.Frames(), 0u);
    EXPECT_EQ(host.Signature(), (Sig{0xFF, 0xFF, 0xFF}));
}

TEST(SimCable, DisabledOutputsFloatHigh)
{
    CHandHost host(1);
    host.Enable();
    host.Outputs(false);
    for (int pin : {16, 1, 14})
        host.Line(pin, 0);
    EXPECT_FALSE(host.m_pCable->OutputsEnabled());
    EXPECT_TRUE(host.m_pCable->ChipRst() && host.m_pCable->ChipSck() && host.m_pCable->ChipMosi());
    host.Signature();
    EXPECT_EQ(host.m_target.Frames(), 1u);
}

TEST(SimCable, StuckMisoReadsOneLevel)
{
    for (int type : {1, 2, 3}) {
        CHandHost host(type);
        host.Enable();
        host.m_pCable->SetMisoFault(CSimCable::MisoFault::StuckHigh);
        EXPECT_EQ(host.Signature(), (Sig{0xFF, 0xFF, 0xFF})) << type;
        host.m_pCable->SetMisoFault(CSimCable::MisoFault::StuckLow);
        EXPECT_EQ(host.Signature(), (Sig{0x00, 0x00, 0x00})) << type;
        host.m_pCable->SetMisoFault(CSimCable::MisoFault::None);
        EXPECT_EQ(host.Signature(), kS52) << type;
    }
}

TEST(SimCable, WriteIsPolledUntilItsCycleHasPassedOnTheClock)
{
    CHandHost host(1);
    host.Enable();
    host.Send({0x40, 0x12, 0x34, 0x5A});
    const auto written = host.m_clock.Now();
    // Each register access costs a microsecond: a read-back frame is
    // hundreds of them, so the cycle (64 periods + 400 us) spans a few.
    int polls = 0;
    while (host.ReadByte(0x1234) != 0x5A) {
        ASSERT_LT(++polls, 10);
        EXPECT_LT(host.m_clock.Now() - written, host.m_target.ByteWriteCycle() + std::chrono::microseconds(400));
    }
    EXPECT_GE(polls, 1);
    EXPECT_GE(host.m_clock.Now() - written, host.m_target.ByteWriteCycle());
    EXPECT_EQ(host.m_chip.PeekByte(0x1234), 0x5A);
}

TEST(SimCable, InstructionsNeedProgrammingEnableSinceReset)
{
    CHandHost host(2);
    host.m_chip.SetContents(0, std::array<std::uint8_t, 1>{0x00});
    host.Enable();
    host.Line(17, 0);  // RST low leaves programming mode
    host.Line(17, 1);
    host.Send({0xAC, 0x80, 0x00, 0x00});
    EXPECT_EQ(host.m_chip.PeekByte(0), 0x00);
    host.Send({0xAC, 0x53, 0x00, 0x00});
    host.Send({0xAC, 0x80, 0x00, 0x00});
    EXPECT_EQ(host.m_chip.PeekByte(0), 0xFF);
    // An instruction that ends while the erase runs is lost.
    host.Send({0xAC, 0xE3, 0x00, 0x00});
    EXPECT_EQ(host.m_chip.LockLevel(), 0);
    host.m_clock.Advance(CSimIspTarget::kEraseTime);
    host.Send({0xAC, 0xE3, 0x00, 0x00});
    EXPECT_EQ(host.m_chip.LockLevel(), 3);
}

} // namespace
