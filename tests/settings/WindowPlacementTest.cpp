#include <gtest/gtest.h>

#include <fstream>

#include "settings/core/SettingsRecord.h"
#include "settings/core/WindowPlacement.h"
#include "tests/support/TempDir.h"

namespace {

// A damaged section must not make a window of no size or put it nowhere;
// the round trip itself is tested with the window.
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

} // namespace
