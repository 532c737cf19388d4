// An Auto run (erase, write, verify) on the simulated board with one fault
// switched on: the run ends as the fault calls for, and the next run on the
// same program (or, after a hang-up, on a program started again) succeeds.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "sim/BoardSimulator.h"
#include "tests/app/BoardProgram.h"

namespace {

using namespace std::chrono_literals;

const char kVerified[] = "----------效验成功,数据正确----------";
const char kWriteError[] = "编程器:写器件时发生错误.";
const char kReceiveError[] = "接收数据时发生错误.";
const char kTimedOut[] = "编程器:操作超时,没有响应.";

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
