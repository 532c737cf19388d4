#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "settings/core/SettingsRecord.h"
#include "settings/core/WindowPlacement.h"
#include "tests/support/TempDir.h"

namespace {

struct PlacementCase {
    const char* what;
    const char* section;  // the [Window] section's lines
    bool loads;
    int width, height;
    bool hasPosition;
    bool maximized;
};

void PrintTo(const PlacementCase& param, std::ostream* out)
{
    *out << param.what;
}

class WindowPlacementLoad : public testing::TestWithParam<PlacementCase> {};

TEST_P(WindowPlacementLoad, ReadsWhatIsUsable)
{
    CTempDir dir;
    const std::string path = dir.File(SettingsRecord::kFileName);
    std::ofstream(path) << "[Window]\n" << GetParam().section;
    const auto placement = WindowPlacement::Load(path);
    ASSERT_EQ(placement.has_value(), GetParam().loads);
    if (!placement)
        return;
    EXPECT_EQ(placement->width, GetParam().width);
    EXPECT_EQ(placement->height, GetParam().height);
    EXPECT_EQ(placement->x.has_value() && placement->y.has_value(), GetParam().hasPosition);
    EXPECT_EQ(placement->maximized, GetParam().maximized);
}

INSTANTIATE_TEST_SUITE_P(
    Sections, WindowPlacementLoad,
    testing::Values(
        PlacementCase{"whole", "x=-20\ny=30\nwidth=1000\nheight=700\nmaximized=1\n", true, 1000,
                      700, true, true},
        PlacementCase{"size_only", "width=800\nheight=600\n", true, 800, 600, false, false},
        PlacementCase{"half_a_position", "x=5\nwidth=800\nheight=600\n", true, 800, 600, false,
                      false},
        PlacementCase{"position_far_out", "x=99999\ny=0\nwidth=800\nheight=600\n", true, 800, 600,
                      false, false},
        PlacementCase{"nothing", "", false, 0, 0, false, false},
        PlacementCase{"no_height", "width=800\n", false, 0, 0, false, false},
        PlacementCase{"not_a_number", "width=wide\nheight=600\n", false, 0, 0, false, false},
        PlacementCase{"zero", "width=0\nheight=600\n", false, 0, 0, false, false},
        PlacementCase{"negative", "width=800\nheight=-600\n", false, 0, 0, false, false},
        PlacementCase{"huge", "width=800\nheight=4000000\n", false, 0, 0, false, false}),
    [](const testing::TestParamInfo<PlacementCase>& info) { return info.param.what; });

// The placement shares the file with the settings block: writing one leaves
// the other's bytes as they were.
TEST(WindowPlacementSave, RoundTripsAndLeavesTheSettingsBlockAlone)
{
    CTempDir dir;
    const std::string path = dir.File(SettingsRecord::kFileName);
    SettingsRecord settings;
    settings.comPort = 3;
    settings.deviceIndex = 5;
    ASSERT_TRUE(settings.Save(path));
    auto read = [&path] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string blockOnly = read();

    WindowPlacement placement;
    placement.x = -8;
    placement.y = 40;
    placement.width = 1000;
    placement.height = 700;
    ASSERT_TRUE(placement.Save(path));
    EXPECT_EQ(read().substr(0, blockOnly.size()), blockOnly);
    SettingsRecord back;
    ASSERT_TRUE(back.Load(path));
    EXPECT_EQ(back.ToBytes(), settings.ToBytes());

    auto loaded = WindowPlacement::Load(path);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->x, -8);
    EXPECT_EQ(loaded->y, 40);
    EXPECT_EQ(loaded->width, 1000);
    EXPECT_FALSE(loaded->maximized);

    // A window never shown stores no place: an old one must not linger.
    placement.x.reset();
    placement.y.reset();
    placement.maximized = true;
    ASSERT_TRUE(placement.Save(path));
    loaded = WindowPlacement::Load(path);
    ASSERT_TRUE(loaded);
    EXPECT_FALSE(loaded->x);
    EXPECT_TRUE(loaded->maximized);
    EXPECT_EQ(read().substr(0, blockOnly.size()), blockOnly);
}

} // namespace
