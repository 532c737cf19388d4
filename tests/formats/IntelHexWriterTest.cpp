#include "formats/IntelHexWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace {

TEST(IntelHexWriter, RecordBoundaries)
{
    std::vector<std::uint8_t> image(0x10001, 0xFF);
    for (int i = 0; i < 17; ++i)
        image[std::size_t(i)] = std::uint8_t(i);
    image[0x10000] = 0x5A;
    EXPECT_EQ(ImageToIntelHex(image.data(), 0), ":00000001FF\r\n");
    EXPECT_EQ(ImageToIntelHex(image.data() + 0x10000, 1), ":010000005AA5\r\n:00000001FF\r\n");
    EXPECT_EQ(ImageToIntelHex(image.data(), 17), ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                                                 ":0100100010DF\r\n:00000001FF\r\n");
    // 64 KB needs no extended address; one byte more starts the next 64 KB.
    const std::string full = ImageToIntelHex(image.data(), 0x10000);
    EXPECT_EQ(full.find(":02000004"), std::string::npos);
    EXPECT_EQ(full.substr(full.size() - 58), ":10FFF000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF11\r\n"
                                             ":00000001FF\r\n");
    const std::string over = ImageToIntelHex(image.data(), 0x10001);
    EXPECT_EQ(over.substr(full.size() - 13), ":020000040001F9\r\n:010000005AA5\r\n:00000001FF\r\n");
}

// objcopy writes the same text up to 64 KB (above it, segment records), and
// reads ours back to the same bytes at any size.
TEST(IntelHexWriter, AgreesWithObjcopy)
{
    CTempDir dir;
    const std::string cd = "cd '" + dir.Path().string() + "' && ";
    if (std::system((cd + "command -v objcopy >/dev/null").c_str()) != 0)
        GTEST_SKIP() << "objcopy is not installed";
    std::mt19937 random(5);
    for (std::size_t length : {4099, 0x20000}) {
        std::string bytes(length, '\0');
        for (char& b : bytes)
            b = static_cast<char>(random());
        std::ofstream(dir.File("image.bin"), std::ios::binary) << bytes;
        std::ofstream(dir.File("ours.hex"), std::ios::binary)
            << ImageToIntelHex(reinterpret_cast<const std::uint8_t*>(bytes.data()), length);
        ASSERT_EQ(std::system((cd + "objcopy -I ihex -O binary ours.hex back.bin && objcopy -I "
                                    "binary -O ihex image.bin theirs.hex").c_str()), 0);
        EXPECT_EQ(std::system((cd + "cmp -s back.bin image.bin").c_str()), 0) << length;
        if (length <= 0x10000) {
            EXPECT_EQ(std::system((cd + "cmp -s ours.hex theirs.hex").c_str()), 0);
        }
    }
}

}  // namespace
