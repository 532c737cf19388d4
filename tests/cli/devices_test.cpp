#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>

#include "programmer/DeviceCatalogue.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every executable is built into one folder; the test's own is the fallback.
std::string CliPath()
{
    const char* dir = std::getenv("TAMBERLINK_BIN_DIR");
    const std::filesystem::path folder =
        dir ? std::filesystem::path(dir) : std::filesystem::read_symlink("/proc/self/exe").parent_path();
    return (folder / "tamberlink-cli").string();
}

// Runs tamberlink-cli with args; stdout and stderr go to files, so a chatty
// child can never block on a full pipe.
RunResult RunCli(const std::vector<std::string>& args, const CTempDir& dir)
{
    const std::string outPath = dir.File("stdout.txt");
    const std::string errPath = dir.File("stderr.txt");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    const std::string program = CliPath();
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    RunResult result;
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return result;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.out = ReadWhole(outPath);
    result.err = ReadWhole(errPath);
    return result;
}

TEST(DevicesCommand, ListsEveryRecordInItsFixedFormat)
{
    CTempDir dir;
    const std::vector<DeviceRecord> records = {
        {"AT89S52", 2, 8, 5.0f, {0x1E, 0x52, 0x06}},
        {"编程器", 255, 128, 12.5f, {0xFF, 0x00, 0x0A}},
        {"Tab\tName", 0, -5, 0.004f, {}},
        // GBK in the file, and valid UTF-8 as well: still read as GBK.
        {"芯片", 2, 4, 5.0f, {}},
        {"模模", 2, 4, 5.0f, {}},
    };
    const std::string catalogue = dir.File("list.chip");
    ASSERT_TRUE(WriteCatalogueFile(catalogue, records));

    const RunResult run = RunCli({"devices", "--catalogue", catalogue}, dir);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "0\tAT89S52\t2\t8\t5.00\t1e 52 06\n"
              "1\t编程器\t255\t128\t12.50\tff 00 0a\n"
              "2\tTab?Name\t0\t-5\t0.00\t00 00 00\n"
              "3\t芯片\t2\t4\t5.00\t00 00 00\n"
              "4\t模模\t2\t4\t5.00\t00 00 00\n");
}

TEST(DevicesCommand, UnreadableCatalogueFailsWithAMessage)
{
    CTempDir dir;
    for (const std::string& path : {dir.File("missing.chip"), dir.Path().string()}) {
        const RunResult run = RunCli({"devices", "--catalogue", path}, dir);
        EXPECT_EQ(run.exitCode, 2) << path;
        EXPECT_EQ(run.out, "") << path;
        EXPECT_NE(run.err.find(path), std::string::npos) << run.err;
    }
}

TEST(DevicesCommand, ShippedCatalogueStartsWithTheIspDevices)
{
    CTempDir dir;
    const RunResult run = RunCli({"devices"}, dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, 56),
              "0\tAT89S52\t2\t8\t5.00\t1e 52 06\n"
              "1\tAT89S51\t2\t4\t5.00\t1e 51 06\n");
}

// The user's own copy wins over the program folder's, for every command; a
// folder in its place is no catalogue.
TEST(DevicesCommand, TheUsersOwnCatalogueWinsOverTheProgramFolders)
{
    CTempDir dir;
    const std::filesystem::path own = dir.Path() / "tamberlink" / "ChipList.chip";
    std::filesystem::create_directories(own.parent_path());
    ASSERT_TRUE(WriteCatalogueFile(own.string(), {{"MYCHIP", 2, 8, 5.0f, {0x1E, 0x52, 0x06}}}));
    const std::string old = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    const RunResult listed = RunCli({"devices"}, dir);
    const RunResult chosen = RunCli({"--simulate", "--device", "MYCHIP", "check"}, dir);
    std::filesystem::remove(own);
    std::filesystem::create_directory(own);
    const RunResult shipped = RunCli({"devices"}, dir);
    old.empty() ? ::unsetenv("XDG_CONFIG_HOME") : ::setenv("XDG_CONFIG_HOME", old.c_str(), 1);

    EXPECT_EQ(listed.out, "0\tMYCHIP\t2\t8\t5.00\t1e 52 06\n") << listed.err;
    EXPECT_EQ(chosen.exitCode, 0) << chosen.err;
    EXPECT_EQ(shipped.out.substr(0, 10), "0\tAT89S52\t");
}

}  // namespace
