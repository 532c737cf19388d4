// The FTDI line layer's batching against a scripted chip: samples come back
// in parts, batches split at the chip's buffer, and a cable that fails or
// falls silent is reported rather than read as data.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>

#include "isp/FtdiLines.h"
#include "isp/FtdiRate.h"

namespace {

// Synchronous bit-bang with MISO (D1) wired back to MOSI (D2): each sample
// shows the state before its byte, so MISO echoes the MOSI of the byte
// before. Exchanges are answered in order when collected; the bytes of all
// of them are kept as one stream.
class CLoopbackFtdi : public IFtdiBitBang {
public:
    bool Submit(const std::uint8_t* data, int size) override
    {
        submits.push_back(size);
        if (failSubmits)
            return false;
        std::vector<std::uint8_t> samples;
        for (int i = 0; i < size; ++i) {
            samples.push_back(std::uint8_t(((last >> 2) & 1) << 1));
            last = data[i];
            stream.push_back(data[i]);
        }
        inFlight.push_back(std::move(samples));
        mostInFlight = std::max(mostInFlight, inFlight.size());
        return true;
    }
    bool Collect(std::uint8_t* samples, int size, std::chrono::milliseconds timeout) override
    {
        ++collects;
        lastTimeout = timeout;
        if (silent || inFlight.empty() || int(inFlight.front().size()) != size) {
            inFlight.clear();
            return false;
        }
        std::copy(inFlight.front().begin(), inFlight.front().end(), samples);
        inFlight.pop_front();
        return true;
    }
    std::string Error() const override { return "ftdi: USB write failed: gone"; }
    FtdiChipKind Kind() const override { return FtdiChipKind::FT232R; }
    int Baud() const override { return 9600; }

    std::vector<int> submits;
    int collects = 0;
    std::chrono::milliseconds lastTimeout{0};
    bool failSubmits = false;
    bool silent = false;
    std::deque<std::vector<std::uint8_t>> inFlight;
    std::size_t mostInFlight = 0;
    std::vector<std::uint8_t> stream;
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

TEST(FtdiLines, AFrameIsOneExchangeAnsweredWhenItEnds)
{
    Lines l;
    EXPECT_EQ(l.Frame(32), Lines::Expected(32));
    EXPECT_EQ(l.chip->submits, (std::vector<int>{96}));
    EXPECT_EQ(l.chip->collects, 1);
    EXPECT_FALSE(l.lines->Failed());
}

// A long frame is cut into exchanges, several in flight at once but never
// more than the limit, and every sample lands where it was asked for.
TEST(FtdiLines, ALongFrameIsPipelinedAndKeepsEverySample)
{
    Lines l;
    // 500 bits: 1500 bytes, six exchanges.
    EXPECT_EQ(l.Frame(500), Lines::Expected(500));
    const int full = CFtdiLines::kExchangeBytes;
    EXPECT_EQ(l.chip->submits, (std::vector<int>{full, full, full, full, full, 1500 - 5 * full}));
    EXPECT_EQ(l.chip->mostInFlight, std::size_t(CFtdiLines::kMaxInFlight));
    EXPECT_EQ(l.chip->collects, 6);
}

TEST(FtdiLines, OutsideAFrameEachChangeAndSampleIsAnExchange)
{
    Lines l;
    l.lines->SetMosi(1);
    EXPECT_EQ(l.lines->ReadMiso(), 1);
    l.lines->SetMosi(0);
    EXPECT_EQ(l.lines->ReadMiso(), 0);
    EXPECT_EQ(l.chip->submits, (std::vector<int>{1, 1, 1, 1}));
    EXPECT_EQ(l.chip->collects, 4);
}

// Whether the exchange could not start or its answer never came, the
// failure is reported, what was asked reads high, and nothing more goes to
// the cable.
TEST(FtdiLines, AFailedExchangeIsReportedAndReadsHighFromThenOn)
{
    for (bool silent : {false, true}) {
        Lines l;
        l.chip->failSubmits = !silent;
        l.chip->silent = silent;
        EXPECT_EQ(l.Frame(8), std::vector<std::uint8_t>{0xFF}) << silent;
        EXPECT_TRUE(l.lines->Failed());
        EXPECT_EQ(l.lines->LastError(), "ftdi: USB write failed: gone");
        const auto submits = l.chip->submits.size();
        const int collects = l.chip->collects;
        EXPECT_EQ(l.Frame(8), std::vector<std::uint8_t>{0xFF});
        EXPECT_EQ(l.chip->submits.size(), submits);
        EXPECT_EQ(l.chip->collects, collects);
    }
}

// A failure while later exchanges are in flight: the answer wanted at the
// end is not taken from them.
TEST(FtdiLines, AFailureInFlightIsNotHiddenByLaterExchanges)
{
    Lines l;
    const std::uint8_t frame[4] = {0x40, 0x12, 0x34, 0x5A};
    for (int i = 0; i < 20; ++i)
        l.lines->Shift(frame, {});
    ASSERT_GT(l.chip->inFlight.size(), 1u);
    l.chip->silent = true;
    std::uint8_t in[1] = {};
    const std::uint8_t echo[1] = {0x00};
    l.lines->Shift(echo, in);
    EXPECT_TRUE(l.lines->Failed());
    EXPECT_EQ(in[0], 0xFF);
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
    EXPECT_EQ(l.chip->submits, (std::vector<int>{3}));
    EXPECT_EQ(rx, 0x80);
}

// A Shift is two states a bit and one to end it; without a place for its
// answer it goes with the ones after it, and nobody waits for it until an
// answer is wanted.
TEST(FtdiLines, ShiftsThatNeedNoAnswerAreStreamedWithoutWaiting)
{
    Lines l;
    const std::uint8_t frame[4] = {0x40, 0x12, 0x34, 0x5A};
    l.lines->Shift(frame, {});
    EXPECT_TRUE(l.chip->submits.empty());
    for (int i = 0; i < 3; ++i)
        l.lines->Shift(frame, {});  // 260 states: an exchange's worth goes
    EXPECT_EQ(l.chip->submits, (std::vector<int>{CFtdiLines::kExchangeBytes}));
    EXPECT_EQ(l.chip->collects, 0);
    std::uint8_t in[2] = {};
    const std::uint8_t echo[2] = {0xA5, 0x3C};
    l.lines->Shift(echo, in);  // an answer is wanted: everything goes now
    EXPECT_EQ(l.chip->submits, (std::vector<int>{CFtdiLines::kExchangeBytes, 4 + 33}));
    EXPECT_EQ(l.chip->collects, 2);
    // The loopback shows each bit's MOSI in the sample after its rise.
    EXPECT_EQ(in[0], 0xA5);
    EXPECT_EQ(in[1], 0x3C);
}

// A wait of up to a couple of milliseconds is idle states timed by the
// chip, as many as last the wait even when the chip runs as much faster
// than asked as libftdi lets it; a longer one is the host's, once all that
// was sent has come back.
TEST(FtdiLines, ShortWaitsAreIdleStatesInTheStream)
{
    const double fastest = FtdiRate::StatesPerSecond(FtdiChipKind::FT232R, 9600)
        * FtdiRate::kGeneratorTolerance;
    for (auto wait : {std::chrono::nanoseconds(16280), std::chrono::nanoseconds(405000),
                      std::chrono::nanoseconds(CFtdiLines::kLongestStreamedWait)}) {
        Lines l;
        l.lines->Wait(wait);
        l.lines->Flush();
        const int states = int(l.chip->stream.size());
        EXPECT_GE(states / fastest, wait.count() / 1e9) << wait.count();
        EXPECT_LT((states - 1) / fastest, wait.count() / 1e9) << wait.count();
    }
    Lines l;
    l.lines->SetMosi(1);
    const auto start = std::chrono::steady_clock::now();
    const auto wait = CFtdiLines::kLongestStreamedWait + std::chrono::microseconds(100);
    l.lines->Wait(wait);
    EXPECT_GE(std::chrono::steady_clock::now() - start, wait);
    EXPECT_EQ(l.chip->submits, (std::vector<int>{1}));
}

// A held frame end (a byte's write cycle) puts idle states, SCK low, before
// the next frame's last rise, so that it comes the hold's states after the
// fall that ended the frame before, wherever the exchanges are cut; a
// frame that takes that long anyway is not padded.
TEST(FtdiLines, AHeldFrameEndDelaysTheNextFramesLastRiseInTheStream)
{
    const std::uint8_t frame[4] = {0x40, 0x12, 0x34, 0x5A};
    const auto sck = std::uint8_t(1u << FtdiWiring{}.m_nSck);
    for (auto hold : {std::chrono::nanoseconds(0), std::chrono::nanoseconds(60000),
                      std::chrono::nanoseconds(405000), std::chrono::nanoseconds(1500000)}) {
        Lines l;
        l.lines->Shift(frame, {});
        const std::size_t fall = l.chip->stream.size() + 64;  // queued, not sent yet
        l.lines->HoldNextFrameEnd(hold);
        l.lines->Shift(frame, {});
        l.lines->Flush();
        const auto& stream = l.chip->stream;
        ASSERT_EQ(stream[fall] & sck, 0);
        std::size_t rise = stream.size() - 1;
        while (!(stream[rise] & sck))
            --rise;
        EXPECT_EQ(rise - fall, std::max<std::size_t>(64, l.lines->StatesFor(hold)))
            << hold.count();
        EXPECT_EQ(stream.size(), rise + 2) << "the frame still ends with one fall";
    }
}

}  // namespace
