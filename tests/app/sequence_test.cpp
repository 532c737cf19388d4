#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "app/core/SessionEventLoop.h"
#include "programmer/StatusCode.h"
#include "tests/app/SessionTestKit.h"

namespace {

SettingsRecord Marked(int load, int erase, int write, int read, int verify, int detect = 0)
{
    SettingsRecord s;
    s.autoLoad = load;
    s.autoErase = erase;
    s.autoWrite = write;
    s.autoRead = read;
    s.autoVerify = verify;
    s.autoDetect = detect;
    s.soundOn = 1;
    return s;
}

TEST(Sequence, AutoWithNothingMarkedClearsTheLogAndEndsSilentlyOnReady)
{
    CSessionHarness h(0, Marked(0, 0, 0, 0, 0));
    h.backend->script["check"] = {kStatusReady};
    h.session.AppendLog("old line");
    h.session.OnAuto();
    h.Pump();
    EXPECT_EQ(h.view.clears, 1);
    EXPECT_EQ(h.view.log, Lines{"编程器:就绪."});
    EXPECT_EQ(h.view.misplaced, 0);
    EXPECT_TRUE(h.session.LastSequenceSucceeded());
    EXPECT_TRUE(h.view.sounds.empty());
    EXPECT_TRUE(h.AllAccepting());
}

TEST(Sequence, AutoRunsTheMarkedStepsInOrder)
{
    CSessionHarness h(1, Marked(0, 1, 1, 1, 1, 1));
    h.backend->script = {{"check", {kStatusReady}},
                         {"detect", {kStatusDeviceDetected}},
                         {"erase", {kStatusEraseDone}},
                         {"write", {kStatusWriteDone}},  // a cable goes on at once
                         {"read", {kStatusReadDone}}};
    h.session.OnAuto();
    h.Pump();
    EXPECT_EQ(h.backend->Ops(), (Lines{"check", "detect", "erase", "write", "read", "read"}));
    // The read takes the whole ROM, the verify only what was written.
    EXPECT_EQ(h.backend->calls[4].keepLength, 0);
    EXPECT_EQ(h.backend->calls[5].keepLength, 1);
    EXPECT_EQ(h.view.sounds, std::vector<PromptSound>{PromptSound::SuccessTones});
    EXPECT_EQ(h.view.log.back(), "----------效验成功,数据正确----------");
}

TEST(Sequence, AutoWithLoadMarkedButNoFileFailsBeforeTheReadyCheck)
{
    CSessionHarness h(0, Marked(1, 1, 0, 0, 0));
    h.session.OnAuto();
    EXPECT_EQ(h.view.log, Lines{"请先打开文件."});
    EXPECT_TRUE(h.backend->calls.empty());
    EXPECT_EQ(h.view.sounds, std::vector<PromptSound>{PromptSound::FailureTone});
    EXPECT_EQ(h.view.flashes, 1);
}

TEST(Sequence, SingleWriteKeepsTheLogSkipsTheCheckAndLocksTheCommands)
{
    CSessionHarness h(1);
    h.session.AppendLog("kept");
    h.session.OnWrite();
    EXPECT_EQ(h.backend->Ops(), Lines{"write"});
    EXPECT_FALSE(h.session.Button(kCmdLoadFile).IsAccepting());
    EXPECT_FALSE(h.view.combosEnabled);
    EXPECT_EQ(h.view.icons.at(kCmdWrite), 136);
    h.session.OnErase();  // ignored while the write runs
    EXPECT_EQ(h.backend->Ops(), Lines{"write"});

    h.Post(kStatusWriteDone);
    EXPECT_EQ(h.view.log, (Lines{"kept", "编程器:写器件完成."}));
    EXPECT_TRUE(h.AllAccepting());
    EXPECT_EQ(h.view.icons.at(kCmdWrite), 135);
}

TEST(Sequence, VerifyBeforeAnyWriteReadsTheWholeRom)
{
    CSessionHarness h(1);
    h.session.OnVerify();
    EXPECT_EQ(h.backend->calls.at(0).keepLength, 0);
    EXPECT_TRUE(h.session.CompareAfterRead());
}

TEST(Sequence, SerialWriteWaitsForTheBoardsReadyReport)
{
    CSessionHarness h(0, Marked(0, 0, 1, 0, 1));
    h.backend->script = {{"check", {kStatusReady}}, {"write", {kStatusWriteDone}}};
    h.session.OnAuto();
    h.Pump();
    EXPECT_EQ(h.backend->Ops(), (Lines{"check", "write"}));
    EXPECT_EQ(h.session.WriteCount(), 1);
    EXPECT_EQ(h.session.SequenceEndCount(), 0);
    h.Post(kStatusReady);
    EXPECT_EQ(h.backend->Ops(), (Lines{"check", "write", "read"}));

    // Without a following read the write ends at once, but the ready report
    // is still due.
    h.session.OnWrite();
    h.Post(kStatusWriteDone);
    EXPECT_TRUE(h.session.LastSequenceSucceeded());
    EXPECT_TRUE(h.session.IsStepOutstanding());
    h.Post(kStatusReady);
    EXPECT_FALSE(h.session.IsStepOutstanding());
}

// The write-start hook runs after the reload and before the write, sees
// the loaded image and may change it; a refusal ends the run unwritten.
TEST(Sequence, WriteStartHookPatchesBuffer1OrStopsTheWrite)
{
    for (bool accept : {true, false}) {
        CSessionHarness h(1, Marked(1, 1, 1, 0, 0));
        const std::string image = h.dir.File("image.bin");
        std::ofstream(image, std::ios::binary) << std::string("\x11\x22", 2);
        h.session.SetFilePath(image);
        h.backend->script = {{"check", {kStatusReady}},
                             {"erase", {kStatusEraseDone}},
                             {"write", {kStatusWriteDone}}};
        Lines opsAtHook;
        h.session.SetWriteStartHandler([&] {
            opsAtHook = h.backend->Ops();
            EXPECT_EQ(h.session.Programmer().Buffer1[0], 0x11) << "after the reload";
            h.session.Programmer().Buffer1[0] = 0x99;
            return accept;
        });
        h.session.OnAuto();
        h.Pump();
        EXPECT_EQ(opsAtHook, (Lines{"check", "erase"}));
        EXPECT_EQ(h.backend->Ops(), accept ? (Lines{"check", "erase", "write"})
                                           : (Lines{"check", "erase"}));
        EXPECT_EQ(h.session.LastSequenceSucceeded(), accept);
        EXPECT_TRUE(h.AllAccepting());
    }
}

TEST(Sequence, DetectWhileAutoWaitsForReadyCancelsTheRun)
{
    CSessionHarness h(1, Marked(0, 1, 1, 0, 0));
    h.session.OnAuto();  // the ready check gets no answer
    h.backend->script["detect"] = {kStatusDeviceDetected};
    h.session.OnDetect();
    h.Pump();
    EXPECT_EQ(h.session.PendingSteps(), (std::array<int, 7>{}));
    EXPECT_EQ(h.backend->Ops(), (Lines{"check", "detect"}));
    EXPECT_TRUE(h.session.LastSequenceSucceeded());
}

TEST(Sequence, LockKeepsCommandsEnabledAndPassesTheLevel)
{
    CSessionHarness h(1, Marked(0, 0, 0, 0, 0));
    h.session.SetLockSelection(2);
    h.session.OnLock();
    EXPECT_EQ(h.backend->calls.at(0).level, 3);
    EXPECT_TRUE(h.AllAccepting());
    h.Post(kStatusLockDone);
    EXPECT_EQ(h.view.sounds, std::vector<PromptSound>{PromptSound::SuccessTones});
}

TEST(Sequence, FailureFlashesEvenWithSoundOff)
{
    CSessionHarness h(1);
    h.session.SetSoundOn(0);
    h.session.OnErase();
    h.Post(kStatusUnavailable);
    EXPECT_TRUE(h.view.sounds.empty());
    EXPECT_EQ(h.view.flashes, 1);
    EXPECT_TRUE(h.AllAccepting());
}

TEST(Sequence, WatchdogEndsASilentStepAsAFailure)
{
    CSessionHarness h(1);
    CSessionEventLoop loop(h.session, h.queue, std::chrono::milliseconds(20));
    EXPECT_FALSE(loop.RunCommand([&] { h.session.OnErase(); }));
    EXPECT_EQ(h.view.log, Lines{"编程器:操作超时,没有响应."});
    EXPECT_FALSE(h.session.IsStepOutstanding());
    EXPECT_TRUE(h.AllAccepting());

    h.backend->script["erase"] = {kStatusEraseDone};
    EXPECT_TRUE(loop.RunCommand([&] { h.session.OnErase(); }));
    // A command that ends at once needs no event.
    EXPECT_FALSE(loop.RunCommand([&] { h.session.LoadImageFile(); }));
}

}  // namespace
