#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "tests/support/CjkText.h"
#include "tests/support/CliProcess.h"
#include "tests/support/TempDir.h"

namespace {

using Args = std::vector<std::string>;

// Sets (or, with nullopt, unsets) one variable for the scope; the child
// processes inherit it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
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

std::string Blink()
{
    return std::string(TAMBERLINK_SOURCE_DIR) + "/res/demo/blink.hex";
}

struct LangCase {
    const char* what;
    Args args;
};

void PrintTo(const LangCase& param, std::ostream* out)
{
    *out << param.what;
}

class CliLanguage : public testing::TestWithParam<LangCase> {
protected:
    CliRun Run(Args args)
    {
        for (std::string& arg : args)
            if (arg == "@blink")
                arg = Blink();
            else if (arg.front() == '@')
                arg = m_dir.File(arg.substr(1));
        return RunTamberlinkCli(args, m_dir.Path().string());
    }
    void SetUp() override
    {
        std::ofstream(m_dir.File("bad.hex")) << "garbage\n";
        std::ofstream(m_dir.File("other.bin"), std::ios::binary) << "\x02\x01";
    }

    CTempDir m_dir;
    ScopedEnv m_noVariable{"TAMBERLINK_LANG", std::nullopt};
};

// English from --lang and from TAMBERLINK_LANG alike: every line, the
// converter's message and the port reason included, the same outcome and
// as many lines as in Chinese.
TEST_P(CliLanguage, EnglishRunHasNoChineseAndTheSameShape)
{
    const CliRun chinese = Run(GetParam().args);
    ASSERT_TRUE(ContainsCjk(chinese.out + chinese.err)) << chinese.out << chinese.err;

    Args english = GetParam().args;
    english.insert(english.begin(), {"--lang", "en"});
    const CliRun byOption = Run(english);
    CliRun byVariable;
    {
        ScopedEnv variable("TAMBERLINK_LANG", "en");
        byVariable = Run(GetParam().args);
    }
    for (const CliRun* run : {&byOption, static_cast<const CliRun*>(&byVariable)}) {
        EXPECT_EQ(run->exitCode, chinese.exitCode) << run->err;
        EXPECT_FALSE(ContainsCjk(run->out + run->err)) << run->out << run->err;
        EXPECT_EQ(std::count(run->out.begin(), run->out.end(), '\n'),
                  std::count(chinese.out.begin(), chinese.out.end(), '\n'))
            << run->out;
    }
    EXPECT_EQ(byOption.out, byVariable.out);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, CliLanguage,
    testing::Values(LangCase{"auto", {"--simulate", "auto", "@blink"}},
                    LangCase{"detect", {"--simulate", "detect"}},
                    LangCase{"verify_report", {"--simulate", "verify", "@other.bin"}},
                    LangCase{"bad_hex", {"--simulate", "write", "@bad.hex"}},
                    LangCase{"isp_cable", {"--simulate", "--programmer", "1", "auto", "@blink"}},
                    LangCase{"hex2bin", {"hex2bin", "@bad.hex", "@out.bin"}},
                    LangCase{"missing_port", {"--port", "/no/such/tty", "detect"}}),
    [](const testing::TestParamInfo<LangCase>& info) { return info.param.what; });

// The log lines are a scripting interface: the locale never changes them.
TEST(CliLanguageChoice, LocaleLeavesTheLogChinese)
{
    CTempDir dir;
    ScopedEnv noVariable("TAMBERLINK_LANG", std::nullopt);
    const CliRun plain = RunTamberlinkCli({"--simulate", "auto", Blink()}, dir.Path().string());
    ScopedEnv lang("LANG", "en_US.UTF-8");
    ScopedEnv language("LANGUAGE", "en");
    const CliRun english = RunTamberlinkCli({"--simulate", "auto", Blink()}, dir.Path().string());
    const CliRun chosen =
        RunTamberlinkCli({"--lang", "zh", "--simulate", "auto", Blink()}, dir.Path().string());
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_EQ(english.out, plain.out);
    EXPECT_EQ(chosen.out, plain.out);
}

TEST(CliLanguageChoice, OptionIsCheckedAndDocumented)
{
    CTempDir dir;
    const CliRun wrong = RunTamberlinkCli({"--lang", "fr", "devices"}, dir.Path().string());
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("--lang must be zh or en"), std::string::npos) << wrong.err;
    EXPECT_EQ(RunTamberlinkCli({"devices", "--lang", "en"}, dir.Path().string()).exitCode, 0);
    const CliRun help = RunTamberlinkCli({"--help"}, dir.Path().string());
    EXPECT_NE(help.out.find("--lang zh|en"), std::string::npos);
    EXPECT_NE(help.out.find("TAMBERLINK_LANG"), std::string::npos);
}

} // namespace
