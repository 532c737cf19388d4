// The FTDI line layer's batching against a scripted chip: samples come back
// in parts, batches split at the chip's buffer, and a cable that fails or
// falls silent is reported rather than read as data.

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "isp/FtdiLines.h"

namespace {

// Synchronous bit-bang with MISO (D1) wired back to MOSI (D2): each sample
// shows the state before its byte, so MISO echoes the MOSI of the byte
// before. Reads hand back at most `chunk` samples each.
class CLoopbackFtdi : public IFtdiBitBang {
public:
    bool Write(const std::uint8_t* data, int size) override
    {
        writes.push_back(size);
        if (failWrites)
            return false;
        for (int i = 0; i < size; ++i) {
            pending.push_back(std::uint8_t(((last >> 2) & 1) << 1));
            last = data[i];
        }
        return true;
    }
    int Read(std::uint8_t* data, int size) override
    {
        ++reads;
        if (silent)
            return 0;
        const int n = std::min({size, chunk, int(pending.size())});
        std::copy_n(pending.begin(), n, data);
        pending.erase(pending.begin(), pending.begin() + n);
        return n;
    }
    std::string Error() const override { return "ftdi: USB write failed: gone"; }
    FtdiChipKind Kind() const override { return FtdiChipKind::FT232R; }
    int Baud() const override { return 9600; }

    std::vector<int> writes;
    int reads = 0;
    int chunk = 1 << 20;
    bool failWrites = false;
    bool silent = false;
    std::deque<std::uint8_t> pending;
    std::uint8_t last = 0;
};

struct Lines {
    Lines()
    {
        auto made = std::make_unique<CLoopbackFtdi>();
        chip = made.get();
        lines = std::make_unique<CFtdiLines>(FtdiWiring{}, "ftdi", std::move(made),
                                             LinesOpenFailure{});
    }
    // Shifts bits out on MOSI inside one frame, sampling MISO after each.
    std::vector<std::uint8_t> Frame(int bits)
    {
        std::vector<std::uint8_t> rx(std::size_t(bits + 7) / 8);
        lines->BeginFrame();
        for (int i = 0; i < bits; ++i) {
            lines->SetMosi(Bit(i));
            lines->SetSck(1);  // the sample shows the lines now: MOSI as set
            lines->SampleMiso(rx[std::size_t(i / 8)], std::uint8_t(0x80 >> (i % 8)));
            lines->SetSck(0);
        }
        lines->EndFrame();
        return rx;
    }
    static int Bit(int i) { return (i * 7 + i / 3) % 2; }
    static std::vector<std::uint8_t> Expected(int bits)
    {
        std::vector<std::uint8_t> rx(std::size_t(bits + 7) / 8);
        for (int i = 0; i < bits; ++i)
            if (Bit(i))
                rx[std::size_t(i / 8)] |= std::uint8_t(0x80 >> (i % 8));
        return rx;
    }

    CLoopbackFtdi* chip = nullptr;
    std::unique_ptr<CFtdiLines> lines;
};

TEST(FtdiLines, AFrameIsOneWriteWhateverPiecesItsSamplesComeBackIn)
{
    for (int chunk : {1000, 62, 7, 1}) {
        Lines l;
        l.chip->chunk = chunk;
        EXPECT_EQ(l.Frame(32), Lines::Expected(32)) << chunk;
        EXPECT_EQ(l.chip->writes, (std::vector<int>{96})) << chunk;
        EXPECT_EQ(l.chip->reads, (96 + chunk - 1) / chunk) << chunk;
        EXPECT_FALSE(l.lines->Failed());
    }
}

TEST(FtdiLines, ALongBatchSplitsAtTheBytesInFlightAndKeepsEverySample)
{
    Lines l;
    // 100 bits: 300 bytes, more than the 128 an FT232R takes at once.
    EXPECT_EQ(l.Frame(100), Lines::Expected(100));
    EXPECT_EQ(l.chip->writes, (std::vector<int>{CFtdiLines::kMaxBatch, CFtdiLines::kMaxBatch,
                                                300 - 2 * CFtdiLines::kMaxBatch}));
}

TEST(FtdiLines, OutsideAFrameEachChangeAndSampleIsAnExchange)
{
    Lines l;
    l.lines->SetMosi(1);
    EXPECT_EQ(l.lines->ReadMiso(), 1);
    l.lines->SetMosi(0);
    EXPECT_EQ(l.lines->ReadMiso(), 0);
    EXPECT_EQ(l.chip->writes, (std::vector<int>{1, 1, 1, 1}));
}

TEST(FtdiLines, AFailedWriteIsReportedAndReadsHighFromThenOn)
{
    Lines l;
    l.chip->failWrites = true;
    EXPECT_EQ(l.Frame(8), std::vector<std::uint8_t>{0xFF});
    EXPECT_TRUE(l.lines->Failed());
    EXPECT_EQ(l.lines->LastError(), "ftdi: USB write failed: gone");
    // Nothing more goes to a cable that is gone.
    l.Frame(8);
    EXPECT_EQ(l.chip->writes.size(), 1u);
}

TEST(FtdiLines, ASilentCableTimesOut)
{
    Lines l;
    l.chip->silent = true;
    EXPECT_EQ(l.Frame(8), std::vector<std::uint8_t>{0xFF});
    EXPECT_TRUE(l.lines->Failed());
    EXPECT_NE(l.lines->LastError().find("no samples back"), std::string::npos) << l.lines->LastError();
}

}  // namespace

namespace {

// Issue 19: the sample taken after a frame's last change is the sample of a
// byte not yet written; the frame's end must add that byte, or the bit is
// never filled in.
TEST(FtdiLines, AFrameThatEndsWithASampleGetsItsExtraByte)
{
    Lines l;
    std::uint8_t rx = 0;
    l.lines->BeginFrame();
    l.lines->SetMosi(1);
    l.lines->SetSck(1);
    l.lines->SampleMiso(rx, 0x80);
    l.lines->EndFrame();
    EXPECT_EQ(l.chip->writes, (std::vector<int>{3}));
    EXPECT_EQ(rx, 0x80);
}

// A Shift is two states a bit and one to end it; without a place for its
// answer it stays queued with the ones after it, up to the bytes in flight.
TEST(FtdiLines, ShiftsThatNeedNoAnswerAreBatchedUpToTheBytesInFlight)
{
    Lines l;
    const std::uint8_t frame[4] = {0x40, 0x12, 0x34, 0x5A};
    l.lines->Shift(frame, {});
    EXPECT_TRUE(l.chip->writes.empty());
    l.lines->Shift(frame, {});  // 130 states: the first 128 go
    EXPECT_EQ(l.chip->writes, (std::vector<int>{CFtdiLines::kMaxBatch}));
    std::uint8_t in[2] = {};
    const std::uint8_t echo[2] = {0xA5, 0x3C};
    l.lines->Shift(echo, in);  // an answer is wanted: everything goes now
    EXPECT_EQ(l.chip->writes, (std::vector<int>{CFtdiLines::kMaxBatch, 2 + 33}));
    // The loopback shows each bit's MOSI in the sample after its rise.
    EXPECT_EQ(in[0], 0xA5);
    EXPECT_EQ(in[1], 0x3C);
}

// A short wait is idle states timed by the chip; one that would overfill
// the batch is a host wait after what is queued has gone.
TEST(FtdiLines, ShortWaitsAreIdleStatesInTheStream)
{
    Lines l;
    const auto state = l.lines->StateTime();
    ASSERT_GT(state.count(), 0);
    l.lines->Wait(10 * state - std::chrono::nanoseconds(1));
    l.lines->Flush();
    EXPECT_EQ(l.chip->writes, (std::vector<int>{10}));
    l.lines->Wait(200 * state);
    EXPECT_EQ(l.chip->writes.size(), 1u);
}

}  // namespace
