#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "tests/support/CjkText.h"
#include "tests/support/CliProcess.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kBlink = TAMBERLINK_SOURCE_DIR "/res/demo/blink.hex";

// English from --lang and from TAMBERLINK_LANG alike, the whole run (the
// converter's message and the port's reason included): no Chinese, the same
// outcome, as many lines as in Chinese.
TEST(CliLanguage, EnglishRunsHaveNoChineseAndTheSameShape)
{
    CTempDir dir;
    std::ofstream(dir.File("bad.hex")) << "garbage\n";
    std::ofstream(dir.File("other.bin"), std::ios::binary) << "\x02\x01";
    const std::vector<std::vector<std::string>> runs = {
        {"--simulate", "auto", kBlink},
        {"--simulate", "--device", "AT89S51", "detect"},
        {"--simulate", "verify", dir.File("other.bin")},
        {"--simulate", "--programmer", "1", "write", dir.File("bad.hex")},
        {"hex2bin", dir.File("bad.hex"), dir.File("out.bin")},
        {"--port", "/no/such/tty", "detect"},
    };
    auto lines = [](const std::string& text) { return std::count(text.begin(), text.end(), '\n'); };
    ::unsetenv("TAMBERLINK_LANG");
    for (std::vector<std::string> args : runs) {
        const CliRun chinese = RunTamberlinkCli(args, dir.Path().string());
        EXPECT_TRUE(ContainsCjk(chinese.out + chinese.err)) << args.back();
        ::setenv("TAMBERLINK_LANG", "en", 1);
        const CliRun byVariable = RunTamberlinkCli(args, dir.Path().string());
        ::unsetenv("TAMBERLINK_LANG");
        args.insert(args.begin(), {"--lang", "en"});
        const CliRun english = RunTamberlinkCli(args, dir.Path().string());
        EXPECT_EQ(english.exitCode, chinese.exitCode) << args.back() << english.err;
        EXPECT_FALSE(ContainsCjk(english.out + english.err)) << english.out << english.err;
        EXPECT_EQ(lines(english.out), lines(chinese.out)) << english.out;
        EXPECT_EQ(byVariable.out + byVariable.err, english.out + english.err);
    }
}

// The log lines are a scripting interface: the locale never changes them.
TEST(CliLanguage, LocaleLeavesTheLogChineseAndTheOptionIsChecked)
{
    CTempDir dir;
    ::unsetenv("TAMBERLINK_LANG");
    const CliRun plain = RunTamberlinkCli({"--simulate", "auto", kBlink}, dir.Path().string());
    ::setenv("LANG", "en_US.UTF-8", 1);
    ::setenv("LANGUAGE", "en", 1);
    EXPECT_EQ(RunTamberlinkCli({"--simulate", "auto", kBlink}, dir.Path().string()).out, plain.out);
    EXPECT_EQ(RunTamberlinkCli({"--lang", "zh", "--simulate", "auto", kBlink}, dir.Path().string()).out,
              plain.out);
    const CliRun wrong = RunTamberlinkCli({"--lang", "fr", "devices"}, dir.Path().string());
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("--lang must be zh or en"), std::string::npos) << wrong.err;
    const CliRun help = RunTamberlinkCli({"--help"}, dir.Path().string());
    EXPECT_NE(help.out.find("--lang zh|en"), std::string::npos);
    EXPECT_NE(help.out.find("TAMBERLINK_LANG"), std::string::npos);
}

} // namespace
