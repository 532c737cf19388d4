#include "formats/IntelHex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TempDir.h"

namespace {

// Bytes the converter must not touch unless a record puts data there.
constexpr std::uint8_t kUntouched = 0xA5;
const std::string kNoEnd = "*.Hex文件转换失败(未找到\":00000001\"记录)!";
const std::string kBadChar = "*.Hex文件转换失败(错误的字符)!";
const std::string kBadRecord = "*.Hex文件转换失败(错误的记录)!";
const std::string kOver64k = "*.Hex文件转换失败(不支持大于64k)!";
std::string Checksum(int line)
{
    return "*.Hex文件转换失败(第" + std::to_string(line) + "行校验和错误)!";
}

struct Conversion {
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(0x20000, kUntouched);
    CRecordingMessageSink sink;
    int result = 0;

    explicit Conversion(const std::string& text)
    {
        result = ConvertHexToImage(text.c_str(), image.data(), sink);
    }
    // True when 0x0000..0xFFFF (or all, fillAll) is 0xFF and everything
    // above untouched, but for the placed bytes.
    bool FilledExcept(const std::vector<std::pair<unsigned, std::uint8_t>>& placed,
                      bool fillAll = false) const
    {
        std::vector<std::uint8_t> expected(image.size(), kUntouched);
        std::fill(expected.begin(), expected.begin() + (fillAll ? 0x20000 : 0x10000), 0xFF);
        for (const auto& [address, value] : placed)
            expected[address] = value;
        return image == expected;
    }
};

enum class After { Untouched, Filled };

struct FailureCase {
    const char* name;
    std::string text;
    std::string message;  // empty: no message expected
    After after;
};

// Each Filled case starts with a good record that puts 0x42 at 0x0010; a
// later good record at 0x0020 must never be placed.
const std::string kGood = ":0100100042AD\r\n";
const std::string kLater = ":01002000AA35\r\n:00000001FF\r\n";

const FailureCase kFailures[] = {
    {"EmptyText", "", kNoEnd, After::Untouched},
    {"OnlyOtherEndRecord", kGood + ":00FFFF01FF\r\n", kNoEnd, After::Untouched},
    {"BadCharacterButNoEnd", ":01 00\r\n", kNoEnd, After::Untouched},
    {"EndBehindNul", kGood + std::string("\0:00000001FF", 12), kNoEnd, After::Untouched},
    {"TrailingSpace", ":0100100042 \r\n" + kLater, kBadChar, After::Untouched},
    {"LineBreakSplitsPair", ":01001000425\r\nD\r\n" + kLater, kBadChar, After::Untouched},
    {"NotAHexDigit", ":0100100G425D\r\n" + kLater, kBadChar, After::Untouched},
    {"HighByte", ":01001000\xC3\xA9\r\n" + kLater, kBadChar, After::Untouched},
    {"PairEndsOnEndMarker", ":01001000425D4:00000001FF", kBadChar, After::Untouched},
    {"BadCharAfterGoodRecords", kGood + kGood + "zz" + kLater, kBadChar, After::Untouched},
    {"PairsBeforeFirstColon", "0102" + kGood + kLater, "", After::Untouched},
    {"TooShortRecord", kGood + ":01000000:00000001FF", kBadRecord, After::Filled},
    {"EmptyRecord", kGood + ":\r\n" + kLater, kBadRecord, After::Filled},
    {"ExtendedLinearPastBuffer", kGood + ":020000040002F8\r\n" + kLater, kOver64k, After::Filled},
    {"ExtendedLinearLowByte", kGood + ":020000040100F9\r\n" + kLater, kOver64k, After::Filled},
    {"ExtendedLinearNoBase", kGood + ":0200000400\r\n" + kLater, kOver64k, After::Filled},
    {"ExtendedLinearOneByte", kGood + ":0100000400FB\r\n" + kLater, kOver64k, After::Filled},
    {"ExtendedSegmentPastBuffer", kGood + ":020000022000DC\r\n" + kLater, kOver64k,
     After::Filled},
    {"EndTypeWithAddress", kGood + ":00000101FE\r\n" + kLater, kBadRecord, After::Filled},
    {"StartLinearType", kGood + ":0400000500001234B1\r\n" + kLater, kBadRecord, After::Filled},
    {"CountLargerThanData", kGood + ":10003000425D\r\n" + kLater, kBadRecord, After::Filled},
    {"OnlyFirstFailure", kGood + ":020000040002F8\r\n:\r\n" + kLater, kOver64k, After::Filled},
    // One data digit changed, the checksum not; CR LF, LF and a lone CR
    // each end a line.
    {"WrongChecksum", kGood + ":01002000AB35\r\n" + kLater, Checksum(2), After::Filled},
    {"WrongChecksumLineCount", kGood + "\n\r:01002000AB35\r\n" + kLater, Checksum(4),
     After::Filled},
    {"NoChecksumByte", kGood + ":0100200042:00000001FF", Checksum(2), After::Filled},
    {"ExtendedRecordChecksum", kGood + ":020000040000F9\r\n" + kLater, Checksum(2), After::Filled},
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class HexFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(HexFailure, ReportsReasonAndLeavesExpectedImage)
{
    const FailureCase& c = GetParam();
    Conversion conversion(c.text);
    EXPECT_EQ(conversion.result, -1);
    const auto messages = conversion.sink.Messages();
    ASSERT_EQ(messages.size(), c.message.empty() ? 0u : 1u);
    if (!c.message.empty()) {
        EXPECT_EQ(messages[0].text, c.message);
        EXPECT_EQ(messages[0].icon, MessageIcon::Warning);
    }
    if (c.after == After::Untouched)
        EXPECT_EQ(conversion.image, std::vector<std::uint8_t>(0x20000, kUntouched));
    else
        EXPECT_TRUE(conversion.FilledExcept({{0x10, 0x42}}));
}

INSTANTIATE_TEST_SUITE_P(Table, HexFailure, testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IntelHex, ConvertsAndCountsDataBytes)
{
    struct Case {
        std::string text;
        int result;
        std::vector<std::pair<unsigned, std::uint8_t>> placed;
    };
    const Case cases[] = {
        {":0200100042FFAD\r\n:03010000010203F6\r\n:00000001FF\r\n", 5,
         {{0x10, 0x42}, {0x100, 1}, {0x101, 2}, {0x102, 3}}},
        {":02001000abcd76\n:00000001ff\n", 2, {{0x10, 0xAB}, {0x11, 0xCD}}},  // lower case
        {":0100100042AD0000\r\n:00000001FF", 1, {{0x10, 0x42}}},       // extra bytes
        {":01\r\n00\n10\r\n0042AD\r\n:00000001FF", 1, {{0x10, 0x42}}},  // split between pairs
        {":0100100042AD:00000001FF\r\n:01002000AA35\r\nzz :020000040000FA", 1, {{0x10, 0x42}}},
        {":020010001122BB\r\n:0100110033BB\r\n:00000001FF", 3, {{0x10, 0x11}, {0x11, 0x33}}},
        {":00000001FF\r\n:0100100042\r\n", 0, {}},                       // end record first
        // Extended address records with base 0 change nothing.
        {":020000040000FA\r\n:0100100042AD\r\n:020000020000FC\r\n:00000001FF", 1, {{0x10, 0x42}}},
        // No wrap at 64K, and nothing above it is filled.
        {":03FFFF00ABCDEF98\r\n:00000001FF", 3, {{0xFFFF, 0xAB}, {0x10000, 0xCD}, {0x10001, 0xEF}}},
    };
    for (const Case& c : cases) {
        Conversion conversion(c.text);
        EXPECT_EQ(conversion.result, c.result) << c.text;
        EXPECT_TRUE(conversion.sink.Messages().empty()) << c.text;
        EXPECT_TRUE(conversion.FilledExcept(c.placed)) << c.text;
    }
}

// Bases that keep the data in the 128 KB image place it above 64 KB, and the
// whole image is filled, so nothing of an earlier one stays up there.
TEST(IntelHex, ExtendedAddressesInsideTheImage)
{
    const struct {
        std::string text;
        std::vector<std::pair<unsigned, std::uint8_t>> placed;
    } cases[] = {
        {":0100100042AD\r\n:020000040001F9\r\n:0100100043AC\r\n:00000001FF",
         {{0x10, 0x42}, {0x10010, 0x43}}},
        {":020000021000EC\r\n:02FFFE00AABB9C\r\n:00000001FF", {{0x1FFFE, 0xAA}, {0x1FFFF, 0xBB}}},
        {":020000020800F4\r\n:01002000429D\r\n:020000040000FA\r\n:01002000439C\r\n:00000001FF",
         {{0x8020, 0x42}, {0x20, 0x43}}},
    };
    for (const auto& c : cases) {
        Conversion conversion(c.text);
        EXPECT_EQ(conversion.result, int(c.placed.size())) << c.text;
        EXPECT_TRUE(conversion.sink.Messages().empty()) << c.text;
        EXPECT_TRUE(conversion.FilledExcept(c.placed, true)) << c.text;
    }
    // A record running past the image's end is refused, not cut.
    Conversion past(":020000040001F9\r\n:02FFFF00AABB9B\r\n:00000001FF");
    EXPECT_EQ(past.result, -1);
    ASSERT_EQ(past.sink.Messages().size(), 1u);
    EXPECT_EQ(past.sink.Messages()[0].text, kOver64k);
}

// A file written by another tool from random data converts back to it.
TEST(IntelHex, RoundTripsFileMadeBySrecCat)
{
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "srec_cat is not installed";
    CTempDir dir;
    std::vector<std::uint8_t> data(0x10000);
    std::mt19937 random(7);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(random());
    std::ofstream(dir.File("in.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    const std::string command = "srec_cat '" + dir.File("in.bin") + "' -binary -o '" +
                                dir.File("out.hex") + "' -intel -address-length=2";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream hex(dir.File("out.hex"), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(hex)), std::istreambuf_iterator<char>());

    Conversion c(text);
    EXPECT_EQ(c.result, 0x10000);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), c.image.begin()));
}

}  // namespace
