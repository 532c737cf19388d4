// The engine and the family handler on a line layer that moves whole frames
// itself (as an SPI controller does): each frame arrives in one piece, the
// layer keeps its own time, and what the chip answers is checked.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "isp/IspByteModeFamily.h"
#include "isp/IspLines.h"
#include "isp/IspEngine.h"
#include "isp/IspTiming.h"
#include "programmer/Programmer.h"
#include "programmer/StatusCode.h"
#include "programmer/StatusQueue.h"
#include "tests/support/RecordingMessageSink.h"

namespace {

// A layer that moves bytes itself (as an SPI controller does): it is never
// asked to toggle SCK or MOSI inside a frame. Behind it a chip of sorts:
// signature 50 51 52, lock bits lockBits, programming enable answered from
// its (silentEnables + 1)th try on, and 8 KB that byte and page writes
// program (but not the byte at lostAddress) and reads give back.
class CFrameMovingLines : public IIspLines {
public:
    bool IsOpen() const override { return true; }
    std::string Describe() const override { return "frames"; }
    std::string LastError() const override { return {}; }
    void SetMosi(int) override { ++lineChanges; }
    void SetRst(int) override { ++lineChanges; }
    void SetSck(int) override { ++lineChanges; }
    int ReadMiso() override { return 1; }
    void Shift(std::span<const std::uint8_t> tx, std::span<std::uint8_t> in) override
    {
        char head[16];
        std::snprintf(head, sizeof head, "%02X %02X %02X %02X", tx[0], tx[1], tx[2], tx[3]);
        shifts.push_back(head);
        std::vector<std::uint8_t> rx(tx.begin(), tx.end());
        const int address = ((tx[1] << 8) | (tx.size() > 2 ? tx[2] : 0)) & 0x1FFF;
        if (tx[0] == 0x28)
            rx[3] = std::uint8_t(0x50 + tx[1]);
        else if (tx[0] == 0x24)
            rx[3] = lockBits;
        else if (tx[0] == 0xAC && tx[1] == 0x53 && enables++ >= silentEnables)
            rx[3] = 0x69;
        else if (tx[0] == 0x40 && address != lostAddress)
            memory[std::size_t(address)] &= tx[3];
        else if (tx[0] == 0x20)
            rx[3] = std::uint8_t(memory[std::size_t(address)] ^ (pageNeverDone ? 0x80 : 0));
        else if (tx[0] == 0x50 || tx[0] == 0x30)
            for (std::size_t i = 0; i + 2 < tx.size(); ++i) {
                std::uint8_t& cell = memory[((tx[1] << 8) + i) & 0x1FFF];
                if (tx[0] == 0x50)
                    cell &= tx[i + 2];
                else
                    rx[i + 2] = cell;
            }
        if (!in.empty())
            std::copy(rx.begin(), rx.end(), in.begin());
    }
    void Wait(std::chrono::nanoseconds duration) override { waited += duration; }
    void HoldNextFrameEnd(std::chrono::nanoseconds duration) override { held += duration; }
    int Count(const std::string& start) const
    {
        return int(std::count_if(shifts.begin(), shifts.end(),
                                 [&](const std::string& s) { return s.rfind(start, 0) == 0; }));
    }

    std::vector<std::string> shifts;
    int enables = 0;
    int silentEnables = 0;
    std::uint8_t lockBits = 0;
    int lineChanges = 0;
    std::chrono::nanoseconds waited{0};
    std::chrono::nanoseconds held{0};
    std::vector<std::uint8_t> memory = std::vector<std::uint8_t>(0x2000, 0xFF);
    int lostAddress = -1;
    bool pageNeverDone = false;
};

// The engine on such a layer, driven through the controller.
struct FrameEngine {
    explicit FrameEngine(CIspEngine::Algorithm algorithm = CIspEngine::Algorithm::kPolled,
                         bool pageWrite = false)
    {
        programmer.SetCatalogue({{"AT89S52", 2, 8, 5.0f, {0x1E, 0x52, 0x06}}});
        programmer.m_bPageWrite = pageWrite;
        auto made = std::make_unique<CIspEngine>(algorithm);
        auto lines = std::make_unique<CFrameMovingLines>();
        layer = lines.get();
        engine = made.get();
        EXPECT_EQ(engine->Init(&programmer, std::move(lines)), 1);
        programmer.SetBackend(1, std::move(made));
    }
    // The operation's outcome, progress counted, the worker gone.
    int Outcome()
    {
        std::optional<StatusEvent> event;
        for (;;) {
            event = queue.Wait(std::chrono::seconds(10));
            if (!event)
                break;
            if (event->kind != StatusEvent::Kind::Status || event->value == kStatusParallelReady)
                continue;
            if (event->value != kStatusWriteProgress && event->value != kStatusReadProgress)
                break;
            ++progress;
        }
        engine->WaitIdle();
        return event ? event->value : -1;
    }

    CStatusQueue queue;
    CRecordingMessageSink messages;
    CProgrammer programmer{queue, messages};
    CFrameMovingLines* layer = nullptr;
    CIspEngine* engine = nullptr;
    int progress = 0;
};

TEST(IspFrameLink, ALayerThatMovesFramesGetsEachFrameWholeAndItsOwnWaits)
{
    FrameEngine f;
    f.programmer.DetectDevice(0);
    EXPECT_EQ(f.Outcome(), kStatusNoDevice);  // 50 51 52 is nobody's signature
    EXPECT_EQ(f.layer->shifts, (std::vector<std::string>{"AC 53 00 00", "28 00 00 00",
                                                         "28 01 00 00", "28 02 00 00"}));
    EXPECT_EQ(f.programmer.Signature(), (std::array<std::uint8_t, 3>{0x50, 0x51, 0x52}));
    // The reset pulse and the idle lines after it: line changes of their own.
    EXPECT_EQ(f.layer->lineChanges, 3 + 1 + 3);
    // The two waits of the reset pulse passed the layer's way, not asleep.
    EXPECT_EQ(f.layer->waited, std::chrono::milliseconds(20));
}

// What the chip answers is checked: programming enable (three more reset
// pulses, then the operation fails with the reason, no erase sent), and a
// lock's bits read back (0x24, xxx LB3 LB2 LB1 xx) all set.
TEST(IspFrameLink, AnswersAreCheckedAndFailuresSayWhy)
{
    const std::string noAnswer = "芯片没有应答编程使能指令, 请检查连线、晶振和电源.";
    const std::string notLocked = "锁定位写入后读回不符, 芯片没有被锁定.";
    const struct {
        int silent;  // enables that go unanswered
        int level;   // 0: erase, else lock at that level
        std::uint8_t bits;
        int outcome;
        const std::string& note;
    } cases[] = {{3, 0, 0, kStatusEraseDone, {}},           {4, 0, 0, kStatusReceiveError, noAnswer},
                 {1, 1, 0x04, kStatusLockDone, {}},         {0, 1, 0x00, kStatusReceiveError, notLocked},
                 {0, 3, 0xFF, kStatusLockDone, {}},         {0, 3, 0x0C, kStatusReceiveError, notLocked},
                 {100, 2, 0x0C, kStatusReceiveError, noAnswer}};
    for (const auto& c : cases) {
        FrameEngine f;
        f.layer->silentEnables = c.silent;
        f.layer->lockBits = c.bits;
        if (c.level)
            f.programmer.LockDevice(0, c.level);
        else
            f.programmer.EraseDevice(0);
        EXPECT_EQ(f.Outcome(), c.outcome) << c.silent << " " << c.level;
        EXPECT_EQ(f.engine->TakeFailureNote(), c.note);
        if (c.silent > CIspEngine::kEnableRetries)
            EXPECT_EQ(f.layer->shifts, std::vector<std::string>(4, "AC 53 00 00"));
        else if (c.level)
            EXPECT_EQ(f.layer->shifts.back(), "24 00 00 00");
        else
            EXPECT_EQ(f.layer->Count("AC 80"), 1);
    }
}

// The streaming kinds write without read-back polls: only the bytes an
// erase has not left there already, each write cycle held by the layer,
// then the whole image read back in page mode. Progress counts the bytes
// written; a verify afterwards reads the image's length.
TEST(IspFrameLink, StreamedWritesSkipErasedBytesAndVerifyTheImage)
{
    FrameEngine f(CIspEngine::Algorithm::kStreamed);
    int toWrite = 0;
    for (int i = 0; i < 300; ++i) {
        f.programmer.Buffer1[i] = i % 5 == 0 ? 0xFF : std::uint8_t(i);
        toWrite += i % 5 != 0;
    }
    f.programmer.WriteDevice(0);
    EXPECT_EQ(f.Outcome(), kStatusWriteDone);
    EXPECT_EQ(f.layer->Count("40 "), toWrite);
    EXPECT_EQ(f.layer->Count("20 "), 300 - 256);  // the tail, a byte at a time
    EXPECT_EQ(f.layer->Count("30 00"), 1);        // the first page whole
    EXPECT_EQ(f.progress, (toWrite - 1) / 15 + 1);
    EXPECT_EQ(f.programmer.m_nLength.load(), 300);
    EXPECT_EQ(f.layer->held, toWrite * IspTiming::ByteWriteCycle(12e6));
    EXPECT_TRUE(std::equal(f.layer->memory.begin(), f.layer->memory.begin() + 300,
                           f.programmer.Buffer1));

    // A read of the chip: page mode, a progress step a page.
    f.layer->shifts.clear();
    f.progress = 0;
    f.programmer.ReadDevice(0);
    EXPECT_EQ(f.Outcome(), kStatusReadDone);
    EXPECT_EQ(f.layer->Count("30 "), 32);
    EXPECT_EQ(f.progress, 32);
    EXPECT_TRUE(std::equal(f.programmer.Buffer2, f.programmer.Buffer2 + 300, f.programmer.Buffer1));

    // A byte the chip did not take fails the write, with where and what.
    f.layer->lostAddress = 0x123;
    f.layer->memory.assign(f.layer->memory.size(), 0xFF);
    f.programmer.WriteDevice(0);
    EXPECT_EQ(f.Outcome(), kStatusWriteError);
    EXPECT_EQ(f.engine->TakeFailureNote(), "写入后读回不符: 地址 0x0123 应为 23, 读出 FF.");
}

// Page mode: one instruction a page holding other bytes than 0xFF, polled
// on its last byte; a page that never reads back fails within the limit.
TEST(IspFrameLink, PageWritesArePolledWithinTheirLimit)
{
    for (bool never : {false, true}) {
        FrameEngine f(CIspEngine::Algorithm::kStreamed, true);
        f.programmer.Buffer1[3] = 0x12;
        f.programmer.Buffer1[0x200] = 0x34;  // page 1 stays erased
        f.programmer.Buffer1[0x2FF] = 0x56;
        f.layer->pageNeverDone = never;
        f.programmer.WriteDevice(0);
        EXPECT_EQ(f.Outcome(), never ? kStatusWriteError : kStatusWriteDone);
        EXPECT_EQ(f.layer->Count("50 "), never ? 1 : 2);
        EXPECT_EQ(f.layer->Count("40 "), 0);
        if (never)
            EXPECT_GE(f.layer->waited, CIspByteModeFamily::kPageWriteLimit);
        else
            EXPECT_EQ(f.layer->memory[0x2FF], 0x56);
    }
}

}  // namespace
