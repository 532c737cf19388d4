#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/CliProcess.h"
#include "tests/support/TempDir.h"

namespace {

using Args = std::vector<std::string>;

class CliUsageErrors : public testing::TestWithParam<Args> {
protected:
    CTempDir m_dir;
};

// Each of these is refused before any port is opened: exit 2, nothing on
// stdout, the reason on stderr.
TEST_P(CliUsageErrors, ExitWithStatusTwo)
{
    Args args = GetParam();
    for (std::string& arg : args)
        if (arg.rfind("@", 0) == 0)
            arg = m_dir.File(arg.substr(1));
    const CliRun run = RunTamberlinkCli(args, m_dir.Path().string());
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("tamberlink-cli: "), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CliUsageErrors,
    testing::Values(Args{}, Args{"frobnicate"}, Args{"erase", "extra"}, Args{"write"},
                    Args{"lock"}, Args{"lock", "4"}, Args{"lock", "0"},
                    Args{"--baud", "9600", "check"}, Args{"--baud", "check"},
                    Args{"--programmer", "7", "check"},
                    Args{"--port", "COM5", "check"}, Args{"--port", "com0", "check"},
                    Args{"--timeout", "0", "check"}, Args{"--timeout", "3s", "check"},
                    Args{"--timeout", "nan", "check"}, Args{"erase", "--steps", "erase"},
                    Args{"detect", "--detect"}, Args{"auto", "@f.bin", "--steps", "erase,bake"},
                    Args{"--sim-state", "@s", "check"}, Args{"--device"},
                    Args{"--simulate", "--port", "/dev/null", "check"},
                    Args{"--unknown", "check"}, Args{"--port", "COM1", "hex2bin", "a", "b"},
                    Args{"hex2bin", "a"}, Args{"devices", "x"}, Args{"--latch", "3", "check"},
                    Args{"--latch", "1", "--latch", "1", "check"},
                    Args{"--port", "COM1", "--port", "COM2", "check"},
                    // Files and devices are checked before the port is opened.
                    Args{"write", "@missing.bin"}, Args{"verify", "@"},
                    Args{"auto", "@missing.hex"}, Args{"read", "@no-such-folder/out.bin"},
                    Args{"--device", "AT89X99", "check"}, Args{"--device", "9999", "check"},
                    Args{"--catalogue", "@missing.chip", "check"}));

// The port of a GPIO, FTDI or SPI programmer is checked for its form too.
INSTANTIATE_TEST_SUITE_P(
    PinKindPorts, CliUsageErrors,
    testing::Values(Args{"--programmer", "7", "check"},
                    Args{"--programmer", "4", "--port", "COM1", "check"},
                    Args{"--port", "ftdi:0403:6001", "--programmer", "4", "check"},
                    Args{"--programmer", "5", "--port", "/dev/ttyUSB0", "check"},
                    Args{"--programmer", "5", "--port", "ftdi:0403", "check"},
                    Args{"--programmer", "5", "--port", "ftdi:0403:6001:", "check"},
                    Args{"--programmer", "6", "--port", "gpiochip0", "check"},
                    Args{"--programmer", "6", "--port", "spidev0", "check"},
                    Args{"--programmer", "6", "--port", "spidev0.0:gpiochip0", "check"},
                    Args{"--programmer", "6", "--port", "spidev0.0:gpiochip0:x", "check"},
                    Args{"--programmer", "4", "--crystal", "0", "check"},
                    Args{"--programmer", "4", "--crystal", "12MHz", "check"},
                    Args{"--programmer", "4", "--crystal", "41", "check"},
                    Args{"--crystal", "12", "check"},
                    Args{"--programmer", "4", "--sim-crystal", "3", "check"},
                    Args{"--simulate", "--sim-crystal", "3", "check"},
                    Args{"--simulate", "--sim-fault", "miso-low", "check"},
                    Args{"--programmer", "4", "--simulate", "--sim-fault", "garbage", "check"},
                    Args{"--programmer", "4", "--sim-fault", "miso-low", "check"},
                    Args{"--programmer", "3", "--page-write", "check"}));

TEST(CliOptions, HelpPrintsUsage)
{
    CTempDir dir;
    const CliRun run = RunTamberlinkCli({"--help"}, dir.Path().string());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("Usage: tamberlink-cli"), std::string::npos);
    // Every option is explained, and every exit status.
    for (const char* text : {"--programmer N ", "--port PORT ", "--baud RATE ", "--latch N ",
                             "--device D ", "--catalogue FILE ", "--simulate ", "--sim-state FILE ",
                             "--timeout SECONDS ", "--steps LIST ", "--detect ", "--version ",
                             "\n  gang FILE ", "--ports P1,P2,... ", "--serial ADDR:START",
                             "--serial-state F ", "--log F ", "--rounds N ", "--wait-chip ",
                             "--sim-fault P:KIND[=K]\n", "--sim-state DIR ",
                             "\n  0  success", "\n  1  ", "\n  2  ", "\n  3  "})
        EXPECT_NE(run.out.find(text), std::string::npos) << text;
}

TEST(CliOptions, VersionOfBothPrograms)
{
    CTempDir dir;
    for (const char* program : {"tamberlink-cli", "tamberlink-board-sim"}) {
        const CliRun run = RunBuiltProgram(program, {"--version"}, dir.Path().string());
        EXPECT_EQ(run.exitCode, 0) << program;
        EXPECT_EQ(run.out, std::string(program) + " " + TAMBERLINK_VERSION + "\n");
    }
}

// A mistyped command is named as such, whatever options come with it.
TEST(CliOptions, MistypedCommandIsNamedWhateverTheOptions)
{
    CTempDir dir;
    for (const Args& args : {Args{"frobnicate"}, Args{"--port", "COM1", "frobnicate"},
                             Args{"--timeout", "0", "frobnicate"}, Args{"frobnicate", "--steps", "x"},
                             Args{"--unknown", "frobnicate"}, Args{"--simulate", "frobnicate", "a"},
                             Args{"frobnicate", "--port"}}) {
        const CliRun run = RunTamberlinkCli(args, dir.Path().string());
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err.rfind("tamberlink-cli: unknown command 'frobnicate'\n", 0), 0u)
            << run.err;
    }
}

}  // namespace
