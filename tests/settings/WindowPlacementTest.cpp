#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "settings/core/SettingsRecord.h"
#include "settings/core/WindowPlacement.h"
#include "tests/support/TempDir.h"

namespace {

TEST(WindowPlacement, UnusableSizesAreNotLoaded)
{
    CTempDir dir;
    const std::string path = dir.File(SettingsRecord::kFileName);
    for (const char* section : {"", "width=800\n", "width=wide\nheight=600\n",
                                "width=0\nheight=600\n", "width=800\nheight=-600\n",
                                "width=800\nheight=4000000\n"}) {
        std::ofstream(path) << "[Window]\n" << section;
        EXPECT_FALSE(WindowPlacement::Load(path)) << section;
    }
    // A position only as a pair, and only near any screen.
    for (const char* position : {"x=5\n", "x=99999\ny=0\n"}) {
        std::ofstream(path) << "[Window]\nwidth=800\nheight=600\n" << position;
        const auto placement = WindowPlacement::Load(path);
        ASSERT_TRUE(placement) << position;
        EXPECT_FALSE(placement->x || placement->y) << position;
    }
}

// The placement shares the file with the settings block: writing one leaves
// the other's bytes as they were.
TEST(WindowPlacement, RoundTripsAndLeavesTheSettingsBlockAlone)
{
    CTempDir dir;
    const std::string path = dir.File(SettingsRecord::kFileName);
    SettingsRecord settings;
    settings.comPort = 3;
    ASSERT_TRUE(settings.Save(path));
    auto read = [&path] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string blockOnly = read();

    WindowPlacement placement{.x = -8, .y = 40, .width = 1000, .height = 700, .maximized = true};
    ASSERT_TRUE(placement.Save(path));
    auto loaded = WindowPlacement::Load(path);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(std::tie(loaded->x, loaded->y, loaded->width, loaded->height, loaded->maximized),
              std::tie(placement.x, placement.y, placement.width, placement.height,
                       placement.maximized));
    // A window never shown stores no place: an old one must not linger.
    placement.x.reset();
    placement.y.reset();
    ASSERT_TRUE(placement.Save(path));
    EXPECT_FALSE(WindowPlacement::Load(path)->x);
    EXPECT_EQ(read().substr(0, blockOnly.size()), blockOnly);
}

} // namespace
