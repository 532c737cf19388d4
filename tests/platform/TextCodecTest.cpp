#include <gtest/gtest.h>

#include <string>

#include "platform/TextCodec.h"

namespace {

// GBK bytes of the cable ini's section names, as Windows writes them.
const std::string kGbkPinControl = "\xD2\xFD\xBD\xC5\xBF\xD8\xD6\xC6";
const std::string kGbkLatchControl = "\xCB\xF8\xB4\xE6\xBF\xD8\xD6\xC6(LE)";
const std::string kGbkOutputControl = "\xCA\xE4\xB3\xF6\xBF\xD8\xD6\xC6(OE)";

struct Utf8Case {
    const char* what;
    std::string bytes;
    bool valid;
};

class IsValidUtf8Table : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(IsValidUtf8Table, Classifies)
{
    EXPECT_EQ(IsValidUtf8(GetParam().bytes), GetParam().valid) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, IsValidUtf8Table,
    ::testing::Values(
        Utf8Case{"empty", "", true},
        Utf8Case{"ascii with NUL", std::string("a\0b", 3), true},
        Utf8Case{"two-byte", "\xC3\xA9", true},
        Utf8Case{"three-byte", "\xE5\xBC\x95\xE8\x84\x9A", true},
        Utf8Case{"four-byte", "\xF0\x9F\x98\x80", true},
        Utf8Case{"last code point U+10FFFF", "\xF4\x8F\xBF\xBF", true},
        Utf8Case{"just below surrogates U+D7FF", "\xED\x9F\xBF", true},
        Utf8Case{"just above surrogates U+E000", "\xEE\x80\x80", true},
        Utf8Case{"overlong NUL", "\xC0\x80", false},
        Utf8Case{"overlong two-byte C1", "\xC1\xBF", false},
        Utf8Case{"overlong three-byte", "\xE0\x80\xAF", false},
        Utf8Case{"overlong four-byte", "\xF0\x8F\xBF\xBF", false},
        Utf8Case{"high surrogate", "\xED\xA0\x80", false},
        Utf8Case{"low surrogate", "\xED\xBF\xBF", false},
        Utf8Case{"above U+10FFFF", "\xF4\x90\x80\x80", false},
        Utf8Case{"lead byte F5", "\xF5\x80\x80\x80", false},
        Utf8Case{"lone continuation", "a\x80", false},
        Utf8Case{"cut off at end", "\xE5\xBC", false},
        Utf8Case{"cut off before ascii", "\xE5\xBC" "A", false},
        Utf8Case{"byte FF", "\xFF", false},
        Utf8Case{"GBK text", kGbkPinControl, false}));

TEST(TextCodec, CableSectionNamesConvertBothWays)
{
    const std::pair<std::string, std::string> names[] = {
        {kGbkPinControl, "引脚控制"},
        {kGbkLatchControl, "锁存控制(LE)"},
        {kGbkOutputControl, "输出控制(OE)"},
    };
    for (const auto& [gbk, utf8] : names) {
        EXPECT_EQ(GbkToUtf8(gbk), utf8);
        EXPECT_EQ(Utf8ToGbk(utf8), gbk);
        EXPECT_EQ(ToUtf8(gbk), utf8);
        EXPECT_EQ(ToUtf8(utf8), utf8) << "valid UTF-8 must pass unchanged";
    }
}

TEST(TextCodec, UndecodableGbkBecomesReplacementWithoutLosingTheRest)
{
    EXPECT_EQ(GbkToUtf8("\xFF" "A"), "\uFFFD" "A");
    EXPECT_EQ(GbkToUtf8("A\xD2"), "A\uFFFD") << "lead byte cut off by the end";
    EXPECT_EQ(GbkToUtf8("\xD2\xFD\xFF" "B"), "引\uFFFD" "B");
    EXPECT_TRUE(IsValidUtf8(GbkToUtf8("\x81\x20\xFE\xFF\x80\x7F")));
    EXPECT_EQ(GbkToUtf8("\x80"), "€") << "code page 936 puts the euro sign at 0x80";
}

TEST(TextCodec, CharactersGbkLacksBecomeQuestionMarks)
{
    EXPECT_EQ(Utf8ToGbk("a😀b"), "a?b");
    EXPECT_EQ(Utf8ToGbk("x\xC0\x80y"), "x??y") << "malformed input byte by byte";
    EXPECT_EQ(Utf8ToGbk("引\xE5\xBC"), "\xD2\xFD?");
}

TEST(TextCodec, ExactEncodingRefusesWhatGbkLacks)
{
    EXPECT_EQ(Utf8ToGbkExact("芯片?"), std::optional<std::string>("\xD0\xBE\xC6\xAC?"));
    EXPECT_EQ(Utf8ToGbkExact(""), std::optional<std::string>(""));
    EXPECT_EQ(Utf8ToGbkExact("a😀b"), std::nullopt);
    EXPECT_EQ(Utf8ToGbkExact("한"), std::nullopt);
    EXPECT_EQ(Utf8ToGbkExact("x\xC0\x80"), std::nullopt);
}

} // namespace
