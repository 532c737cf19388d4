// The option parser called directly: what reaches the session's settings.

#include <gtest/gtest.h>

#include "cli/CliOptions.h"

namespace {

TEST(CliParse, LatchIsTheFourthSetting)
{
    using Args = std::vector<std::string>;
    for (const auto& [args, latch] : {std::pair{Args{"--programmer", "1", "check"}, 0},
                                      std::pair{Args{"--programmer", "1", "--latch", "1", "check"}, 1},
                                      std::pair{Args{"--latch", "2", "detect"}, 2}}) {
        const CliParseResult parsed = ParseCliOptions(args);
        ASSERT_EQ(parsed.error, "");
        EXPECT_EQ(SettingsFromOptions(parsed.options, 0).ispSetting, latch);
    }
}

}  // namespace
