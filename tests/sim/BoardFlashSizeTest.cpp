#include <gtest/gtest.h>

#include "sim/BoardSimulator.h"
#include "sim/SimChip.h"
#include "tests/support/RawSerialLine.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = CRawSerialLine::Bytes;

Bytes Frame(std::uint8_t command, std::uint8_t fill)
{
    Bytes frame(18, fill);
    frame[0] = command;
    frame[1] = 2;
    return frame;
}

// A larger part keeps its family's identity; only the flash grows.
TEST(SimChipFlashSize, LargerPartKeepsSignatureAndEndsAtItsSize)
{
    CSimChip chip(SimChipType::AT89S52, 64 * 1024);
    EXPECT_EQ(chip.Size(), 65536u);
    EXPECT_EQ(chip.Name(), "AT89S52");
    EXPECT_EQ(chip.Signature(), (std::array<std::uint8_t, 3> {0x1E, 0x52, 0x06}));
    EXPECT_TRUE(chip.ProgramByte(0xFFFF, 0x00));
    EXPECT_EQ(chip.ReadByte(0xFFFF), 0x00);
    EXPECT_FALSE(chip.ProgramByte(0x10000, 0x00));
    EXPECT_EQ(CSimChip(SimChipType::AT89S51, 0).Size(), 4096u) << "0 keeps the part's own size";

    // A state file records the size: it does not load into the smaller part.
    CTempDir dir;
    ASSERT_TRUE(chip.SaveState(dir.File("big")));
    CSimChip small(SimChipType::AT89S52);
    std::string error;
    EXPECT_FALSE(small.LoadState(dir.File("big"), &error));
    EXPECT_FALSE(error.empty());
    CSimChip same(SimChipType::AT89S52, 64 * 1024);
    ASSERT_TRUE(same.LoadState(dir.File("big"), &error)) << error;
    EXPECT_EQ(same.PeekByte(0xFFFF), 0x00);
}

// The whole 64 KB goes through write mode: block 4095 is accepted, block
// 4096 lies beyond the part and is refused.
TEST(SimChipFlashSize, BoardWithLargerPartTakesAllItsBlocks)
{
    CBoardSimulator board({.flashKB = 64});
    ASSERT_TRUE(board.Start()) << board.LastError();
    CRawSerialLine line;
    ASSERT_TRUE(line.Open(board.DevicePath()));

    ASSERT_TRUE(line.Write(Frame(3, 0)));
    ASSERT_EQ(line.Read(18).at(0), 3);
    for (int block = 0; block < 4096; ++block) {
        ASSERT_TRUE(line.Write(Frame(7, std::uint8_t(block & 0x7F))));
        ASSERT_EQ(line.Read(1), Bytes {1}) << "block " << block;
    }
    ASSERT_TRUE(line.Write(Frame(7, 0)));
    EXPECT_EQ(line.Read(1), Bytes {0xFF}) << "beyond 64 KB";

    EXPECT_EQ(board.BlocksWritten(), 4096);
    EXPECT_EQ(board.Chip().PeekByte(0xFFF0), 4095 & 0x7F);
}

}  // namespace
