// tamberlink-board-sim pulled out after a block and plugged back in by
// itself: a program that stays open on the board's --link name works again
// once the board is back.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/app/BoardProgram.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The tool, running until the test ends; its first line is its line's path.
class CBoardSimProcess {
public:
    explicit CBoardSimProcess(std::vector<std::string> args)
    {
        const char* binDir = std::getenv("TAMBERLINK_BIN_DIR");
        const std::string tool = std::string(binDir ? binDir : ".") + "/tamberlink-board-sim";
        args.insert(args.begin(), tool);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        if (::posix_spawn(&m_pid, tool.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (std::FILE* out = ::fdopen(fds[0], "r")) {
            char line[256] = {};
            if (std::fgets(line, sizeof line, out))
                m_strLine.assign(line, std::strcspn(line, "\n"));
            std::fclose(out);
        }
    }
    // SIGTERM, then the exit code (-1: it did not exit by itself).
    int Stop()
    {
        if (m_pid <= 0)
            return -1;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ~CBoardSimProcess() { Stop(); }

    const std::string& Line() const { return m_strLine; }

private:
    pid_t m_pid = -1;
    std::string m_strLine;
};

TEST(BoardSimReplug, AProgramOnTheLinkWritesAgainOnceTheBoardIsBack)
{
    CTempDir dir;
    const std::string link = dir.File("ttyUSB0");
    CBoardSimProcess board(
        {"--link", link, "--unplug-after-block", "0", "--replug-after", "200"});
    ASSERT_FALSE(board.Line().empty());
    EXPECT_EQ(fs::read_symlink(link), board.Line());

    BoardProgram program(link);
    ASSERT_TRUE(program.session.LastSequenceSucceeded());
    EXPECT_FALSE(program.Auto());
    EXPECT_TRUE(program.Logged("接收数据时发生错误.")) << testing::PrintToString(program.view.log);

    for (int waited = 0; waited < 10000 && !fs::exists(link); waited += 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(program.Auto()) << testing::PrintToString(program.view.log);
    EXPECT_TRUE(program.Logged("----------效验成功,数据正确----------"));

    EXPECT_EQ(board.Stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "the link goes with the board";
}

}  // namespace
