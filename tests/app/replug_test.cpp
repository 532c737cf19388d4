// The serial adapter pulled out in the middle of a write and plugged in
// again: the program says so once, names the missing port while it is out,
// and works again once it is back, without a restart.

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "sim/BoardSimulator.h"
#include "tests/app/BoardProgram.h"

namespace {

namespace fs = std::filesystem;

TEST(Replug, TheNextCommandOpensThePortAgainOnceTheAdapterIsBack)
{
    CTempDir dir;
    const std::string link = dir.File("ttyUSB0");
    CBoardSimulator board({.linkPath = link});
    ASSERT_TRUE(board.Start());
    ASSERT_EQ(fs::read_symlink(link), board.DevicePath());
    BoardProgram program(link);
    ASSERT_TRUE(program.session.LastSequenceSucceeded());

    board.SetFaults({.closeAfterBlock = 1});
    EXPECT_FALSE(program.Auto());
    EXPECT_TRUE(program.Logged("接收数据时发生错误.")) << testing::PrintToString(program.view.log);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    // Closed at once, so that a real adapter gets its old name back.
    auto* port = dynamic_cast<CSerialPort*>(program.session.Programmer().Backend());
    ASSERT_NE(port, nullptr);
    EXPECT_FALSE(port->IsPortOpen());

    // Still out: the command fails at once with the port and the reason.
    EXPECT_FALSE(program.loop.RunCommand([&] { program.session.OnDetect(); }));
    EXPECT_EQ(program.view.log.back(), "串口 " + link + ": 没有那个文件或目录 (请检查连线和串口设置)");
    EXPECT_TRUE(program.Logged("初始化串口通讯失败."));

    board.SetFaults({});
    ASSERT_TRUE(board.Start());
    EXPECT_TRUE(program.Auto()) << testing::PrintToString(program.view.log);
    EXPECT_TRUE(program.Logged("----------效验成功,数据正确----------"));
    EXPECT_EQ(board.Chip().PeekByte(39), 40);

    // The line that went down was shown once, and nothing since.
    ASSERT_EQ(program.messages.Texts().size(), 1u);
    EXPECT_EQ(program.messages.Texts().front().rfind("WARNING:  ", 0), 0u);
}

// The board comes back by itself, a moment after it was pulled out.
TEST(Replug, ABoardThatComesBackByItselfIsUsedByTheSameProgram)
{
    CTempDir dir;
    const std::string link = dir.File("ttyUSB0");
    CBoardSimulator board({.linkPath = link, .replugAfterMs = 100});
    ASSERT_TRUE(board.Start());
    BoardProgram program(link);
    board.SetFaults({.closeAfterBlock = 0});
    EXPECT_FALSE(program.Auto());
    for (int waited = 0; waited < 10000 && board.Replugs() == 0; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(fs::read_symlink(link), board.DevicePath());
    EXPECT_TRUE(program.Auto()) << testing::PrintToString(program.view.log);
    EXPECT_EQ(board.Chip().PeekByte(39), 40);
}

}  // namespace
