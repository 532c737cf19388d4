#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "settings/core/SettingsRecord.h"
#include "tests/support/TempDir.h"

namespace {

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const SettingsRecord kSample{.progType = 0, .comPort = 3, .baudSel = 1, .ispSetting = -2,
                             .autoDetect = 1, .soundOn = 0, .hotkeyOn = 1, .autoLoad = 1,
                             .autoErase = 0, .autoWrite = 1, .autoRead = 0, .autoVerify = 1,
                             .deviceIndex = 300, .hotkeyKey = 'A', .hotkeyMods = 6};

// kSample as Windows stores it, worked out by hand: 13 little-endian int32
// fields, key, modifiers, two zero padding bytes, then the byte sum 0x478
// cut to 0x78.
const std::string kSampleValue = "00000000" "03000000" "01000000" "FEFFFFFF" "01000000"
                                 "00000000" "01000000" "01000000" "00000000" "01000000"
                                 "00000000" "01000000" "2C010000" "41" "06" "0000" "78";

class SettingsRecordTest : public ::testing::Test {
protected:
    CTempDir m_dir;
    std::string m_path = m_dir.File(SettingsRecord::kFileName);
};

TEST_F(SettingsRecordTest, SavedValueMatchesTheWindowsEncoding)
{
    ASSERT_EQ(kSampleValue.size(), 114u);
    ASSERT_TRUE(kSample.Save(m_path));
    EXPECT_EQ(ReadBytes(m_path), "[InfoSave]\nm_InfoSave=" + kSampleValue + "\n");

    SettingsRecord loaded;
    ASSERT_TRUE(loaded.Load(m_path));
    EXPECT_EQ(loaded, kSample);
}

TEST_F(SettingsRecordTest, LoadsAWindowsWrittenFile)
{
    WriteBytes(m_path, "[Other]\r\nx=1\r\n[INFOSAVE]\r\nM_INFOSAVE=" + kSampleValue + "\r\n");
    SettingsRecord loaded;
    ASSERT_TRUE(loaded.Load(m_path));
    EXPECT_EQ(loaded, kSample);
}

// Another installation may leave anything in the padding: no setting comes
// from it, and it is written back as it was.
TEST_F(SettingsRecordTest, PaddingIsIgnoredOnReadAndKeptOnWrite)
{
    std::string value = kSampleValue;
    value.replace(108, 6, "1234BE"); // padding 12 34, sum 0x78 + 0x46
    WriteBytes(m_path, "[InfoSave]\nm_InfoSave=" + value + "\n");
    SettingsRecord loaded;
    ASSERT_TRUE(loaded.Load(m_path));
    SettingsRecord expected = kSample;
    expected.padding = {0x12, 0x34};
    EXPECT_EQ(loaded, expected);
    ASSERT_TRUE(loaded.Save(m_path));
    EXPECT_EQ(ReadBytes(m_path), "[InfoSave]\nm_InfoSave=" + value + "\n");
}

TEST_F(SettingsRecordTest, FailedLoadLeavesTheRecordUntouched)
{
    std::string badChecksum = kSampleValue;
    badChecksum.back() = '9';
    const std::pair<const char*, std::string> cases[] = {
        {"bad checksum", "[InfoSave]\nm_InfoSave=" + badChecksum + "\n"},
        {"one byte short", "[InfoSave]\nm_InfoSave=" + kSampleValue.substr(2) + "\n"},
        {"missing key", "[InfoSave]\nother=" + kSampleValue + "\n"},
        {"wrong section", "[Info]\nm_InfoSave=" + kSampleValue + "\n"},
    };
    for (const auto& [what, text] : cases) {
        WriteBytes(m_path, text);
        SettingsRecord record = kSample;
        EXPECT_FALSE(record.Load(m_path)) << what;
        EXPECT_EQ(record, kSample) << what;
    }

    SettingsRecord record = kSample;
    EXPECT_FALSE(record.Load(m_dir.File("absent.ini")));
    EXPECT_EQ(record, kSample);
}

} // namespace
