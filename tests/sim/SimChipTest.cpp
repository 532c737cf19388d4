#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "sim/SimChip.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SimChip, PartsDifferInSizeAndSignature)
{
    CSimChip s51(SimChipType::AT89S51), s52(SimChipType::AT89S52);
    EXPECT_EQ(s51.Size(), 4096u);
    EXPECT_EQ(s52.Size(), 8192u);
    EXPECT_EQ(s51.Signature(), (std::array<std::uint8_t, 3> {0x1E, 0x51, 0x06}));
    EXPECT_EQ(s52.Signature(), (std::array<std::uint8_t, 3> {0x1E, 0x52, 0x06}));
    // Beyond the chip: nothing to program, erased-looking reads.
    EXPECT_FALSE(s51.ProgramByte(4096, 0x00));
    EXPECT_EQ(s51.ReadByte(4096), 0xFF);
    EXPECT_EQ(s51.ReadByte(4095), 0xFF);
}

TEST(SimChip, ProgrammingOnlyClearsBitsUntilErased)
{
    CSimChip chip;
    ASSERT_TRUE(chip.ProgramByte(0x10, 0xF0));
    ASSERT_TRUE(chip.ProgramByte(0x10, 0x3C));
    EXPECT_EQ(chip.ReadByte(0x10), 0x30);
    chip.ChipErase();
    EXPECT_EQ(chip.ReadByte(0x10), 0xFF);
}

TEST(SimChip, LockLevelsBlockProgrammingThenVerify)
{
    CSimChip chip;
    ASSERT_TRUE(chip.ProgramByte(0, 0x12));

    ASSERT_TRUE(chip.Lock(1));
    EXPECT_FALSE(chip.ProgramByte(1, 0x00));
    EXPECT_EQ(chip.PeekByte(1), 0xFF);
    EXPECT_EQ(chip.ReadByte(0), 0x12) << "lock bit 1 leaves verify working";

    ASSERT_TRUE(chip.Lock(2));
    // Verify disabled: every address reads wrong, erased or not.
    for (std::uint32_t a = 0; a < chip.Size(); ++a)
        ASSERT_NE(chip.ReadByte(a), chip.PeekByte(a)) << "address " << a;

    // Levels only grow; out-of-range levels are refused.
    ASSERT_TRUE(chip.Lock(3));
    EXPECT_TRUE(chip.Lock(1));
    EXPECT_FALSE(chip.Lock(0));
    EXPECT_FALSE(chip.Lock(4));
    EXPECT_EQ(chip.LockLevel(), 3);

    chip.ChipErase();
    EXPECT_EQ(chip.LockLevel(), 0);
    EXPECT_TRUE(chip.ProgramByte(0, 0x00));
}

TEST(SimChip, StateFileRoundTrip)
{
    CTempDir dir;
    const std::string path = dir.File("chip.state");
    CSimChip chip(SimChipType::AT89S51);
    chip.SetContents(0x100, Bytes {0xDE, 0xAD, 0x0A, 0x0A, 0x00});
    chip.SetContents(4094, Bytes {0x01, 0x02, 0x03}); // last byte clipped
    chip.Lock(2);
    ASSERT_TRUE(chip.SaveState(path));

    CSimChip loaded(SimChipType::AT89S51);
    std::string error;
    ASSERT_TRUE(loaded.LoadState(path, &error)) << error;
    EXPECT_EQ(loaded.Contents(), chip.Contents());
    EXPECT_EQ(loaded.LockLevel(), 2);
    // Saved through a rename: no temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(SimChip, LoadStateRejectsForeignAndBrokenFiles)
{
    CTempDir dir;
    ASSERT_TRUE(CSimChip(SimChipType::AT89S52).SaveState(dir.File("s52")));
    std::ifstream in(dir.File("s52"), std::ios::binary);
    const std::string good((std::istreambuf_iterator<char>(in)), {});
    auto write = [&](const std::string& name, const std::string& data) {
        std::ofstream(dir.File(name), std::ios::binary) << data;
        return dir.File(name);
    };
    std::string lockFour = good;
    lockFour.replace(lockFour.find("lock 0"), 6, "lock 4");

    CSimChip chip(SimChipType::AT89S52);
    chip.SetContents(0, Bytes {0x42});
    for (const auto& path : {write("short", good.substr(0, good.size() - 1)), write("long", good + "x"),
                             write("raw", std::string(8192, '\xFF')), write("lock", lockFour),
                             write("empty", ""), dir.File("missing")}) {
        std::string error;
        EXPECT_FALSE(chip.LoadState(path, &error)) << path;
        EXPECT_FALSE(error.empty()) << path;
    }
    EXPECT_EQ(chip.PeekByte(0), 0x42) << "a refused file leaves the chip as it was";
    EXPECT_TRUE(chip.LoadState(dir.File("s52")));

    std::string error;
    EXPECT_FALSE(CSimChip(SimChipType::AT89S51).LoadState(dir.File("s52"), &error));
    EXPECT_NE(error.find("AT89S52"), std::string::npos) << error;
}

} // namespace
