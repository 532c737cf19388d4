#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/AppGlobals.h"
#include "platform/ProfileFile.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// Sets an environment variable for one test and puts the old value back.
class CScopedEnv {
public:
    CScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~CScopedEnv()
    {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// Keeps the program folder of the test binary as it was.
class IniFilePathTest : public ::testing::Test {
protected:
    void TearDown() override { g_strAppDir = m_saved; }

    CTempDir m_dir;
    std::string m_saved = g_strAppDir;
};

TEST(IniFolderRule, ConfigFolderFromEnvironment)
{
    struct Case {
        const char* xdg;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"/x/conf", "/home/u", "/x/conf/tamberlink/"},
        {"/x/conf/", "/home/u", "/x/conf/tamberlink/"},
        {nullptr, "/home/u", "/home/u/.config/tamberlink/"},
        {"", "/home/u", "/home/u/.config/tamberlink/"},
        // A relative XDG_CONFIG_HOME is not to be used.
        {"conf", "/home/u", "/home/u/.config/tamberlink/"},
        {nullptr, nullptr, ""},
        {nullptr, "relative", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UserConfigFolder(c.xdg, c.home), c.expected)
            << (c.xdg ? c.xdg : "(unset)") << " " << (c.home ? c.home : "(unset)");
}

TEST(IniFolderRule, PortableKeepsProgramFolderOtherwiseConfigFolder)
{
    EXPECT_EQ(IniFolderFor("/opt/tl/", true, "/home/u/.config/tamberlink/"), "/opt/tl/");
    EXPECT_EQ(IniFolderFor("/usr/lib/tamberlink/", false, "/home/u/.config/tamberlink/"),
              "/home/u/.config/tamberlink/");
    // Nowhere else to go: the program folder, even read-only.
    EXPECT_EQ(IniFolderFor("/usr/lib/tamberlink/", false, ""), "/usr/lib/tamberlink/");
}

TEST_F(IniFilePathTest, WritableFolderIsPortable)
{
    EXPECT_TRUE(IsPortableFolder(m_dir.Path().string(), true));
    EXPECT_FALSE(IsPortableFolder(m_dir.Path().string(), false));

    const CScopedEnv xdg("XDG_CONFIG_HOME", m_dir.File("config").c_str());
    SetAppDir(m_dir.File("app"));
    fs::create_directory(m_dir.Path() / "app");
    // A fresh program folder is decided anew, not taken from an earlier one.
    EXPECT_EQ(IniFilePath("Tamber_Info.ini"), m_dir.File("app") + "/Tamber_Info.ini");
    EXPECT_EQ(IniFilePath("LastFile.ini"), m_dir.File("app") + "/LastFile.ini");
    EXPECT_FALSE(fs::exists(m_dir.Path() / "config"));
}

TEST_F(IniFilePathTest, ReadOnlyFolderUsesConfigFolderAndCatalogueStaysInProgramFolder)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write to any folder";
    const fs::path app = m_dir.Path() / "installed";
    fs::create_directory(app);
    ::chmod(app.c_str(), 0555);
    const CScopedEnv xdg("XDG_CONFIG_HOME", m_dir.File("config").c_str());
    SetAppDir(app.string());

    const std::string ini = IniFilePath("Tamber_Info.ini");
    EXPECT_EQ(ini, m_dir.File("config") + "/tamberlink/Tamber_Info.ini");
    EXPECT_EQ(IniFilePath("Quenby.ini"), m_dir.File("config") + "/tamberlink/Quenby.ini");
    // The folder is there for the first save.
    EXPECT_TRUE(CProfileFile(ini).WriteString("InfoSave", "m_InfoSave", "00"));
    EXPECT_TRUE(fs::exists(ini));
    EXPECT_FALSE(fs::exists(app / "Tamber_Info.ini"));
    EXPECT_EQ(g_strAppDir, app.string() + "/"); // ChipList.chip is still looked up here

    ::chmod(app.c_str(), 0755);
}

} // namespace
