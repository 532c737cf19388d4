#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "programmer/DeviceCatalogue.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = std::uint8_t(value >> (8 * i));
}

// A file image built by hand, independent of our writer; the unread bytes
// are junk so that a parser reading them shows up.
Bytes RawCatalogue(std::int32_t count, std::size_t records, std::size_t extraBytes = 0)
{
    Bytes bytes(kCatalogueHeaderSize + records * kDeviceRecordSize + extraBytes, 0xA5);
    PutLe32(bytes, 4, std::uint32_t(count));
    for (std::size_t i = 0; i < records; ++i) {
        const std::size_t at = kCatalogueHeaderSize + i * kDeviceRecordSize;
        const std::string name = "DEV" + std::to_string(i);
        std::memcpy(&bytes[at], name.c_str(), name.size() + 1);
        bytes[at + 20] = std::uint8_t(10 + i);
        PutLe32(bytes, at + 24, std::uint32_t(4 * (i + 1)));
        PutLe32(bytes, at + 28, 0x40A00000);  // 5.0f
        bytes[at + 32] = 0x1E;
        bytes[at + 33] = std::uint8_t(0x50 + i);
        bytes[at + 34] = 0x06;
    }
    return bytes;
}

TEST(DeviceCatalogue, ReadsEveryFieldAtItsOffset)
{
    Bytes bytes = RawCatalogue(3, 3);
    const std::size_t second = kCatalogueHeaderSize + kDeviceRecordSize;
    PutLe32(bytes, second + 24, 0xFFFFFFFB);  // -5
    PutLe32(bytes, second + 28, 0x41400000);  // 12.0f
    std::memset(&bytes[second], 'N', 20);     // no NUL in the field
    const char gbk[] = "\xB1\xE0\xB3\xCC\xC6\xF7-51";  // "编程器-51" in GBK
    std::memcpy(&bytes[second + kDeviceRecordSize], gbk, sizeof gbk);

    const auto devices = ParseCatalogue(bytes);
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0], (DeviceRecord{"DEV0", 10, 4, 5.0f, {0x1E, 0x50, 0x06}}));
    EXPECT_EQ(devices[1], (DeviceRecord{std::string(20, 'N'), 11, -5, 12.0f, {0x1E, 0x51, 0x06}}));
    EXPECT_EQ(devices[2].name, "编程器-51");
}

struct CountCase {
    std::int32_t count;
    std::size_t records;
    std::size_t extraBytes;
    std::size_t expected;
};

class CatalogueCount : public testing::TestWithParam<CountCase> {};

TEST_P(CatalogueCount, KeepsOnlyWholeRecordsTheCountAndDataAllow)
{
    const CountCase& c = GetParam();
    EXPECT_EQ(ParseCatalogue(RawCatalogue(c.count, c.records, c.extraBytes)).size(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, CatalogueCount,
    testing::Values(CountCase{3, 3, 0, 3}, CountCase{1, 3, 0, 1},
                    CountCase{5, 2, 0, 2},   // claims more than present
                    CountCase{3, 2, 35, 2},  // partial last record
                    CountCase{std::numeric_limits<std::int32_t>::max(), 1, 0, 1},
                    CountCase{0, 2, 0, 0}, CountCase{-1, 2, 0, 0},
                    CountCase{std::numeric_limits<std::int32_t>::min(), 2, 0, 0}));

TEST(DeviceCatalogue, FilesShorterThanTheHeaderHoldNothing)
{
    const Bytes full = RawCatalogue(1, 1);
    for (std::size_t size = 0; size < kCatalogueHeaderSize; ++size)
        EXPECT_TRUE(ParseCatalogue(std::span(full.data(), size)).empty()) << size;
}

TEST(DeviceCatalogue, WriterZeroesUnreadBytesAndCutsNamesOnCharacters)
{
    const std::string cjk = "编程器编程器编程器";  // 27 bytes
    const std::vector<DeviceRecord> records = {{std::string(25, 'L'), 1, 8, 5.0f, {1, 2, 3}},
                                               {cjk, 1, 4, 5.0f, {}},
                                               {"AB" + cjk, 1, 4, 5.0f, {}}};
    const Bytes bytes = SerializeCatalogue(records);
    ASSERT_EQ(bytes.size(), kCatalogueHeaderSize + 3 * kDeviceRecordSize);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 8), (Bytes{0, 0, 0, 0, 3, 0, 0, 0}));
    for (std::size_t at : {8 + 19, 8 + 21, 8 + 22, 8 + 23, 8 + 35})
        EXPECT_EQ(bytes[at], 0) << at;

    const auto back = ParseCatalogue(bytes);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].name, std::string(19, 'L'));
    // GBK takes two bytes a character: nine fit, and after "AB" eight.
    EXPECT_EQ(back[1].name, cjk);
    EXPECT_EQ(back[2].name, "AB" + cjk.substr(0, 24));
}

// Short GBK names are valid UTF-8 too: the field is GBK all the same.
TEST(DeviceCatalogue, NamesAreGbkThoughShortOnesLookLikeUtf8)
{
    Bytes bytes = RawCatalogue(2, 2);
    std::memcpy(&bytes[kCatalogueHeaderSize], "\xD0\xBE\xC6\xAC", 5);
    std::memcpy(&bytes[kCatalogueHeaderSize + kDeviceRecordSize], "\xC4\xA3\xC4\xA3", 5);
    const auto parsed = ParseCatalogue(bytes);
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[0].name, "芯片");
    EXPECT_EQ(parsed[1].name, "模模");
    const Bytes written = SerializeCatalogue(parsed);
    EXPECT_EQ(std::memcmp(&written[kCatalogueHeaderSize + kDeviceRecordSize], "\xC4\xA3\xC4\xA3", 5), 0);
    // What GBK lacks is stored as '?', never as bytes that read back as
    // something else.
    EXPECT_EQ(ParseCatalogue(SerializeCatalogue({{"A😀B", 1, 4, 5.0f, {}}})).at(0).name, "A?B");
}

TEST(DeviceCatalogue, FilesRoundTripAndUnreadableOnesAreReported)
{
    CTempDir dir;
    const std::vector<DeviceRecord> records = {{"AT89S52", 2, 8, 5.0f, {0x1E, 0x52, 0x06}},
                                               {"编程器", 255, -5, 12.5f, {0xFF, 0x00, 0x7F}}};
    const std::string path = dir.File("ChipList.chip");
    ASSERT_TRUE(WriteCatalogueFile(path, records));
    ASSERT_TRUE(WriteCatalogueFile(path, records));  // replaces, leaves no temporary
    EXPECT_EQ(ReadCatalogueFile(path), records);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    EXPECT_FALSE(ReadCatalogueFile(dir.File("missing.chip")).has_value());
    EXPECT_FALSE(ReadCatalogueFile(dir.Path().string()).has_value());
    EXPECT_FALSE(WriteCatalogueFile(dir.File("no/such/folder.chip"), records));
    std::ofstream(dir.File("empty.chip")).close();
    EXPECT_EQ(ReadCatalogueFile(dir.File("empty.chip")), std::vector<DeviceRecord>{});
}

}  // namespace
