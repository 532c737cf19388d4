// The FTDI line layer's stream against a scripted chip: exchanges in
// flight, time kept in idle states, and a cable that fails or falls silent
// reported rather than read as data.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>

#include "isp/FtdiLines.h"
#include "isp/FtdiRate.h"

namespace {

using namespace std::chrono_literals;

// Synchronous bit-bang with MISO (D1) wired back to MOSI (D2): each sample
// shows the state before its byte, so MISO echoes the MOSI of the byte
// before. Every byte submitted is kept in one stream.
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
    bool Collect(std::uint8_t* samples, int size, std::chrono::milliseconds) override
    {
        ++collects;
        if (silent || inFlight.empty() || int(inFlight.front().size()) != size) {
            inFlight.clear();
            return false;
        }
        std::copy(inFlight.front().begin(), inFlight.front().end(), samples);
        inFlight.pop_front();
        return true;
    }
    bool SetOutputs(std::uint8_t mask) override
    {
        changes.push_back({mask, stream.size(), inFlight.size()});
        return !failChanges;
    }
    std::string Error() const override { return "ftdi: USB write failed: gone"; }
    FtdiChipKind Kind() const override { return FtdiChipKind::FT232R; }
    int Baud() const override { return 9600; }

    // The outputs as changed: after how many bytes, with how many
    // exchanges in flight.
    struct Change {
        std::uint8_t mask;
        std::size_t after;
        std::size_t inFlight;
    };
    std::vector<Change> changes;
    bool failChanges = false;
    std::vector<int> submits;
    int collects = 0;
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

// A frame is one exchange, answered when it ends; a long one is cut into
// exchanges, never more in flight than the limit, every sample in place.
TEST(FtdiLines, FramesArePipelinedAndKeepEverySample)
{
    const int full = CFtdiLines::kExchangeBytes;
    const struct {
        int bits;
        std::vector<int> submits;
    } cases[] = {{32, {96}}, {500, {full, full, full, full, full, 1500 - 5 * full}}};
    for (const auto& c : cases) {
        Lines l;
        EXPECT_EQ(l.Frame(c.bits), Lines::Expected(c.bits));
        EXPECT_EQ(l.chip->submits, c.submits);
        EXPECT_EQ(l.chip->collects, int(c.submits.size()));
        EXPECT_LE(l.chip->mostInFlight, std::size_t(CFtdiLines::kMaxInFlight));
    }
}

TEST(FtdiLines, OutsideAFrameEachChangeAndSampleIsAnExchange)
{
    Lines l;
    l.lines->SetMosi(1);
    EXPECT_EQ(l.lines->ReadMiso(), 1);
    l.lines->SetMosi(0);
    EXPECT_EQ(l.lines->ReadMiso(), 0);
    EXPECT_EQ(l.chip->submits, (std::vector<int>{1, 1, 1, 1}));
}

// Between operations only RST is an output, low. The outputs change only
// once every byte before has come back (the request would overtake them);
// RST goes low before MOSI and SCK are let go, and they are low before
// they are driven again; a byte that would change nothing is left out. A
// change that fails is the lines' failure.
TEST(FtdiLines, BetweenOperationsOnlyRstIsDrivenLow)
{
    const FtdiWiring wiring;
    const auto rst = std::uint8_t(1u << wiring.m_nRst);
    const auto mosi = std::uint8_t(1u << wiring.m_nMosi);
    const auto sck = std::uint8_t(1u << wiring.m_nSck);
    const std::uint8_t frame[4] = {0xAC, 0x53, 0x00, 0x01};
    Lines l;
    const auto& changes = l.chip->changes;
    const auto& stream = l.chip->stream;
    l.lines->Prepare();  // the open left them all outputs
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].mask, rst);
    for (int operation = 0; operation < 2; ++operation) {
        SCOPED_TRACE(operation);
        const std::size_t before = changes.size();
        l.lines->EnableOutputs(true);
        ASSERT_EQ(changes.size(), before + 1);
        EXPECT_EQ(changes.back().mask, wiring.OutputMask());
        EXPECT_EQ(changes.back().inFlight, 0u);
        EXPECT_EQ(changes.back().after, stream.size());
        EXPECT_EQ(stream.back() & (mosi | sck), 0);
        l.lines->SetSck(1);
        l.lines->SetMosi(1);
        l.lines->SetRst(1);
        EXPECT_EQ(stream.back(), rst | mosi | sck);
        l.lines->Shift(frame, {});  // held back, MOSI left high
        l.lines->ReleaseTarget();
        l.lines->ReleaseTarget();  // the worker's guard after the engine's own
        ASSERT_EQ(changes.size(), before + 2);
        EXPECT_EQ(changes.back().mask, rst);
        EXPECT_EQ(changes.back().inFlight, 0u);
        EXPECT_EQ(changes.back().after, stream.size());
        EXPECT_EQ(stream.back(), mosi) << "RST low, the others as they were";
    }
    // RST already low (the end of programming): no byte that changes nothing.
    l.lines->EnableOutputs(true);
    const std::size_t sent = stream.size();
    l.lines->ReleaseTarget();
    EXPECT_EQ(stream.size(), sent);
    EXPECT_EQ(changes.back().mask, rst);
    EXPECT_FALSE(l.lines->Failed());
    l.chip->failChanges = true;
    l.lines->EnableOutputs(true);
    EXPECT_TRUE(l.lines->Failed());
    EXPECT_EQ(l.lines->LastError(), "ftdi: USB write failed: gone");
}

// Whether an exchange could not start or its answer never came, with
// others in flight, the failure is reported, what was asked reads high, and
// nothing more goes to the cable.
TEST(FtdiLines, AFailedExchangeIsReportedAndReadsHighFromThenOn)
{
    const std::uint8_t frame[4] = {0x40, 0x12, 0x34, 0x5A};
    for (bool silent : {false, true}) {
        Lines l;
        for (int i = 0; i < 20; ++i)
            l.lines->Shift(frame, {});
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

}  // namespace

namespace {

using namespace std::chrono_literals;

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

// A wait of up to a couple of milliseconds is idle states, as many as last
// it even on a chip as much faster than asked as libftdi lets it run; a
// longer one is the host's, once all that was sent has come back.
TEST(FtdiLines, ShortWaitsAreIdleStatesInTheStream)
{
    const double fastest = FtdiRate::StatesPerSecond(FtdiChipKind::FT232R, 9600)
        * FtdiRate::kGeneratorTolerance / 1e9;
    for (std::chrono::nanoseconds wait : {16280ns, 405000ns, 2000000ns}) {
        Lines l;
        l.lines->Wait(wait);
        l.lines->Flush();
        const auto states = double(l.chip->stream.size());
        EXPECT_GE(states / fastest, double(wait.count())) << wait.count();
        EXPECT_LT((states - 1) / fastest, double(wait.count())) << wait.count();
    }
    Lines l;
    l.lines->SetMosi(1);
    const auto start = std::chrono::steady_clock::now();
    l.lines->Wait(CFtdiLines::kLongestStreamedWait + 100us);
    EXPECT_GE(std::chrono::steady_clock::now() - start, CFtdiLines::kLongestStreamedWait + 100us);
    EXPECT_EQ(l.chip->stream.size(), 1u);
}

// A held frame end (a byte's write cycle) puts idle states, SCK low, before
// the next frame's last rise, so that it comes the hold's states after the
// fall that ended the frame before, wherever the exchanges are cut; a
// frame that takes that long anyway is not padded.
TEST(FtdiLines, AHeldFrameEndDelaysTheNextFramesLastRiseInTheStream)
{
    const std::uint8_t frame[4] = {0x40, 0x12, 0x34, 0x5A};
    const auto sck = std::uint8_t(1u << FtdiWiring{}.m_nSck);
    for (std::chrono::nanoseconds hold : {0ns, 60000ns, 405000ns, 1500000ns}) {
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
