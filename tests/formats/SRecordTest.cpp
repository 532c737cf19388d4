#include "formats/SRecord.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TempDir.h"

namespace {

constexpr std::uint8_t kUntouched = 0xA5;

// One record with a correct count and checksum; the address takes as many
// bytes as the type asks for.
std::string Rec(int type, unsigned address, const std::vector<std::uint8_t>& data = {})
{
    static const int kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    std::vector<std::uint8_t> bytes;
    for (int k = kAddressBytes[type] - 1; k >= 0; --k)
        bytes.push_back(static_cast<std::uint8_t>(address >> (8 * k)));
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = static_cast<unsigned>(bytes.size() + 1);
    std::string text = "S" + std::to_string(type);
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(bytes.size() + 1));
    text += pair;
    for (std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        text += pair;
        sum += b;
    }
    std::snprintf(pair, sizeof pair, "%02X", ~sum & 0xFF);
    return text + pair + "\r\n";
}

struct Conversion {
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(0x20000, kUntouched);
    CRecordingMessageSink sink;
    int result = 0;

    Conversion(const std::string& text, const std::string& ext = "S19")
    {
        result = ConvertSRecordToImage(text, ext, image.data(), sink);
    }
};

struct FailureCase {
    const char* name;
    std::string text;
    std::string message;
    std::string ext = "S19";
};

const std::string kHeader = Rec(0, 0, {'h', 'i'});
const std::string kGood = Rec(1, 0x10, {0x42});
const std::string kEnd = Rec(9, 0);

std::string TenDataRecords()
{
    std::string text;
    for (unsigned i = 0; i < 10; ++i)
        text += Rec(1, 16 * i, {1});
    return text;
}

std::string WithChecksum(std::string record, const char* checksum)
{
    record.replace(record.size() - 4, 2, checksum);
    return record;
}

const FailureCase kFailures[] = {
    {"EmptyText", "", "*.S19文件转换失败(未找到S记录)!"},
    {"OnlyBlankLines", "\r\n \n\t\n", "*.S19文件转换失败(未找到S记录)!"},
    {"WrongChecksumOnLine12",
     kHeader + TenDataRecords() + WithChecksum(kGood, "00") + kEnd,
     "*.S19文件转换失败(第12行校验和错误)!"},
    {"ExtensionAsGiven", kHeader + WithChecksum(kGood, "00"), "*.SREC文件转换失败(第2行校验和错误)!",
     "SREC"},
    {"BlankLinesCount", "\r\n\r\n" + WithChecksum(kGood, "00"), "*.S19文件转换失败(第3行校验和错误)!"},
    {"NotAnSRecord", kGood + ":0100100042AD\r\n" + kEnd, "*.S19文件转换失败(第2行错误的记录)!"},
    {"LowerCaseS", "s" + kGood.substr(1), "*.S19文件转换失败(第1行错误的记录)!"},
    {"ReservedTypeS4", kGood + "S4030000FC\r\n", "*.S19文件转换失败(第2行错误的记录)!"},
    {"TypeNotADigit", "SX030000FC\r\n", "*.S19文件转换失败(第1行错误的记录)!"},
    {"TypeOnly", "S1\r\n", "*.S19文件转换失败(第1行错误的记录)!"},
    {"SpaceInsideRecord", "S104 0010 42A9\r\n", "*.S19文件转换失败(第1行错误的字符)!"},
    {"NotAHexDigit", "S1040010G2A9\r\n", "*.S19文件转换失败(第1行错误的字符)!"},
    {"StrayCharacterAtEnd", "S104001042A9#\r\n", "*.S19文件转换失败(第1行错误的字符)!"},
    {"NulInsideRecord", std::string("S10400\0""1042A9\r\n", 15), "*.S19文件转换失败(第1行错误的字符)!"},
    {"OddDigitCount", "S104001042A9F\r\n", "*.S19文件转换失败(第1行错误的记录)!"},
    {"CountTooLarge", "S105001042A8\r\n", "*.S19文件转换失败(第1行错误的记录)!"},
    {"CountTooSmall", "S103001042AA\r\n", "*.S19文件转换失败(第1行错误的记录)!"},
    {"CountShorterThanAddress", "S20200FD\r\n", "*.S19文件转换失败(第1行错误的记录)!"},
    {"TruncatedLastLine", kGood + "S1130020000102030405", "*.S19文件转换失败(第2行错误的记录)!"},
    {"CountRecordTooLow", kGood + kGood + Rec(5, 1), "*.S19文件转换失败(第3行记录数错误)!"},
    {"CountRecordTooHigh", kGood + Rec(6, 2) + kEnd, "*.S19文件转换失败(第2行记录数错误)!"},
    {"PastTheBuffer", Rec(2, 0x1FFFF, {1, 2}), "*.S19文件转换失败(第1行不支持大于128k)!"},
    {"FarAddress", kGood + Rec(3, 0xFFFFFFFF, {1}), "*.S19文件转换失败(第2行不支持大于128k)!"},
    {"FaultBeforeEndCounts", kGood + kGood.substr(0, 6) + "\r\n" + kEnd + "junk",
     "*.S19文件转换失败(第2行错误的记录)!"},
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class SRecordFailure : public testing::TestWithParam<FailureCase> {};

// Nothing is placed unless the whole file converts.
TEST_P(SRecordFailure, NamesTheLineAndLeavesTheImageAlone)
{
    const FailureCase& c = GetParam();
    Conversion conversion(c.text, c.ext);
    EXPECT_EQ(conversion.result, -1);
    const auto messages = conversion.sink.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, c.message);
    EXPECT_EQ(messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(conversion.image, std::vector<std::uint8_t>(0x20000, kUntouched));
}

INSTANTIATE_TEST_SUITE_P(Table, SRecordFailure, testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SRecord, PlacesDataAndFillsTheRestOfTheBuffer)
{
    std::string lower = Rec(1, 0x20, {0xAB});
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    lower[0] = 'S';
    const std::string text = kHeader + Rec(1, 0x10, {0x42, 0x43}) + "\n"
                             + Rec(2, 0x1FFFE, {0x11, 0x22}) + lower
                             + Rec(3, 0x11, {0x99}) + "S5030004F8  \t\r\n"
                             + Rec(9, 0x1234) + Rec(1, 0x30, {0x77}) + "garbage";
    Conversion conversion(text);
    EXPECT_TRUE(conversion.sink.Messages().empty());
    EXPECT_EQ(conversion.result, 6);
    std::vector<std::uint8_t> expected(0x20000, 0xFF);
    expected[0x10] = 0x42;
    expected[0x11] = 0x99;  // a later record overwrites
    expected[0x20] = 0xAB;
    expected[0x1FFFE] = 0x11;
    expected[0x1FFFF] = 0x22;
    EXPECT_EQ(conversion.image, expected);

    // No end record: the text's end ends the file; no data gives an erased image.
    Conversion headerOnly(kHeader);
    EXPECT_EQ(headerOnly.result, 0);
    EXPECT_EQ(headerOnly.image, std::vector<std::uint8_t>(0x20000, 0xFF));
}

// Files from srec_cat with each address size convert back to their data.
TEST(SRecord, ReadsFilesMadeBySrecCat)
{
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "srec_cat is not installed";
    CTempDir dir;
    std::vector<std::uint8_t> data(0x20000);
    std::mt19937 random(11);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(random());
    std::ofstream(dir.File("in.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::ssize(data));
    for (const char* addressLength : {"2", "3", "4"}) {
        // A 16-bit address reaches only the first 64 KB.
        const std::size_t size = addressLength[0] == '2' ? 0x10000 : 0x20000;
        const std::string command = "srec_cat '" + dir.File("in.bin") + "' -binary -crop 0 "
                                    + std::to_string(size) + " -o '" + dir.File("out.s") + "' "
                                    "-motorola -address-length=" + addressLength;
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::ifstream in(dir.File("out.s"), std::ios::binary);
        Conversion conversion(std::string(std::istreambuf_iterator<char>(in), {}));
        EXPECT_EQ(conversion.result, static_cast<int>(size)) << addressLength;
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + std::ptrdiff_t(size),
                               conversion.image.begin()));
        EXPECT_TRUE(conversion.sink.Messages().empty());
    }
}

}  // namespace
