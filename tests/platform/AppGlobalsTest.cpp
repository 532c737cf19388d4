#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/utsname.h>
#include <unistd.h>

#include "platform/AppGlobals.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// When this test binary is started by LongProgramFolderIsFound from a copy
// in a deep folder, it only reports the folder it finds and ends. Runs before
// main, so it touches no other global.
const bool g_reportedFolder = [] {
    const char* report = std::getenv("TAMBERLINK_REPORT_APP_DIR");
    if (!report)
        return false;
    std::ofstream(report, std::ios::binary) << ExecutableFolder();
    std::_Exit(0);
}();

TEST(AppGlobals, InitFindsTheExecutableFolderAndKernelVersion)
{
    const std::string saved = g_strAppDir;
    InitAppGlobals();
    ASSERT_FALSE(g_strAppDir.empty());
    EXPECT_EQ(g_strAppDir.back(), '/');
    if (const char* binDir = std::getenv("TAMBERLINK_BIN_DIR")) {
        EXPECT_EQ(fs::canonical(g_strAppDir), fs::canonical(binDir));
    }
    EXPECT_TRUE(fs::exists(g_strAppDir + "test_platform"));

    utsname name{};
    ASSERT_EQ(::uname(&name), 0);
    EXPECT_EQ(g_bWinMajor4, MajorVersionOf(name.release) == 4 ? 1 : 0);
    g_strAppDir = saved;
}

TEST(AppGlobals, MajorVersionOfReleaseStrings)
{
    const std::pair<const char*, int> cases[] = {
        {"4.19.0-25-amd64", 4}, {"5.10.0", 5}, {"40.1", 40}, {"4", 4}, {"", 0}, {"v4.1", 0}};
    for (const auto& [release, major] : cases)
        EXPECT_EQ(MajorVersionOf(release), major) << release;
    // Junk must neither overflow nor pass for version 4.
    EXPECT_NE(MajorVersionOf("99999999999999999999.1"), 4);
}

TEST(AppGlobals, LongProgramFolderIsFound)
{
    CTempDir dir;
    fs::path deep = dir.Path();
    for (int i = 0; i < 6; ++i)
        deep /= std::string(60, static_cast<char>('a' + i));
    fs::create_directories(deep);
    ASSERT_GT(deep.string().size(), 300u);

    const fs::path copy = deep / "tool";
    fs::copy_file("/proc/self/exe", copy);
    fs::permissions(copy, fs::perms::owner_all);
    const std::string report = dir.File("report");
    const std::string command = "TAMBERLINK_REPORT_APP_DIR='" + report + "' '" + copy.string() +
                                "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);

    std::ifstream in(report, std::ios::binary);
    const std::string found(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(found, deep.string() + "/");
}

} // namespace
