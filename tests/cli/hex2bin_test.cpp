// Runs the built tamberlink-cli hex2bin on files and checks what it leaves.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::ssize(bytes));
}

class Hex2Bin : public testing::Test {
protected:
    struct Run {
        int status;
        std::string out;
        std::string err;
    };

    // tamberlink-cli hex2bin IN OUT inside the test folder, output captured.
    Run Convert(const std::string& in, const std::string& out)
    {
        const char* binDir = std::getenv("TAMBERLINK_BIN_DIR");
        const std::string cli = std::string(binDir ? binDir : ".") + "/tamberlink-cli";
        const std::string command = "'" + cli + "' hex2bin '" + File(in) + "' '" + File(out) +
                                    "' >'" + File("stdout") + "' 2>'" + File("stderr") + "'";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(File("stdout")),
                ReadFile(File("stderr"))};
    }
    std::string File(const std::string& name) const { return m_dir.File(name); }

    CTempDir m_dir;
};

TEST_F(Hex2Bin, WritesImageUpToLastProgrammedByte)
{
    // The top record runs past 64K; the gap in between reads as erased.
    std::string fromHex(0x10002, '\xFF');
    fromHex[0x10] = 0x42;
    fromHex.replace(0xFFFE, 4, "\xA1\xA2\xA3\xA4");
    const struct {
        const char* in;
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"in.hex", ":0200100042FFAD\r\n:04FFFE00A1A2A3A475\r\n:00000001FF\r\n", fromHex},
        {"in.bin", std::string("\xFF" "AB\xFF\xFF\xFF", 6), std::string("\xFF" "AB", 3)},
        {"in.bin", std::string(300, '\xFF'), ""},  // erased image: an empty file
        {"in.bin", "", ""},
        {"in.bin", std::string(0x20000, 'x') + "beyond", std::string(0x20000, 'x')},
    };
    for (const auto& c : cases) {
        WriteFile(File(c.in), c.bytes);
        fs::remove(File("out.bin"));
        const Run run = Convert(c.in, "out.bin");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "");
        ASSERT_TRUE(fs::exists(File("out.bin")));
        EXPECT_EQ(ReadFile(File("out.bin")), c.expected) << c.bytes.size();
    }
}

TEST_F(Hex2Bin, ConversionFailureLeavesNoOutput)
{
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {":0100100042 \r\n:00000001FF", "*.Hex文件转换失败(错误的字符)!"},
        {":020000040002F8\r\n:00000001FF", "*.Hex文件转换失败(不支持大于64k)!"},
        {":0100100042AD\r\n", "*.Hex文件转换失败(未找到\":00000001\"记录)!"},
        {"0102:00000001FF", ""},  // the converter says nothing; the tool still does
    };
    for (const auto& c : cases) {
        WriteFile(File("bad.HEX"), c.text);
        const Run run = Convert("bad.HEX", "out.bin");
        EXPECT_EQ(run.status, 1) << c.text;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_FALSE(run.err.empty());
        EXPECT_FALSE(fs::exists(File("out.bin"))) << c.text;
    }
}

TEST_F(Hex2Bin, UnreadableInputAndUnwritableOutput)
{
    const Run missing = Convert("missing.hex", "out.bin");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("missing.hex"), std::string::npos) << missing.err;
    EXPECT_FALSE(fs::exists(File("out.bin")));

    WriteFile(File("in.bin"), "data");
    fs::create_directory(File("taken"));
    const Run blocked = Convert("in.bin", "taken");
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.err.find("taken"), std::string::npos) << blocked.err;
    EXPECT_EQ(Convert("in.bin", "no/such/out.bin").status, 1);
    // No temporary file is left behind either: in.bin, taken, stdout, stderr.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.Path()), fs::directory_iterator()), 4);
}

// Files that open with a base-0 extended address record, as objcopy,
// srec_cat and many IDEs write them, give the same bytes as objcopy makes.
TEST_F(Hex2Bin, BaseZeroExtendedRecordsMatchObjcopy)
{
    if (std::system("command -v objcopy >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "objcopy is not installed";
    WriteFile(File("in.hex"), ":020000040000FA\r\n:10000000101112131415161718191A1B1C1D1E1F78\r\n"
                              ":020000020000FC\r\n:04001000DEADBEEFB4\r\n:00000001FF\r\n");
    const Run run = Convert("in.hex", "out.bin");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string objcopy = "objcopy -I ihex -O binary '" + File("in.hex") + "' '" +
                                File("objcopy.bin") + "'";
    ASSERT_EQ(std::system(objcopy.c_str()), 0);
    EXPECT_EQ(ReadFile(File("out.bin")).size(), 20u);
    EXPECT_EQ(ReadFile(File("out.bin")), ReadFile(File("objcopy.bin")));
}

// Output through a link or into a pipe must reach what they lead to, not
// replace them with a plain file.
TEST_F(Hex2Bin, WritesThroughLinksAndIntoPipes)
{
    WriteFile(File("in.bin"), "AB\xFF");
    WriteFile(File("target.bin"), "old contents");
    ::chmod(File("target.bin").c_str(), 0640);
    fs::create_symlink("target.bin", File("link.bin"));
    EXPECT_EQ(Convert("in.bin", "link.bin").status, 0);
    EXPECT_TRUE(fs::is_symlink(File("link.bin")));
    EXPECT_EQ(ReadFile(File("target.bin")), "AB");
    struct stat info {};
    ::stat(File("target.bin").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);  // a replaced file keeps its permissions

    ASSERT_EQ(::mkfifo(File("pipe").c_str(), 0600), 0);
    // A reader that is already there keeps the tool's open from blocking.
    const int reader = ::open(File("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(Convert("in.bin", "pipe").status, 0);
    char got[8] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 2);
    EXPECT_EQ(std::string(got), "AB");
    ::close(reader);
    EXPECT_TRUE(fs::is_fifo(File("pipe")));
}

}  // namespace
