#include "formats/ImageFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Sha256.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TempDir.h"

namespace {

constexpr std::uint8_t kUntouched = 0xA5;

struct Load {
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kImageBufferSize, kUntouched);
    CRecordingMessageSink sink;
    ImageLoad result;
    int hexResult = 12345;
    long count = 0;

    Load(const CTempDir& dir, const std::string& name, const std::string* bytes = nullptr)
    {
        const std::string path = dir.File(name);
        if (bytes)
            std::ofstream(path, std::ios::binary).write(bytes->data(), std::ssize(*bytes));
        result = LoadImageToBuffer(path, UpperExtension(path), buffer.data(), sink);
        hexResult = result.converted;
        count = result.Loaded() ? result.count : -1;
    }
};

TEST(ImageFile, UpperExtension)
{
    EXPECT_EQ(UpperExtension("/a/PROG.Hex"), "HEX");
    EXPECT_EQ(UpperExtension("prog.hx"), "HX");
    EXPECT_EQ(UpperExtension("noext"), "");
    EXPECT_EQ(UpperExtension("x.b\xC3\xA9n"), "B\xC3\xA9N");  // only ASCII letters change
}

TEST(ImageFile, BinaryIsPaddedOrCutToTheBuffer)
{
    CTempDir dir;
    std::string large(kImageBufferSize + 1000, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 7);
    for (const std::string& bytes : {std::string("0123456789"), std::string(), large}) {
        Load load(dir, "image.bin", &bytes);
        const std::size_t kept = std::min<std::size_t>(bytes.size(), kImageBufferSize);
        EXPECT_EQ(load.count, static_cast<long>(kept));
        EXPECT_EQ(load.hexResult, 0);
        std::vector<std::uint8_t> expected(kImageBufferSize, 0xFF);
        std::copy_n(bytes.begin(), kept, expected.begin());
        EXPECT_EQ(load.buffer, expected) << bytes.size();
        EXPECT_EQ(load.result.sha256, CSha256::Hex(std::string_view(bytes).substr(0, kept)));
    }
}

TEST(ImageFile, HexChosenByExtensionAfterUpperCasing)
{
    CTempDir dir;
    const std::string text = ":0100100042AD\r\n:00000001FF\r\n";
    Load hex(dir, "PROG.Hex", &text);
    EXPECT_EQ(hex.count, std::ssize(text));  // the size of the text, not of the image
    EXPECT_EQ(hex.hexResult, 1);
    EXPECT_EQ(hex.buffer[0x10], 0x42);
    EXPECT_EQ(hex.buffer[0x11], 0xFF);
    EXPECT_EQ(hex.buffer[0x10000], kUntouched);  // the converter fills only 64K
    EXPECT_EQ(hex.result.sha256, CSha256::Hex(text));  // of the text read

    Load raw(dir, "prog.hx", &text);
    EXPECT_EQ(raw.count, std::ssize(text));
    EXPECT_EQ(raw.buffer[0], ':');
}

// A text the converter refuses is not loaded: the buffer keeps what it held,
// even when the converter had filled and placed part of the image.
TEST(ImageFile, FailedConversionLeavesBufferAsItWas)
{
    CTempDir dir;
    const struct {
        std::string text;
        std::size_t messages;
    } cases[] = {
        {"", 1},                 // the converter's "no end record"
        {"0102:00000001FF", 0},  // hex pairs before the first ':' fail silently
        {":0100100042AD\r\n:00000101FE\r\n:00000001FF\r\n", 1},  // a bad second record
    };
    for (const auto& c : cases) {
        Load load(dir, "broken.hex", &c.text);
        EXPECT_EQ(load.result.outcome, ImageLoad::Outcome::ConversionFailed) << c.text;
        EXPECT_EQ(load.result.count, std::ssize(c.text));
        EXPECT_EQ(load.hexResult, -1);
        EXPECT_EQ(load.result.sha256, "");
        EXPECT_EQ(load.sink.Texts().size(), c.messages) << c.text;
        EXPECT_EQ(load.buffer, std::vector<std::uint8_t>(kImageBufferSize, kUntouched)) << c.text;
    }
}

// .ihex in any case is Intel HEX; the S-record converter names the file's
// own extension.
TEST(ImageFile, TextFormatsGoThroughTheirConverters)
{
    CTempDir dir;
    const std::string hex = ":0100100042AD\r\n:00000001FF\r\n";
    const std::string broken = "S104001042AA\n";
    Load ihex(dir, "prog.IHex", &hex);
    EXPECT_EQ(ihex.hexResult, 1);
    EXPECT_EQ(ihex.buffer[0x10], 0x42);
    Load mot(dir, "prog.mot", &broken);
    EXPECT_EQ(mot.sink.Texts(), std::vector<std::string>{"*.MOT文件转换失败(第1行校验和错误)!"});
}

TEST(ImageFile, UnreadableFilesLeaveBufferAlone)
{
    CTempDir dir;
    std::filesystem::create_directory(dir.File("folder.hex"));
    std::filesystem::create_directory(dir.File("folder.bin"));
    // An endless device under a HEX name is refused, not read until memory
    // runs out.
    std::filesystem::create_symlink("/dev/zero", dir.File("zero.hex"));
    for (const char* name : {"missing.bin", "missing.hex", "folder.hex", "folder.bin", "zero.hex"}) {
        Load load(dir, name);
        EXPECT_EQ(load.result.outcome, ImageLoad::Outcome::Unreadable) << name;
        EXPECT_NE(load.result.error, 0) << name;
        EXPECT_TRUE(load.sink.Texts().empty()) << name;
        EXPECT_EQ(load.buffer, std::vector<std::uint8_t>(kImageBufferSize, kUntouched)) << name;
    }
}

}  // namespace
