// tamberlink-cli convert, and the device commands with the newer file
// formats: SDCC's .ihx, S-records from srec_cat, reading into a .hex file.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "tests/support/CliProcess.h"
#include "tests/support/TempDir.h"

namespace {

// Random bytes ending in one that is not 0xFF, so nothing is trimmed.
std::string RandomImage(std::size_t size)
{
    std::mt19937 random(static_cast<unsigned>(size));
    std::string bytes(size, '\0');
    for (char& b : bytes)
        b = static_cast<char>(random());
    bytes.back() = 0x00;
    return bytes;
}

class CliFiles : public testing::Test {
protected:
    // board: against the simulated board, its chip kept in a state file.
    CliRun Cli(std::vector<std::string> args, bool board = false)
    {
        if (board)
            args.insert(args.begin(), {"--simulate", "--sim-state", File("chip.state")});
        return RunTamberlinkCli(args, m_dir.Path().string());
    }
    std::string File(const std::string& name) const { return m_dir.File(name); }
    std::string Put(const std::string& name, const std::string& bytes)
    {
        std::ofstream(File(name), std::ios::binary) << bytes;
        return File(name);
    }
    std::string Read(const std::string& name) const
    {
        std::ifstream in(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // In the test folder; false also when the tool is missing.
    bool Shell(const std::string& command) const
    {
        return std::system(("cd '" + m_dir.Path().string() + "' && " + command).c_str()) == 0;
    }

    CTempDir m_dir;
};

TEST_F(CliFiles, ConvertRoundTripsBinaryThroughHex)
{
    const bool objcopy = Shell("command -v objcopy >/dev/null");
    // 100,000 bytes go past 64 KB: the writer's extended address comes back.
    for (std::size_t size : {1, 4096, 0x10000, 100000}) {
        const std::string image = RandomImage(size);
        CliRun run = Cli({"convert", Put("in.bin", image), File("mid.hex")});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "");
        ASSERT_EQ(Cli({"convert", File("mid.hex"), File("back.bin")}).exitCode, 0);
        EXPECT_EQ(Read("back.bin"), image) << size;
        if (objcopy) {
            ASSERT_TRUE(Shell("objcopy -I ihex -O binary mid.hex objcopy.bin"));
            EXPECT_EQ(Read("objcopy.bin"), image) << size;
        }
    }
}

TEST_F(CliFiles, ConvertFailuresAndSRecordsToIhx)
{
    CliRun run = Cli({"convert", Put("bad.s19", "S1050010ABCD73\n"), File("out.bin")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("*.S19文件转换失败(第1行校验和错误)!"), std::string::npos) << run.err;
    const std::string good = Put("good.srec", "S1050010ABCD72\nS9030000FC\n");
    EXPECT_EQ(Cli({"convert", good, File("out.s28")}).exitCode, 2);  // no S-record writer
    EXPECT_FALSE(std::filesystem::exists(File("out.bin")) || std::filesystem::exists(File("out.s28")));

    run = Cli({"convert", good, File("out.ihx")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Read("out.ihx"),
              ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n:02001000ABCD76\r\n:00000001FF\r\n");
}

TEST_F(CliFiles, WritesIhxAndSRecordsAndReadsIntelHex)
{
    // As SDCC writes it: records out of address order, of several sizes.
    Put("prog.ihx", ":03000000020006F5\n:03005F0002000399\n:0300030002006296\n"
                    ":04006900758200227A\n:00000001FF\n");
    std::string ihxImage(0x6D, '\xFF');
    ihxImage.replace(0x00, 6, "\x02\x00\x06\x02\x00\x62", 6);
    ihxImage.replace(0x5F, 3, "\x02\x00\x03", 3);
    ihxImage.replace(0x69, 4, "\x75\x82\x00\x22", 4);
    const std::string image = RandomImage(5000);
    Put("image.bin", image);
    std::vector<std::pair<std::string, std::string>> files = {{"prog.ihx", ihxImage}};
    if (Shell("srec_cat image.bin -binary -o x.s19 -motorola"
              " && srec_cat image.bin -binary -o x.s28 -motorola -address-length=3"
              " && srec_cat image.bin -binary -o x.s37 -motorola -address-length=4"))
        files.insert(files.end(), {{"x.s19", image}, {"x.s28", image}, {"x.s37", image}});
    for (const auto& [name, expected] : files) {
        CliRun run = Cli({"auto", File(name)}, true);  // erase, write, verify
        ASSERT_EQ(run.exitCode, 0) << run.err;
        run = Cli({"read", File("out.bin")}, true);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(Read("out.bin"), expected) << name;
    }

    const CliRun run = Cli({"read", File("out.hex")}, true);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("缓冲2保存到文件 " + File("out.hex") + "(5000字节)."), std::string::npos);
    if (Shell("objcopy -I ihex -O binary out.hex chip.bin")) {
        EXPECT_EQ(Read("chip.bin"), image);
    }
}

// One wrong checksum: the load fails and the chip is not programmed.
TEST_F(CliFiles, WrongChecksumProgramsNothing)
{
    const struct {
        const char* name;
        std::string text;
        std::string message;
    } files[] = {
        {"bad.s19", "S1050010ABCD72\nS1050020ABCD32\nS9030000FC\n",
         "*.S19文件转换失败(第2行校验和错误)!"},
        // One data byte changed (0xCD to 0xCE), its checksum not.
        {"flipped.hex", ":02001000ABCD76\r\n:02002000ABCE66\r\n:00000001FF\r\n",
         "*.Hex文件转换失败(第2行校验和错误)!"},
    };
    for (const auto& file : files) {
        const std::string bad = Put(file.name, file.text);
        CliRun run = Cli({"auto", bad}, true);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find(file.message), std::string::npos) << run.err;
        EXPECT_NE(run.out.find("读入文件 " + bad + " 失败."), std::string::npos) << run.out;
        run = Cli({"read", File("out.bin")}, true);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(Read("out.bin"), "") << file.name;
    }
}

}  // namespace
