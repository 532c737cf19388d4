#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sim/SimChip.h"
#include "tests/support/RawSerialLine.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

using Bytes = CRawSerialLine::Bytes;

// Runs the tool with --state, takes the device path from its first line,
// lets 'talk' use the line, then ends it with SIGTERM; returns the exit code.
template <typename Talk>
int RunTool(const std::string& tool, const std::string& state, Talk talk)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const char* argv[] = {tool.c_str(), "--at89s51", "--state", state.c_str(), nullptr};
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, tool.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::FILE* out = ::fdopen(fds[0], "r");
    if (rc != 0 || !out)
        return -1;

    char line[256] = {};
    if (std::fgets(line, sizeof line, out)) {
        std::string path(line);
        path.erase(path.find_last_not_of('\n') + 1);
        CRawSerialLine serial;
        EXPECT_TRUE(serial.Open(path)) << path;
        talk(serial);
    }
    std::fclose(out);
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(BoardSimTool, ServesOnItsPrintedPathAndKeepsTheChipState)
{
    const char* binDir = std::getenv("TAMBERLINK_BIN_DIR");
    const std::string tool = binDir ? std::string(binDir) + "/tamberlink-board-sim" : "";
    if (tool.empty() || !std::filesystem::exists(tool))
        GTEST_SKIP() << "tamberlink-board-sim not built";
    CTempDir dir;
    const std::string state = dir.File("board.state");

    // First run: write one block.
    EXPECT_EQ(RunTool(tool, state, [](CRawSerialLine& line) {
        Bytes frame(18, 0);
        frame[0] = 3;
        ASSERT_TRUE(line.Write(frame));
        ASSERT_EQ(line.Read(18).at(0), 3);
        frame[0] = 7;
        frame[2] = 0x3C;
        ASSERT_TRUE(line.Write(frame));
        EXPECT_EQ(line.Read(1), Bytes {1});
    }), 0);

    // Second run: the block is still there.
    EXPECT_EQ(RunTool(tool, state, [](CRawSerialLine& line) {
        Bytes frame(18, 0);
        frame[0] = 4;
        ASSERT_TRUE(line.Write(frame));
        ASSERT_EQ(line.Read(18).at(0), 4);
        ASSERT_TRUE(line.WriteByte(1));
        Bytes block = line.Read(18);
        ASSERT_EQ(block.size(), 18u);
        EXPECT_EQ(block[2], 0x3C);
    }), 0);

    // A state file for another chip is refused before any path is printed.
    ASSERT_TRUE(CSimChip(SimChipType::AT89S52).SaveState(dir.File("s52")));
    EXPECT_EQ(RunTool(tool, dir.File("s52"), [](CRawSerialLine&) { ADD_FAILURE(); }), 1);
}

} // namespace
