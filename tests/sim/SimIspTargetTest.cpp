// The AT89S51/52 model against its datasheet, driven byte by byte at
// chosen SCK phases on its own clock: the phase limit, the write cycle with
// data polling, page mode and the lock-bit read.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "sim/SimChip.h"
#include "sim/SimClock.h"
#include "sim/SimIspTarget.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

struct Bench {
    explicit Bench(double crystalHz = 12e6)
    {
        target.SetCrystalHz(crystalHz);
        target.SetLines(false, false, false);
        clock.Advance(1ms);
        target.SetLines(true, false, false);
        clock.Advance(1ms);
    }
    Bytes Send(const Bytes& tx) { return Send(tx, target.MinSckPhase()); }
    Bytes Send(const Bytes& tx, std::chrono::nanoseconds phase)
    {
        Bytes rx;
        for (std::uint8_t b : tx)
            rx.push_back(target.ClockByte(b, phase, phase));
        return rx;
    }
    std::uint8_t Read(std::uint16_t a) { return Send({0x20, std::uint8_t(a >> 8), std::uint8_t(a), 0})[3]; }
    void Enable() { ASSERT_EQ(Send({0xAC, 0x53, 0, 0})[3], CSimIspTarget::kEnableAnswer); }

    CSimChip chip{SimChipType::AT89S52};
    CSimClock clock;
    CSimIspTarget target{chip, clock};
};

TEST(SimIspTarget, PhasesShorterThanEightCrystalPeriodsGarbleEveryBit)
{
    const struct {
        double crystalHz;
        std::chrono::nanoseconds phase;
        bool answers;
    } cases[] = {{12e6, 667ns, true},  // 8 periods of 83.3 ns, rounded
                 {12e6, 666ns, false}, {3e6, 2667ns, true},
                 {3e6, 1000ns, false}};  // what a host believing 12 MHz may drive
    for (const auto& c : cases) {
        Bench b(c.crystalHz);
        const Bytes reply = b.Send({0xAC, 0x53, 0x00, 0x00}, c.phase);
        EXPECT_EQ(reply[3] == CSimIspTarget::kEnableAnswer, c.answers)
            << c.crystalHz << " Hz, " << c.phase.count() << " ns";
        EXPECT_EQ(b.target.ProgrammingEnabled(), c.answers);
        EXPECT_EQ(b.target.ShortPhases() == 0, c.answers);
    }
}

TEST(SimIspTarget, AByteWriteIsBusyForItsCycleAndLosesWhatEndsMeanwhile)
{
    Bench b;
    b.Enable();
    EXPECT_EQ(b.target.ByteWriteCycle(), 5333ns + 400us);
    b.Send({0x40, 0x01, 0x00, 0x5A});
    const auto written = b.clock.Now();
    // Data polling: bit 7 inverted while busy, other addresses readable.
    EXPECT_EQ(b.Read(0x0100) & 0x80, 0x80);
    EXPECT_EQ(b.Read(0x0101), 0xFF);
    // A second write ending inside the cycle is not taken.
    b.Send({0x40, 0x01, 0x01, 0x11});
    EXPECT_EQ(b.chip.PeekByte(0x0101), 0xFF);
    EXPECT_EQ(b.target.LostInstructions(), 1u);
    b.clock.AdvanceTo(written + b.target.ByteWriteCycle());
    EXPECT_EQ(b.Read(0x0100), 0x5A);
    b.Send({0x40, 0x01, 0x01, 0x11});
    EXPECT_EQ(b.chip.PeekByte(0x0101), 0x11);
}

TEST(SimIspTarget, PageModeMovesAPageAndIsPolledOnItsBytes)
{
    Bench b;
    b.Enable();
    Bytes page(256);
    for (int i = 0; i < 256; ++i)
        page[std::size_t(i)] = std::uint8_t(i * 7 + 3);
    Bytes write = {0x50, 0x12};
    write.insert(write.end(), page.begin(), page.end());
    b.Send(write);
    EXPECT_EQ(b.chip.PeekByte(0x1200), page[0]);
    EXPECT_EQ(b.chip.PeekByte(0x12FF), page[255]);
    // The page's last byte polls with bit 7 inverted until the cycle ends.
    EXPECT_EQ(b.Read(0x12FF) & 0x80, ~page[255] & 0x80);
    b.clock.Advance(CSimIspTarget::kPageWriteCycle);
    EXPECT_EQ(b.Read(0x12FF), page[255]);

    Bytes read(258, 0x00);
    read[0] = 0x30;
    read[1] = 0x12;
    const Bytes reply = b.Send(read);
    EXPECT_EQ(Bytes(reply.begin() + 2, reply.end()), page);
    // The next instruction is a 4-byte one again.
    EXPECT_EQ(b.Read(0x1201), page[1]);
    EXPECT_EQ(b.target.Frames(), 6u);
}

TEST(SimIspTarget, LockBitsReadBackAsProgrammed)
{
    const std::uint8_t expected[] = {0x00, 0x04, 0x0C, 0x1C};
    for (int level = 0; level <= 3; ++level) {
        Bench b;
        b.Enable();
        if (level > 0)
            b.Send({0xAC, std::uint8_t(0xE0 + level), 0, 0});
        EXPECT_EQ(b.Send({0x24, 0, 0, 0})[3], expected[level]) << level;
    }
}

}  // namespace
