// The option parser called directly: what each option sets in the session's
// settings.

#include <gtest/gtest.h>

#include "cli/CliOptions.h"

namespace {

TEST(CliParse, LatchIsTheFourthSetting)
{
    const struct {
        std::vector<std::string> args;
        int latch;  // -1: refused
    } cases[] = {
        {{"--programmer", "1", "check"}, 0},
        {{"--programmer", "1", "--latch", "1", "check"}, 1},
        {{"--latch", "2", "detect"}, 2},
        {{"--latch", "3", "check"}, -1},
        {{"--latch", "-1", "check"}, -1},
        {{"--latch", "1", "--latch", "1", "check"}, -1},
    };
    for (const auto& c : cases) {
        const CliParseResult parsed = ParseCliOptions(c.args);
        if (c.latch < 0) {
            EXPECT_FALSE(parsed.error.empty()) << c.args[1];
            continue;
        }
        ASSERT_EQ(parsed.error, "") << c.args[1];
        EXPECT_EQ(SettingsFromOptions(parsed.options, 0).ispSetting, c.latch) << c.args[1];
    }
}

}  // namespace
