// Streaming on the timed chip model: GPIO and FTDI cables write back to
// back with the write cycle held by the clock, never losing a byte to it,
// at the pace the cycle (or the USB round trip) sets; page mode does the
// same a page at a time, and FTDI batches the states of a page read up to
// what may be in flight.

#include <gtest/gtest.h>

#include <random>

#include "isp/IspFamily.h"
#include "isp/IspTiming.h"
#include "tests/isp/PinKindBench.h"

namespace {

struct StreamCase {
    const char* name;
    Kind kind;
    int product;
    bool pageWrite;
};

class IspStreamingTest : public testing::TestWithParam<StreamCase> {
protected:
    PinKindBench m_bench;
};

TEST_P(IspStreamingTest, AnImageIsWrittenWithoutLosingAByteToItsCycle)
{
    const StreamCase& c = GetParam();
    PinKindBench& b = m_bench;
    b.m_programmer.m_bPageWrite = c.pageWrite;
    SimIspOptions options;
    options.ftdiProduct = c.product;
    ASSERT_EQ(b.Open(c.kind, options), kStatusParallelReady);
    std::mt19937 random(3);
    for (int i = 0; i < 1024; ++i) {
        // Every fourth byte left erased.
        b.m_programmer.Buffer1[i] = i % 4 == 3 ? 0xFF : std::uint8_t(random() & 0x7F);
    }
    ASSERT_EQ(b.Run(&CProgrammer::WriteDevice), kStatusWriteDone);
    EXPECT_EQ(b.m_board->Target().LostInstructions(), 0u);
    EXPECT_EQ(b.m_board->Target().ShortPhases(), 0u);
    for (int i = 0; i < 1024; ++i)
        ASSERT_EQ(b.m_board->Chip().PeekByte(std::uint32_t(i)), b.m_programmer.Buffer1[i]) << i;
    if (c.pageWrite)
        return;

    // The pace: a byte costs its write cycle, or a USB round trip where
    // that is longer (an FT232R's). The next frame is shifted in while the
    // cycle runs out; only its last bit waits.
    CIspFamily* family = b.m_isp->FindFamily(2);
    b.m_isp->Lines()->EnableOutputs(true);  // let go after the write
    ASSERT_EQ(family->ProgramEnable(), 1);
    const auto start = b.m_board->Clock().Now();
    for (int i = 0; i < 200; ++i)
        family->StreamByte(0x00, 0x1000 + i);
    family->EndStream();
    const auto perByte = (b.m_board->Clock().Now() - start) / 200;
    const auto cycle = IspTiming::ByteWriteCycle(12e6);
    EXPECT_GE(perByte, cycle);
    if (c.kind == Kind::Gpio)
        EXPECT_LE(perByte, cycle * 105 / 100);
    else if (c.product == 0x6014)
        EXPECT_LE(perByte, cycle * 120 / 100);
    else
        EXPECT_LE(perByte, b.m_ftdi->Latency() * 110 / 100);
    EXPECT_EQ(b.m_board->Target().LostInstructions(), 0u);
    EXPECT_EQ(b.m_board->Chip().PeekByte(0x10C7), 0x00);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, IspStreamingTest,
    testing::Values(StreamCase{"gpio", Kind::Gpio, 0x6001, false},
                    StreamCase{"ft232r", Kind::Ftdi, 0x6001, false},
                    StreamCase{"ft232h", Kind::Ftdi, 0x6014, false},
                    StreamCase{"gpioPages", Kind::Gpio, 0x6001, true},
                    StreamCase{"ft232hPages", Kind::Ftdi, 0x6014, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A page read is 258 bytes, two states a bit and one more: sent in
// batches of what may be in flight, each answered before the next.
TEST(FtdiBatching, APageReadGoesInFullBatches)
{
    PinKindBench b;
    ASSERT_EQ(b.Open(Kind::Ftdi), kStatusParallelReady);
    CIspFamily* family = b.m_isp->FindFamily(2);
    ASSERT_EQ(family->ProgramEnable(), 1);
    b.m_ftdi->ResetCounters();
    std::array<std::uint8_t, 256> page{};
    family->ReadBlock(0x100, page);
    const std::uint64_t states = 258 * 16 + 1;
    EXPECT_EQ(b.m_ftdi->BytesWritten(), states);
    EXPECT_EQ(b.m_ftdi->Transfers(), 2 * ((states + 127) / 128));
    EXPECT_EQ(page[0], 0xFF);
}

}  // namespace
