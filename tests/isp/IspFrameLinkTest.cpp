// The seams around the engine: a family handler talks to the chip only
// through a frame link (here a recording one, no engine), and a line layer
// that moves whole frames itself gets each frame in one piece.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "isp/IspByteModeFamily.h"
#include "isp/IspFrameLink.h"
#include "isp/IspLines.h"
#include "isp/IspEngine.h"
#include "programmer/Programmer.h"
#include "programmer/StatusCode.h"
#include "programmer/StatusQueue.h"
#include "tests/support/RecordingMessageSink.h"

namespace {

std::string Hex(std::span<const std::uint8_t> bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) {
        if (!text.empty())
            text += ' ';
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

// Writes down everything a handler asks of it; every frame answers with
// `answer` in its fourth byte.
class CRecordingLink : public IIspFrameLink {
public:
    void SetMosi(int level) override { log.push_back("MOSI" + std::to_string(level != 0)); }
    void SetRst(int level) override { log.push_back("RST" + std::to_string(level != 0)); }
    void SetSck(int level) override { log.push_back("SCK" + std::to_string(level != 0)); }
    Frame& TxFrame() override { return tx; }
    const Frame& RxFrame() const override { return rx; }
    void Transfer(int count) override
    {
        log.push_back(Hex(std::span(tx.data(), std::size_t(count))));
        rx = tx;
        rx[3] = answer;
    }
    void Exchange(std::span<const std::uint8_t> out, std::span<std::uint8_t> in) override
    {
        log.push_back((in.empty() ? "send " : "exchange ") + Hex(out));
    }
    void Wait(std::chrono::nanoseconds duration) override
    {
        log.push_back("wait " + std::to_string(duration.count() / 1000) + "us");
    }
    double CrystalHz() const override { return 12e6; }

    std::vector<std::string> log;
    Frame tx{};
    Frame rx{};
    std::uint8_t answer = 0;
};

TEST(IspFrameLink, TheByteModeFamilyNeedsNothingButTheLink)
{
    CRecordingLink link;
    CIspByteModeFamily family;
    family.Attach(&link);

    family.ProgramEnable();
    EXPECT_EQ(link.log, (std::vector<std::string>{"RST0", "MOSI0", "SCK0", "wait 10000us", "RST1",
                                                  "wait 10000us", "AC 53 00 00"}));
    link.log.clear();
    link.answer = 0x52;
    std::array<std::uint8_t, 3> signature{};
    family.ReadSignature(signature);
    EXPECT_EQ(link.log, (std::vector<std::string>{"28 00 00 00", "28 01 00 00", "28 02 00 00"}));
    EXPECT_EQ(signature, (std::array<std::uint8_t, 3>{0x52, 0x52, 0x52}));

    link.log.clear();
    link.answer = 0x77;
    EXPECT_EQ(family.ReadByte(0x1234), 0x77);
    // The left-over fourth byte is the signature frame's.
    EXPECT_EQ(link.log, (std::vector<std::string>{"20 12 34 00"}));

    link.log.clear();
    family.WriteLockBits(2);
    EXPECT_EQ(link.log, (std::vector<std::string>{"AC E1 34 00", "wait 1000us", "RST0", "MOSI0",
                                                  "SCK0", "wait 10000us", "RST1", "wait 10000us",
                                                  "AC 53 34 00", "AC E2 34 00", "wait 1000us"}));
    link.log.clear();
    family.EndProgramming();
    EXPECT_EQ(link.log, (std::vector<std::string>{"RST0", "MOSI1", "SCK1"}));
}

// A layer that moves bytes itself (as an SPI controller does): it is never
// asked to toggle SCK or MOSI inside a frame.
class CFrameMovingLines : public IIspLines {
public:
    bool IsOpen() const override { return true; }
    std::string Describe() const override { return "frames"; }
    std::string LastError() const override { return {}; }
    void SetMosi(int) override { ++lineChanges; }
    void SetRst(int) override { ++lineChanges; }
    void SetSck(int) override { ++lineChanges; }
    int ReadMiso() override { return 1; }
    // Signature bytes 50 51 52, lock bits lockBits, and programming enable
    // answered from its (silentEnables + 1)th try on.
    void Shift(std::span<const std::uint8_t> tx, std::span<std::uint8_t> rx) override
    {
        shifts.push_back(Hex(tx));
        for (std::size_t i = 0; i < rx.size(); ++i)
            rx[i] = tx[i];
        if (rx.size() != 4)
            return;
        if (tx[0] == 0x28)
            rx[3] = std::uint8_t(0x50 + tx[1]);
        else if (tx[0] == 0x24)
            rx[3] = lockBits;
        else if (tx[0] == 0xAC && tx[1] == 0x53 && enables++ >= silentEnables)
            rx[3] = 0x69;
    }
    void Wait(std::chrono::nanoseconds duration) override { waited += duration; }

    std::vector<std::string> shifts;
    int enables = 0;
    int silentEnables = 0;
    std::uint8_t lockBits = 0;
    int lineChanges = 0;
    std::chrono::nanoseconds waited{0};
};

// The engine on such a layer, driven through the controller.
struct FrameEngine {
    FrameEngine()
    {
        programmer.SetCatalogue({{"AT89S52", 2, 8, 5.0f, {0x1E, 0x52, 0x06}}});
        auto made = std::make_unique<CIspEngine>();
        auto lines = std::make_unique<CFrameMovingLines>();
        layer = lines.get();
        engine = made.get();
        EXPECT_EQ(engine->Init(&programmer, std::move(lines)), 1);
        programmer.SetBackend(1, std::move(made));
    }
    // The operation's outcome, the worker gone.
    int Outcome()
    {
        std::optional<StatusEvent> event;
        do
            event = queue.Wait(std::chrono::seconds(10));
        while (event
               && (event->kind != StatusEvent::Kind::Status || event->value == kStatusParallelReady));
        engine->WaitIdle();
        return event ? event->value : -1;
    }

    CStatusQueue queue;
    CRecordingMessageSink messages;
    CProgrammer programmer{queue, messages};
    CFrameMovingLines* layer = nullptr;
    CIspEngine* engine = nullptr;
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

// Programming enable must be answered: three more reset pulses, then the
// operation fails with the reason, whatever it was.
TEST(IspFrameLink, AnUnansweredEnableIsRetriedThenFailsTheOperation)
{
    const std::string reason = "芯片没有应答编程使能指令, 请检查连线、晶振和电源.";
    const struct {
        int silent;
        int outcome;
    } cases[] = {{0, kStatusEraseDone}, {3, kStatusEraseDone}, {4, kStatusReceiveError},
                 {100, kStatusReceiveError}};
    for (const auto& c : cases) {
        FrameEngine f;
        f.layer->silentEnables = c.silent;
        f.programmer.EraseDevice(0);
        EXPECT_EQ(f.Outcome(), c.outcome) << c.silent;
        EXPECT_EQ(f.layer->enables, std::min(c.silent + 1, 1 + CIspEngine::kEnableRetries));
        EXPECT_EQ(f.engine->TakeFailureNote(), c.outcome == kStatusReceiveError ? reason : "");
        // No erase reaches a chip that never answered.
        const bool erased = std::count(f.layer->shifts.begin(), f.layer->shifts.end(),
                                       "AC 80 00 00") == 1;
        EXPECT_EQ(erased, c.outcome == kStatusEraseDone) << c.silent;
    }
}

// A lock is read back (0x24): bits that are not all set fail it.
TEST(IspFrameLink, ALockIsReadBackAndFailsWhenItsBitsAreNotSet)
{
    const std::string reason = "锁定位写入后读回不符, 芯片没有被锁定.";
    const struct {
        int level;
        std::uint8_t bits;  // xxx LB3 LB2 LB1 xx
        int outcome;
    } cases[] = {{1, 0x04, kStatusLockDone}, {1, 0x00, kStatusReceiveError},
                 {2, 0x0C, kStatusLockDone}, {3, 0x0C, kStatusReceiveError},
                 {3, 0xFF, kStatusLockDone},  {3, 0xE3, kStatusReceiveError}};
    for (const auto& c : cases) {
        FrameEngine f;
        f.layer->lockBits = c.bits;
        f.programmer.LockDevice(0, c.level);
        EXPECT_EQ(f.Outcome(), c.outcome) << c.level << " " << int(c.bits);
        EXPECT_EQ(f.layer->shifts.back(), "24 00 00 00");
        EXPECT_EQ(f.engine->TakeFailureNote(), c.outcome == kStatusLockDone ? "" : reason);
    }
}

}  // namespace
