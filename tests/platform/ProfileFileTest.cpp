#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <vector>

#include "platform/ProfileFile.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> FolderEntries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A cable file as Windows leaves it: CRLF, GBK section names, a comment,
// blanks around '=', names in mixed case, blank lines between sections.
const std::string kWindowsIni =
    "; cable wiring\r\n"
    "[\xD2\xFD\xBD\xC5\xBF\xD8\xD6\xC6]\r\n"   // 引脚控制
    "MOSI = 2\r\n"
    "Miso=10\r\n"
    "  sck\t=  3  \r\n"
    "\r\n"
    "[\xCB\xF8\xB4\xE6\xBF\xD8\xD6\xC6(LE)]\r\n" // 锁存控制(LE)
    "Enable=0\r\n"
    "\r\n"
    "[Misc]\r\n"
    "Name=\xC3\xFB\r\n";

class ProfileFileTest : public ::testing::Test {
protected:
    CTempDir m_dir;
    std::string m_path = m_dir.File("test.ini");
};

TEST_F(ProfileFileTest, RoundTripOfStringsIntsAndStructsInANewFile)
{
    CProfileFile ini(m_path);
    const std::array<std::uint8_t, 5> block{0x00, 0x7F, 0x80, 0xFF, 0x10};
    ASSERT_TRUE(ini.WriteString("File Number", "n", "3"));
    ASSERT_TRUE(ini.WriteString("LastFile", "File 0", "/home/user/a b.hex"));
    ASSERT_TRUE(ini.WriteStruct("Block", "data", block.data(), block.size()));
    ASSERT_TRUE(ini.WriteString("File Number", "n", "4"));

    EXPECT_EQ(ini.GetInt("File Number", "n", -1), 4);
    EXPECT_EQ(ini.GetString("LastFile", "File 0", ""), "/home/user/a b.hex");
    std::array<std::uint8_t, 5> back{};
    ASSERT_TRUE(ini.GetStruct("Block", "data", back.data(), back.size()));
    EXPECT_EQ(back, block);

    // Files we start are UTF-8 with LF; the struct is hex plus checksum
    // (0x7F + 0x80 + 0xFF + 0x10 = 0x20E -> 0E).
    EXPECT_EQ(ReadBytes(m_path), "[File Number]\nn=4\n"
                                 "[LastFile]\nFile 0=/home/user/a b.hex\n"
                                 "[Block]\ndata=007F80FF100E\n");
    EXPECT_EQ(FolderEntries(m_dir.Path()), std::vector<std::string>{"test.ini"})
        << "no temporary file may stay behind";
}

TEST_F(ProfileFileTest, IntegersReadLikeWindows)
{
    const std::pair<const char*, int> cases[] = {
        {"12", 12},      {"12abc", 12},   {"-7", -7},  {"+5", 5},
        {"abc", 0},      {"-", 0},        {"0x10", 0}, {"  42  ", 42},
        {"2147483647", INT_MAX},          {"4294967297", 1}, // wraps like the Windows call
    };
    std::string text = "[n]\n";
    for (std::size_t i = 0; i < std::size(cases); ++i)
        text += "k" + std::to_string(i) + "=" + cases[i].first + "\n";
    text += "empty=\n";
    WriteBytes(m_path, text);

    CProfileFile ini(m_path);
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ini.GetInt("n", "k" + std::to_string(i), 99), cases[i].second) << cases[i].first;
    EXPECT_EQ(ini.GetInt("n", "empty", 99), 99) << "an empty value counts as missing";
    EXPECT_EQ(ini.GetInt("n", "absent", 99), 99);
    EXPECT_EQ(CProfileFile(m_dir.File("none.ini")).GetInt("n", "k0", 7), 7);
}

TEST_F(ProfileFileTest, ReadsAWindowsFileThroughUtf8Names)
{
    WriteBytes(m_path, kWindowsIni);
    CProfileFile ini(m_path);
    EXPECT_EQ(ini.GetInt("引脚控制", "mosi", 14), 2);
    EXPECT_EQ(ini.GetInt("引脚控制", "MISO", 15), 10);
    EXPECT_EQ(ini.GetInt("引脚控制", "SCK", 1), 3);
    EXPECT_EQ(ini.GetInt("引脚控制", "RST", 16), 16);
    EXPECT_EQ(ini.GetInt("锁存控制(le)", "enable", 1), 0);
    EXPECT_EQ(ini.GetString("misc", "NAME", ""), "\xC3\xFB") << "values come back as stored";
    EXPECT_EQ(ini.GetString("cable wiring", "x", "none"), "none");
}

TEST_F(ProfileFileTest, WritingIntoAWindowsFileKeepsEveryOtherByte)
{
    WriteBytes(m_path, kWindowsIni);
    CProfileFile ini(m_path);

    ASSERT_TRUE(ini.WriteString("引脚控制", "miso", "11"));
    std::string expected = kWindowsIni;
    expected.replace(expected.find("Miso=10"), 7, "Miso=11");
    EXPECT_EQ(ReadBytes(m_path), expected) << "the key keeps its spelling and its CRLF";

    // A new key goes after the section's last entry, before its blank line.
    ASSERT_TRUE(ini.WriteString("引脚控制", "RST", "16"));
    expected.insert(expected.find("\r\n\r\n[\xCB") + 2, "RST=16\r\n");
    EXPECT_EQ(ReadBytes(m_path), expected);

    // A new section goes at the end, in the file's own line style.
    ASSERT_TRUE(ini.WriteString("New", "k", "v"));
    expected += "[New]\r\nk=v\r\n";
    EXPECT_EQ(ReadBytes(m_path), expected);

    ASSERT_TRUE(ini.DeleteKey("锁存控制(LE)", "ENABLE"));
    expected.erase(expected.find("Enable=0\r\n"), 10);
    EXPECT_EQ(ReadBytes(m_path), expected);
}

TEST_F(ProfileFileTest, LineLayoutEdgeCases)
{
    struct Case {
        const char* what;
        std::string before;
        std::string after; // after writing [s] k=v
    };
    const Case cases[] = {
        {"empty file", "", "[s]\nk=v\n"},
        {"BOM kept, section found after it", "\xEF\xBB\xBF[S]\nk=1\n", "\xEF\xBB\xBF[S]\nk=v\n"},
        {"last line without line end", "[s]\na=1", "[s]\na=1\nk=v\n"},
        {"other section without line end", "[t]\na=1", "[t]\na=1\n[s]\nk=v\n"},
        {"first of two equal sections wins", "[s]\nk=1\n[S]\nk=2\n", "[s]\nk=v\n[S]\nk=2\n"},
        {"new key in first of two sections", "[s]\n[s]\nk=2\n", "[s]\nk=v\n[s]\nk=2\n"},
        // A comment just above a header describes that next section.
        {"commented key is not a key", "[s]\na=1\n;k=1\n[t]\n", "[s]\na=1\nk=v\n;k=1\n[t]\n"},
        {"key before any section is not in it", "k=0\n[s]\n", "k=0\n[s]\nk=v\n"},
    };
    for (const Case& c : cases) {
        WriteBytes(m_path, c.before);
        ASSERT_TRUE(CProfileFile(m_path).WriteString("s", "k", "v")) << c.what;
        EXPECT_EQ(ReadBytes(m_path), c.after) << c.what;
        EXPECT_EQ(CProfileFile(m_path).GetString("s", "k", ""), "v") << c.what;
    }
}

TEST_F(ProfileFileTest, ValuesThatWouldNotReadBackAreRefused)
{
    WriteBytes(m_path, "[s]\nk=1\n");
    CProfileFile ini(m_path);
    EXPECT_FALSE(ini.WriteString("s", "k", "1\n[evil]\nx=2"));
    EXPECT_FALSE(ini.WriteString("s", "k", "1\r2"));
    EXPECT_FALSE(ini.WriteString("s", "a=b", "1"));
    EXPECT_FALSE(ini.WriteString("s", "", "1"));
    EXPECT_FALSE(ini.WriteString("s]x", "k", "1"));
    EXPECT_FALSE(ini.WriteString("s", ";k", "1"));
    EXPECT_EQ(ReadBytes(m_path), "[s]\nk=1\n");
}

TEST_F(ProfileFileTest, DeleteKey)
{
    EXPECT_TRUE(CProfileFile(m_path).DeleteKey("s", "k")) << "no file, no key";
    EXPECT_FALSE(fs::exists(m_path));

    WriteBytes(m_path, "[s]\r\nk=1\r\nj=2\r\n");
    CProfileFile ini(m_path);
    EXPECT_TRUE(ini.DeleteKey("s", "missing"));
    EXPECT_TRUE(ini.DeleteKey("S", "K"));
    EXPECT_EQ(ReadBytes(m_path), "[s]\r\nj=2\r\n");
    EXPECT_EQ(ini.GetString("s", "k", "gone"), "gone");
}

TEST_F(ProfileFileTest, StructReadFailuresLeaveDataUntouched)
{
    // Three bytes 01 02 03, checksum 06.
    const std::pair<const char*, std::string> cases[] = {
        {"missing key", "[s]\nother=01020306\n"},
        {"short", "[s]\nk=010203\n"},
        {"long", "[s]\nk=0102030600\n"},
        {"odd length", "[s]\nk=010203060\n"},
        {"bad checksum", "[s]\nk=01020307\n"},
        {"non-hex digit", "[s]\nk=01G20306\n"},
        {"sign inside", "[s]\nk=01-20306\n"},
        {"empty", "[s]\nk=\n"},
    };
    for (const auto& [what, text] : cases) {
        WriteBytes(m_path, text);
        std::array<std::uint8_t, 3> data{0xAA, 0xAA, 0xAA};
        EXPECT_FALSE(CProfileFile(m_path).GetStruct("s", "k", data.data(), data.size())) << what;
        EXPECT_EQ(data, (std::array<std::uint8_t, 3>{0xAA, 0xAA, 0xAA})) << what;
    }

    WriteBytes(m_path, "[s]\nk=0a0B0c21\n");
    std::array<std::uint8_t, 3> data{};
    EXPECT_TRUE(CProfileFile(m_path).GetStruct("s", "k", data.data(), data.size()))
        << "lower-case digits are accepted on reading";
    EXPECT_EQ(data, (std::array<std::uint8_t, 3>{0x0A, 0x0B, 0x0C}));
}

TEST_F(ProfileFileTest, FailedWritesReportFalseAndLeaveNothingBehind)
{
    EXPECT_FALSE(CProfileFile(m_dir.File("missing/test.ini")).WriteString("s", "k", "v"));
    EXPECT_FALSE(fs::exists(m_dir.File("missing")));

    WriteBytes(m_dir.File("plain"), "x");
    EXPECT_FALSE(CProfileFile(m_dir.File("plain/test.ini")).WriteString("s", "k", "v"));

    // A path that exists but cannot be read is not replaced.
    fs::create_directory(m_dir.File("folder.ini"));
    EXPECT_FALSE(CProfileFile(m_dir.File("folder.ini")).WriteString("s", "k", "v"));
    EXPECT_TRUE(fs::is_directory(m_dir.File("folder.ini")));

    EXPECT_EQ(FolderEntries(m_dir.Path()), (std::vector<std::string>{"folder.ini", "plain"}));
}

TEST_F(ProfileFileTest, ReplacingKeepsPermissionsAndSymlinks)
{
    WriteBytes(m_path, "[s]\nk=1\n");
    ::chmod(m_path.c_str(), 0640);
    const std::string link = m_dir.File("link.ini");
    fs::create_symlink(m_path, link);

    ASSERT_TRUE(CProfileFile(link).WriteString("s", "k", "2"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(m_path), "[s]\nk=2\n");
    struct stat st {};
    ASSERT_EQ(::stat(m_path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

} // namespace
