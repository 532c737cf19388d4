#include "formats/IntelHexWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "formats/IntelHex.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TempDir.h"

namespace {

std::vector<std::uint8_t> RandomImage(std::size_t length)
{
    std::vector<std::uint8_t> image(length);
    std::mt19937 random(static_cast<unsigned>(length));
    for (auto& b : image)
        b = static_cast<std::uint8_t>(random());
    return image;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::ssize(bytes));
}

TEST(IntelHexWriter, SmallImagesExactly)
{
    const std::uint8_t bytes[17] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(ImageToIntelHex(bytes, 0), ":00000001FF\r\n");
    const std::uint8_t one = 0x5A;
    EXPECT_EQ(ImageToIntelHex(&one, 1), ":010000005AA5\r\n:00000001FF\r\n");
    EXPECT_EQ(ImageToIntelHex(bytes, 17), ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                                          ":0100100010DF\r\n"
                                          ":00000001FF\r\n");
}

// Reads the text back record by record: every line well formed, at most 16
// data bytes, a type 04 record exactly where each 64 KB above the first
// begins, and the data in order from address 0.
TEST(IntelHexWriter, RecordBoundaries)
{
    for (std::size_t length : {15, 16, 0xFFF0, 0xFFFF, 0x10000, 0x10001, 0x1FFFF, 0x20000}) {
        const std::vector<std::uint8_t> image = RandomImage(length);
        std::istringstream text(ImageToIntelHex(image.data(), length));
        std::vector<std::uint8_t> back;
        std::size_t base = 0;
        int linearRecords = 0;
        bool ended = false;
        for (std::string line; std::getline(text, line);) {
            ASSERT_FALSE(ended) << "a line after the end record";
            ASSERT_EQ(line.back(), '\r');
            ASSERT_EQ(line.find_first_not_of("0123456789ABCDEF", 1), line.size() - 1) << line;
            std::vector<unsigned> b;
            unsigned sum = 0;
            for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
                b.push_back(std::stoul(line.substr(i, 2), nullptr, 16));
                sum += b.back();
            }
            ASSERT_EQ(sum & 0xFF, 0u) << line;
            ASSERT_EQ(b.size(), b[0] + 5u) << line;
            if (b[3] == 0x04) {
                ++linearRecords;
                base = (b[4] << 8 | b[5]) << 16;
                ASSERT_EQ(base, back.size());
            } else if (b[3] == 0x01) {
                ended = true;
            } else {
                ASSERT_EQ(b[3], 0u);
                ASSERT_LE(b[0], 16u);
                ASSERT_EQ(base + (b[1] << 8 | b[2]), back.size()) << line;
                back.insert(back.end(), b.begin() + 4, b.end() - 1);
            }
        }
        EXPECT_TRUE(ended);
        EXPECT_EQ(linearRecords, static_cast<int>((length - 1) / 0x10000)) << length;
        EXPECT_EQ(back, image) << length;
    }
}

TEST(IntelHexWriter, OwnConverterReadsItBack)
{
    const std::vector<std::uint8_t> image = RandomImage(0x10000);
    const std::string text = ImageToIntelHex(image.data(), image.size());
    std::vector<std::uint8_t> back(0x20000, 0);
    CRecordingMessageSink sink;
    EXPECT_EQ(ConvertHexToImage(text.c_str(), back.data(), sink), 0x10000);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), back.begin()));
}

// objcopy writes the same text up to 64 KB (above it, it uses segment
// records), and reads ours back to the same bytes at any size.
TEST(IntelHexWriter, AgreesWithObjcopy)
{
    if (std::system("command -v objcopy >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "objcopy is not installed";
    CTempDir dir;
    for (std::size_t length : {1, 4099, 0x10000, 0x10001, 0x20000}) {
        const std::vector<std::uint8_t> image = RandomImage(length);
        const std::string bytes(image.begin(), image.end());
        const std::string ours = ImageToIntelHex(image.data(), length);
        WriteFile(dir.File("image.bin"), bytes);
        WriteFile(dir.File("ours.hex"), ours);
        const std::string toHex = "objcopy -I binary -O ihex '" + dir.File("image.bin") + "' '"
                                  + dir.File("theirs.hex") + "'";
        const std::string toBin = "objcopy -I ihex -O binary '" + dir.File("ours.hex") + "' '"
                                  + dir.File("back.bin") + "'";
        ASSERT_EQ(std::system(toHex.c_str()), 0);
        ASSERT_EQ(std::system(toBin.c_str()), 0);
        if (length <= 0x10000) {
            EXPECT_EQ(ours, ReadFile(dir.File("theirs.hex"))) << length;
        }
        EXPECT_EQ(ReadFile(dir.File("back.bin")), bytes) << length;
    }
}

}  // namespace
