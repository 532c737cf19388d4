// The ini layer on arbitrary file text and names: what is set reads back,
// other keys keep their values, a struct that does not decode leaves the
// caller's data alone, integers read like the Windows call, and a struct
// written into any file reads back unchanged.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "fuzz/ScratchFolder.h"
#include "isp/CableDescription.h"
#include "platform/FileBytes.h"
#include "platform/IniText.h"
#include "platform/ProfileFile.h"

namespace {

constexpr std::uint8_t kUntouched = 0x5A;

std::string_view TrimBlanks(std::string_view s)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

// GetInt as the Windows call reads a value: optional sign, leading digits,
// wrapping at 32 bits; the default for a missing or empty value.
int ModelInt(const std::optional<std::string>& value, int def)
{
    if (!value || value->empty())
        return def;
    std::size_t i = 0;
    bool negative = false;
    if ((*value)[0] == '+' || (*value)[0] == '-') {
        negative = (*value)[0] == '-';
        ++i;
    }
    std::uint32_t n = 0;
    for (; i < value->size() && (*value)[i] >= '0' && (*value)[i] <= '9'; ++i)
        n = n * 10u + std::uint32_t((*value)[i] - '0');
    return int(negative ? 0u - n : n);
}

const std::string& ScratchFile()
{
    static const CScratchFolder folder("tl-profile-fuzz");
    static const std::string path = folder.File("profile.ini");
    return path;
}

void CheckStructCodec(FuzzedDataProvider& input)
{
    const std::size_t size = input.ConsumeIntegralInRange<std::size_t>(0, 64);
    const std::string text = input.ConsumeRandomLengthString(140);
    std::vector<std::uint8_t> data(size, kUntouched);
    if (!CProfileFile::DecodeStruct(text, data.data(), size)) {
        for (std::uint8_t byte : data)
            FUZZ_CHECK(byte == kUntouched, "a failed decode changed the data");
        return;
    }
    FUZZ_CHECK(text.size() == 2 * size + 2, "decoded a text of the wrong length");
    FUZZ_CHECK(CProfileFile::EncodeStruct(data.data(), size) == Upper(text),
               "a decoded struct does not encode back to its text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(24);
    const std::string key = input.ConsumeRandomLengthString(24);
    const std::string value = input.ConsumeRandomLengthString(48);
    const std::string otherSection = input.ConsumeRandomLengthString(24);
    const std::string otherKey = input.ConsumeRandomLengthString(24);
    const int def = input.ConsumeIntegral<int>();
    CheckStructCodec(input);
    const std::string text = input.ConsumeRemainingBytesAsString();

    CIniText ini(text);
    const std::optional<std::string> found = ini.Find(section, key);
    if (found) {
        FUZZ_CHECK(found->find('\n') == std::string::npos, "a value spans lines");
        FUZZ_CHECK(TrimBlanks(*found) == *found, "a value keeps its surrounding blanks");
    }
    const std::optional<std::string> otherBefore = ini.Find(otherSection, otherKey);

    CIniText edited = ini;
    if (edited.Set(section, key, value)) {
        const std::optional<std::string> back = edited.Find(section, key);
        FUZZ_CHECK(back && *back == TrimBlanks(value), "a value set does not read back");
        // Another key either kept its value or is the one just set.
        const std::optional<std::string> otherAfter = edited.Find(otherSection, otherKey);
        FUZZ_CHECK(otherAfter == otherBefore || otherAfter == back, "setting a key changed another");
    } else {
        FUZZ_CHECK(edited.Bytes() == text, "a refused set changed the text");
    }
    CIniText removed = ini;
    if (removed.Remove(section, key))
        FUZZ_CHECK(removed.Bytes().size() < text.size(), "a removal removed nothing");
    else
        FUZZ_CHECK(removed.Bytes() == text, "a failed removal changed the text");

    // The file-level readers over the same text.
    const std::string& path = ScratchFile();
    FUZZ_CHECK(WriteFileAtomically(path, text), "scratch file");
    const CProfileFile profile(path);
    FUZZ_CHECK(profile.GetString(section, key, "\x01") == found.value_or("\x01"),
               "GetString differs from the text's value");
    FUZZ_CHECK(profile.GetInt(section, key, def) == ModelInt(found, def),
               "GetInt does not read like the Windows call");
    const CableDescription cable = CableDescription::ForType(1, path);
    FUZZ_CHECK(cable.m_nPinMosi == profile.GetInt("引脚控制", "MOSI", 14), "cable MOSI");
    FUZZ_CHECK(cable.m_nOeDisable == profile.GetInt("输出控制(OE)", "Disable", 1), "cable OE");

    std::vector<std::uint8_t> block(value.begin(), value.end());
    std::vector<std::uint8_t> readBack(block.size(), kUntouched);
    CProfileFile writable(path);
    if (writable.WriteStruct(section, key, block.data(), block.size())) {
        FUZZ_CHECK(writable.GetStruct(section, key, readBack.data(), readBack.size()),
                   "a struct written does not read back");
        FUZZ_CHECK(readBack == block, "a struct read back differs");
        const std::string other = writable.GetString(otherSection, otherKey, "\x01");
        FUZZ_CHECK(other == otherBefore.value_or("\x01")
                       || other == CProfileFile::EncodeStruct(block.data(), block.size()),
                   "writing a struct changed another key");
    } else {
        const std::optional<std::string> onDisk = ReadFileBytes(path);
        FUZZ_CHECK(onDisk && *onDisk == text, "a refused write changed the file");
    }
    return 0;
}
