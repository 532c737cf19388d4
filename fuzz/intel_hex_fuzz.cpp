// The HEX converter against a plain model of the conversion: for any text
// the result, the message shown and every byte of the image must agree, and
// without an extended address above 0 nothing at or beyond 0x10000 + 254
// may ever change.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "formats/IntelHex.h"
#include "fuzz/CountingMessageSink.h"
#include "fuzz/FuzzCheck.h"
#include "platform/HexDigits.h"

namespace {

constexpr std::size_t kImageSize = 0x20000;
// Bytes a record can reach: 255 data bytes from address 0xFFFF end at
// 0x100FD, so everything from 0x100FE up is out of reach.
constexpr std::size_t kReach = 0x10000 + 254;
constexpr std::uint8_t kGuard = 0xA5;

const std::string kNoEndRecord = "*.Hex文件转换失败(未找到\":00000001\"记录)!";
const std::string kBadCharacter = "*.Hex文件转换失败(错误的字符)!";
const std::string kBadRecord = "*.Hex文件转换失败(错误的记录)!";
const std::string kOver64k = "*.Hex文件转换失败(不支持大于64k)!";

std::string ChecksumMessage(int line)
{
    return "*.Hex文件转换失败(第" + std::to_string(line) + "行校验和错误)!";
}

struct Outcome {
    int result = 0;
    std::string message;  // empty: none shown
    bool upperBase = false;  // an extended address above 0 lets records reach past kReach
};

Outcome Failed(Outcome outcome, const std::string& message)
{
    outcome.result = -1;
    outcome.message = message;
    return outcome;
}

// The conversion written the slow, obvious way: one vector per record.
Outcome Model(std::string_view text, std::vector<std::uint8_t>& image)
{
    const std::size_t marker = text.find(":00000001");
    if (marker == std::string_view::npos)
        return {-1, kNoEndRecord};

    std::vector<std::vector<std::uint8_t>> records;
    std::vector<int> lines;
    int line = 1;
    std::size_t i = 0;
    while (i < marker) {
        const char c = text[i];
        if (c == ':') {
            records.emplace_back();
            lines.push_back(line);
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            if (c == '\n' || text[i + 1] != '\n')
                ++line;
            ++i;
            continue;
        }
        // text[marker] is ':', so i + 1 is always inside the text.
        const int high = HexDigit(c);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return {-1, kBadCharacter};
        if (records.empty())
            return {-1, {}};
        records.back().push_back(std::uint8_t(high * 16 + low));
        i += 2;
    }

    // An extended address above 0 (inside the image) fills all of it.
    auto baseOf = [](const std::vector<std::uint8_t>& record) -> long {
        if (record.size() < 6 || record[0] != 2 || (record[3] != 2 && record[3] != 4))
            return -1;
        const long value = record[4] * 256L + record[5];
        return record[3] == 4 ? value * 0x10000 : value * 16;
    };
    bool fillAll = false;
    for (const auto& record : records) {
        const long base = baseOf(record);
        fillAll = fillAll || (base > 0 && base < long(kImageSize));
    }
    std::memset(image.data(), 0xFF, fillAll ? kImageSize : 0x10000);
    Outcome outcome;
    outcome.upperBase = fillAll;
    int total = 0;
    long base = 0;
    for (std::size_t r = 0; r < records.size(); ++r) {
        const auto& record = records[r];
        if (record.size() < 5)
            return Failed(outcome, kBadRecord);
        const std::size_t n = record[0];
        if (record.size() >= n + 4) {
            unsigned sum = 0;
            for (std::size_t k = 0; k < n + 5 && k < record.size(); ++k)
                sum += record[k];
            if (record.size() == n + 4 || (sum & 0xFF) != 0)
                return Failed(outcome, ChecksumMessage(lines[r]));
        }
        const bool extended = record[3] == 2 || record[3] == 4;
        if (extended && baseOf(record) >= 0 && baseOf(record) < long(kImageSize)) {
            base = baseOf(record);
            continue;
        }
        if (record[3] != 0)
            return Failed(outcome, extended ? kOver64k : kBadRecord);
        if (n > record.size() - 4)
            return Failed(outcome, kBadRecord);
        const std::size_t address = std::size_t(base) + (std::size_t(record[1]) << 8 | record[2]);
        if (address + n > kImageSize)
            return Failed(outcome, kOver64k);
        std::memcpy(image.data() + address, record.data() + 4, n);
        total += int(n);
    }
    outcome.result = total;
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The converter reads up to the first NUL, as the loader hands it over.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string_view upToNul(text.c_str());

    // Exactly as large as the buffer the program passes: the sanitizer sees
    // any write past it, the guard bytes any write into its upper part. Kept
    // between inputs, refilled each time.
    static std::vector<std::uint8_t> image(kImageSize);
    static std::vector<std::uint8_t> expectedImage(kImageSize);
    std::fill(image.begin(), image.end(), kGuard);
    std::fill(expectedImage.begin(), expectedImage.end(), kGuard);

    CCountingMessageSink messages;
    const int result = ConvertHexToImage(text.c_str(), image.data(), messages);
    const Outcome expected = Model(upToNul, expectedImage);

    FUZZ_CHECK(result == expected.result, "result differs from the model");
    const std::vector<std::string> shown = messages.Texts();
    if (expected.message.empty()) {
        FUZZ_CHECK(shown.empty(), "a message was shown where none belongs");
    } else {
        FUZZ_CHECK(shown.size() == 1, "a failure must be shown exactly once");
        FUZZ_CHECK(shown.front() == expected.message, "wrong failure message");
    }
    FUZZ_CHECK(result >= -1, "results below -1 do not exist");
    FUZZ_CHECK(expected.upperBase || std::all_of(image.begin() + kReach, image.end(),
                                        [](std::uint8_t b) { return b == kGuard; }),
               "a byte beyond the reach of any record changed");
    FUZZ_CHECK(image == expectedImage, "image differs from the model");
    return 0;
}
