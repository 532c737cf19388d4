// The ISP kinds' answer checks and crystal from outside: a chip whose MISO
// is stuck, or a bench whose crystal is slower than the host was told,
// fails every single-port command with the programming-enable line and
// exit 1; told the right crystal, the same bench passes.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/CliProcess.h"
#include "tests/support/TempDir.h"

namespace {

using Args = std::vector<std::string>;

const std::string kNoAnswer =
    "接收数据时发生错误.\n芯片没有应答编程使能指令, 请检查连线、晶振和电源.\n";

std::string Demo()
{
    return std::string(TAMBERLINK_SOURCE_DIR) + "/res/demo/blink.hex";
}

class CliIspKinds : public testing::TestWithParam<const char*> {
protected:
    CliRun Run(Args args)
    {
        args.insert(args.begin(), {"--programmer", GetParam(), "--simulate"});
        return RunTamberlinkCli(args, m_dir.Path().string());
    }
    CTempDir m_dir;
};

TEST_P(CliIspKinds, AChipThatDoesNotAnswerFailsWithTheReason)
{
    for (const char* fault : {"miso-low", "miso-high"})
        for (const Args& command : {Args{"read", m_dir.File("out.bin")}, Args{"lock", "3"},
                                    Args{"detect"}, Args{"erase"}}) {
            Args args = {"--sim-fault", fault};
            args.insert(args.end(), command.begin(), command.end());
            const CliRun run = Run(args);
            EXPECT_EQ(run.exitCode, 1) << fault << " " << command[0] << "\n" << run.out;
            EXPECT_NE(run.out.find(kNoAnswer), std::string::npos) << run.out;
        }
    // Nothing was read, so nothing was saved.
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("out.bin")));
}

INSTANTIATE_TEST_SUITE_P(Kinds, CliIspKinds, testing::Values("1", "2", "3", "4", "5", "6"));

class CliCrystal : public CliIspKinds {};

TEST_P(CliCrystal, ASlowerCrystalThanBelievedFailsUntilTheHostIsTold)
{
    CliRun run = Run({"--sim-crystal", "3", "auto", Demo()});
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_NE(run.out.find(kNoAnswer), std::string::npos) << run.out;
    run = Run({"--sim-crystal", "3", "--crystal", "3", "auto", Demo()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("效验成功,数据正确"), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Kinds, CliCrystal, testing::Values("4", "5", "6"));

// The single board takes gang's faults, without the port.
TEST(CliSimFault, TheSingleBoardTakesGangsFaults)
{
    CTempDir dir;
    const CliRun run = RunTamberlinkCli(
        {"--simulate", "--sim-fault", "never-answer", "--timeout", "0.3", "check"},
        dir.Path().string());
    EXPECT_EQ(run.exitCode, 3) << run.out << run.err;
}

}  // namespace
