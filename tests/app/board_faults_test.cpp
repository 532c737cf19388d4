// An Auto run (erase, write, verify) on the simulated board with one fault
// switched on: the run ends as the fault calls for, and the next run on the
// same program (or, after a hang-up, on a program started again) succeeds.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "app/core/SessionEventLoop.h"
#include "programmer/SerialProgrammer.h"
#include "sim/BoardSimulator.h"
#include "tests/app/SessionTestKit.h"

namespace {

using namespace std::chrono_literals;

const char kVerified[] = "----------效验成功,数据正确----------";
const char kWriteError[] = "编程器:写器件时发生错误.";
const char kReceiveError[] = "接收数据时发生错误.";
const char kTimedOut[] = "编程器:操作超时,没有响应.";

// A program on the board's line: session, queue and loop as the CLI has them.
struct BoardProgram {
    explicit BoardProgram(const std::string& port)
    {
        WriteCatalogueFile(catalogue, {{"AT89S52", 2, 8, 5.0f, {0x1e, 0x52, 0x06}}});
        session.Programmer().m_strPortPath = port;
        SettingsRecord settings;
        settings.autoDetect = 0;
        settings.soundOn = 0;
        settings.autoErase = settings.autoWrite = settings.autoVerify = 1;
        session.Start(settings, catalogue);
        loop.RunUntil([&] { return session.SequenceEndCount() > 0 && !session.IsStepOutstanding(); });
        // 40 bytes: three blocks.
        for (int i = 0; i < 40; ++i)
            session.Programmer().Buffer1[i] = std::uint8_t(i + 1);
    }
    bool Auto()
    {
        view.log.clear();
        return loop.RunCommand([&] { session.OnAuto(); });
    }
    // Handles what is still due after a run ended (the board's answer to
    // the end frame of a refused write) until the board is ready again, or
    // nothing came for two seconds.
    void Settle()
    {
        auto* serial = dynamic_cast<CSerialProgrammer*>(session.Programmer().Backend());
        for (int quiet = 0; quiet < 20;) {
            if (const auto event = queue.Wait(100ms)) {
                session.HandleEvent(*event);
                quiet = 0;
            } else if (serial && serial->IsReady() && !serial->IsBusy()) {
                return;
            } else {
                ++quiet;
            }
        }
    }
    bool Logged(const std::string& line) const
    {
        return std::find(view.log.begin(), view.log.end(), line) != view.log.end();
    }

    CTempDir dir;
    const std::string catalogue = dir.File("ChipList.chip");
    CRecordingView view;
    CStatusQueue queue;
    CRecordingMessageSink messages;
    CProgrammerSession session{view, queue, messages};
    // Well beyond the board's own 1000 ms wait for an acknowledgement, so
    // that a lost one is reported by the transfer, not by the watchdog.
    CSessionEventLoop loop{session, queue, 3000ms};
};

struct FaultCase {
    const char* name;
    BoardFaults faults;
    bool succeeds;
    const char* line;
    bool hangsUp;
};

class BoardFaultRun : public ::testing::TestWithParam<FaultCase> {};

TEST_P(BoardFaultRun, EndsAsTheFaultCallsForAndTheNextRunSucceeds)
{
    const FaultCase& c = GetParam();
    CBoardSimulator board(CBoardSimulator::Options{});
    ASSERT_TRUE(board.Start());
    auto program = std::make_unique<BoardProgram>(board.DevicePath());
    ASSERT_TRUE(program->session.LastSequenceSucceeded());

    board.SetFaults(c.faults);
    EXPECT_EQ(program->Auto(), c.succeeds);
    EXPECT_TRUE(program->Logged(c.line)) << testing::PrintToString(program->view.log);
    board.SetFaults({});
    program->Settle();

    if (c.hangsUp) {
        // Shown once as a port failure; this program has lost its board.
        const auto texts = program->messages.Texts();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts.front().rfind("WARNING:  ", 0), 0u) << texts.front();
        program.reset();
        ASSERT_TRUE(board.Start());
        program = std::make_unique<BoardProgram>(board.DevicePath());
        ASSERT_TRUE(program->session.LastSequenceSucceeded());
    } else {
        EXPECT_TRUE(program->messages.Texts().empty());
    }
    EXPECT_TRUE(program->Auto()) << testing::PrintToString(program->view.log);
    EXPECT_TRUE(program->Logged(kVerified));
    EXPECT_EQ(board.Chip().PeekByte(39), 40);
    program.reset();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BoardFaultRun,
    ::testing::Values(FaultCase{"BoardRefusesABlock", {.failBlock = 1}, false, kWriteError, false},
                      FaultCase{"AcknowledgementLost", {.dropAckOfBlock = 1}, false, kReceiveError,
                                false},
                      FaultCase{"ReadBlockLostOnce", {.loseReadBlock = 1}, true, kVerified, false},
                      FaultCase{"BoardSilent", {.neverAnswer = true}, false, kTimedOut, false},
                      FaultCase{"GarbageReplies", {.garbage = true}, false, kTimedOut, false},
                      FaultCase{"HungUpMidWrite", {.closeAfterBlock = 0}, false, kReceiveError,
                                true}),
    [](const auto& info) { return std::string(info.param.name); });

// After a refused block the board still answers the write's end frame: the
// ready report is handled after the failure and the next run is not
// confused by it.
TEST(BoardFaults, ReadyReportAfterARefusedBlockComesAfterTheError)
{
    CBoardSimulator board(CBoardSimulator::Options{});
    ASSERT_TRUE(board.Start());
    BoardProgram program(board.DevicePath());
    board.SetFaults({.failBlock = 0});
    EXPECT_FALSE(program.Auto());
    const auto event = program.queue.Wait(5s);
    ASSERT_TRUE(event.has_value());
    program.session.HandleEvent(*event);
    EXPECT_EQ(program.view.log.back(), "编程器:就绪.");
    const auto error = std::find(program.view.log.begin(), program.view.log.end(), kWriteError);
    EXPECT_EQ(program.view.log.end() - error, 2);
    board.SetFaults({});
    EXPECT_TRUE(program.Auto());
}

}  // namespace
