#include "formats/SRecord.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/RecordingMessageSink.h"

namespace {

constexpr std::uint8_t kUntouched = 0xA5;

// One record with a correct count and checksum.
std::string Rec(int type, unsigned address, const std::vector<std::uint8_t>& data = {})
{
    static const int kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    const int addressBytes = kAddressBytes[type];
    std::vector<std::uint8_t> bytes{std::uint8_t(addressBytes + data.size() + 1)};
    for (int k = addressBytes - 1; k >= 0; --k)
        bytes.push_back(std::uint8_t(address >> (8 * k)));
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    bytes.push_back(std::uint8_t(~sum));
    std::string text = "S" + std::to_string(type);
    char pair[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        text += pair;
    }
    return text + "\r\n";
}

struct Conversion {
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(0x20000, kUntouched);
    CRecordingMessageSink sink;
    int result;
    explicit Conversion(const std::string& text, const char* ext = "S19")
        : result(ConvertSRecordToImage(text, ext, image.data(), sink)) {}
};

const std::string kGood = Rec(1, 0x10, {0x42});  // S104001042A9
const std::string kBadSum = "S104001042AA\r\n";

std::string Lines(int n)
{
    return n == 0 ? std::string() : kGood + Lines(n - 1);
}

struct FailureCase {
    const char* name;
    std::string text;
    std::string reason;
};

const FailureCase kFailures[] = {
    {"EmptyText", "\r\n \n", "未找到S记录"},
    {"WrongChecksum", Rec(0, 0, {'h', 'i'}) + Lines(10) + kBadSum + Rec(9, 0), "第12行校验和错误"},
    {"BlankLinesCount", "\r\n\r\n" + kBadSum, "第3行校验和错误"},
    {"NotAnSRecord", kGood + ":0100100042AD\r\n", "第2行错误的记录"},
    {"ReservedTypeS4", kGood + "S4030000FC\r\n", "第2行错误的记录"},
    {"SpaceInsideRecord", "S104 0010 42A9\r\n", "第1行错误的字符"},
    {"StrayCharacterAtEnd", "S104001042A9#\r\n", "第1行错误的字符"},
    {"OddDigitCount", "S104001042A9F\r\n", "第1行错误的记录"},
    {"CountDisagrees", "S105001042A8\r\n", "第1行错误的记录"},
    {"CountShorterThanAddress", "S20200FD\r\n", "第1行错误的记录"},
    {"CountRecordDisagrees", Lines(2) + Rec(5, 1), "第3行记录数错误"},
    {"CountRecordS6Disagrees", Lines(3) + Rec(6, 2) + Rec(9, 0), "第4行记录数错误"},
    {"PastTheBuffer", Rec(2, 0x1FFFF, {1, 2}), "第1行不支持大于128k"},
    {"FarAddress", kGood + Rec(3, 0xFFFFFFFF, {1}), "第2行不支持大于128k"},
    {"FaultBeforeEndRecord", kGood + "S10400\r\n" + Rec(9, 0) + "junk", "第2行错误的记录"},
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class SRecordFailure : public testing::TestWithParam<FailureCase> {};

// Nothing is placed unless the whole file converts.
TEST_P(SRecordFailure, NamesTheLineAndLeavesTheImageAlone)
{
    Conversion conversion(GetParam().text, "SREC");
    EXPECT_EQ(conversion.result, -1);
    const auto messages = conversion.sink.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "*.SREC文件转换失败(" + GetParam().reason + ")!");
    EXPECT_EQ(messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(conversion.image, std::vector<std::uint8_t>(0x20000, kUntouched));
}

INSTANTIATE_TEST_SUITE_P(Table, SRecordFailure, testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SRecord, PlacesDataAndFillsTheWholeBuffer)
{
    // Lower-case digits, trailing blanks, a count that matches, overlapping
    // records (the later wins), and anything after the end record ignored.
    const std::string text = Rec(1, 0x10, {0x42, 0x43}) + "\n" + Rec(2, 0x1FFFE, {0x11, 0x22})
                             + "S1040020ab30\r\n" + Rec(3, 0x11, {0x99}) + "S5030004F8  \t\r\n"
                             + Rec(8, 0) + kBadSum;
    Conversion conversion(text);
    EXPECT_TRUE(conversion.sink.Messages().empty());
    EXPECT_EQ(conversion.result, 6);
    std::vector<std::uint8_t> expected(0x20000, 0xFF);
    expected[0x10] = 0x42;
    expected[0x11] = 0x99;
    expected[0x20] = 0xAB;
    expected[0x1FFFE] = 0x11;
    expected[0x1FFFF] = 0x22;
    EXPECT_EQ(conversion.image, expected);
}

}  // namespace
