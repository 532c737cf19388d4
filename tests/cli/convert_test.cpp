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

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

bool HaveTool(const char* name)
{
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Random bytes ending in one that is not 0xFF, so the trimmed length is size.
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
    CliRun Cli(const Args& args) { return RunTamberlinkCli(args, m_dir.Path().string()); }
    CliRun OnBoard(Args args)
    {
        args.insert(args.begin(), {"--simulate", "--sim-state", File("chip.state")});
        return Cli(args);
    }
    std::string File(const std::string& name) const { return m_dir.File(name); }
    std::string Put(const std::string& name, const std::string& bytes)
    {
        std::ofstream(File(name), std::ios::binary).write(bytes.data(), std::ssize(bytes));
        return File(name);
    }
    // Runs a shell command on files of the test folder.
    bool Shell(const std::string& command)
    {
        return std::system(("cd '" + m_dir.Path().string() + "' && " + command).c_str()) == 0;
    }

    CTempDir m_dir;
};

TEST_F(CliFiles, ConvertRoundTripsBinaryThroughHex)
{
    for (std::size_t size : {1, 4096, 0x10000}) {
        const std::string image = RandomImage(size);
        Put("in.bin", image);
        CliRun run = Cli({"convert", File("in.bin"), File("mid.hex")});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "");
        run = Cli({"convert", File("mid.hex"), File("back.bin")});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(ReadFile(File("back.bin")), image) << size;
        if (HaveTool("objcopy")) {
            ASSERT_TRUE(Shell("objcopy -I ihex -O binary mid.hex objcopy.bin"));
            EXPECT_EQ(ReadFile(File("objcopy.bin")), image) << size;
        }
    }
}

TEST_F(CliFiles, ConvertFailuresLeaveNoOutput)
{
    const std::string good = "S1050010ABCD72\nS9030000FC\n";
    const struct {
        std::string in;
        std::string out;
        int status;
        std::string message;
    } cases[] = {
        {"bad.s19", "out.bin", 1, "*.S19文件转换失败(第1行校验和错误)!"},
        {"good.srec", "out.s28", 2, "S-records cannot be written"},
        {"missing.mot", "out.bin", 2, "missing.mot"},
    };
    Put("good.srec", good);
    Put("bad.s19", "S1050010ABCD73\n");
    for (const auto& c : cases) {
        const CliRun run = Cli({"convert", File(c.in), File(c.out)});
        EXPECT_EQ(run.exitCode, c.status) << c.in;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(File(c.out))) << c.in;
    }
    // S-records in, Intel HEX out under an .ihx name.
    const CliRun run = Cli({"convert", File("good.srec"), File("out.ihx")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(File("out.ihx")),
              ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n:02001000ABCD76\r\n:00000001FF\r\n");
}

// A file as SDCC writes it: records out of address order, of several sizes.
const std::string kSdccIhx =
    ":03000000020006F5\n:03005F0002000399\n:0300030002006296\n:070062007F008F900F80FB6F\n"
    ":06003500E478FFF6D8FD9F\n:04006900758200227A\n:00000001FF\n";

TEST_F(CliFiles, WritesIhxAndReadsItBack)
{
    CliRun run = OnBoard({"write", Put("prog.ihx", kSdccIhx)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = OnBoard({"read", File("out.bin")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string expected(0x6D, '\xFF');
    expected.replace(0x00, 3, "\x02\x00\x06", 3);
    expected.replace(0x03, 3, "\x02\x00\x62", 3);
    expected.replace(0x35, 6, "\xE4\x78\xFF\xF6\xD8\xFD", 6);
    expected.replace(0x5F, 3, "\x02\x00\x03", 3);
    expected.replace(0x62, 7, "\x7F\x00\x8F\x90\x0F\x80\xFB", 7);
    expected.replace(0x69, 4, "\x75\x82\x00\x22", 4);
    EXPECT_EQ(ReadFile(File("out.bin")), expected);
}

TEST_F(CliFiles, WritesSRecordsFromSrecCatAndReadsIntelHex)
{
    if (!HaveTool("srec_cat") || !HaveTool("objcopy"))
        GTEST_SKIP() << "srec_cat or objcopy is not installed";
    const std::string image = RandomImage(5000);
    Put("image.bin", image);
    ASSERT_TRUE(Shell("srec_cat image.bin -binary -o x.s19 -motorola"));
    CliRun run = OnBoard({"write", File("x.s19")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = OnBoard({"read", File("out.bin")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(File("out.bin")), image);

    run = OnBoard({"read", File("out.hex")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("缓冲2保存到文件 " + File("out.hex") + "(5000字节)."), std::string::npos);
    ASSERT_TRUE(Shell("objcopy -I ihex -O binary out.hex chip.bin"));
    EXPECT_EQ(ReadFile(File("chip.bin")), image);
}

}  // namespace
