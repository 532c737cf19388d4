// The S-record converter on any text: it never writes outside the 128 KB
// buffer, leaves it untouched when it fails (with exactly one message naming
// the file type), and on success writes every byte of it, so that what was
// there before never shows through.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "formats/SRecord.h"
#include "fuzz/CountingMessageSink.h"
#include "fuzz/FuzzCheck.h"
#include "platform/HexDigits.h"

namespace {

constexpr std::size_t kImageSize = 0x20000;
constexpr std::uint8_t kGuardA = 0xA5;
constexpr std::uint8_t kGuardB = 0x5A;

// Sets the count and the checksum of every line made of 'S', a type and hex
// pairs to what its length and bytes call for. Random mutations seldom get
// both right; repaired, the input reaches the address and count checks.
std::string Repaired(std::string_view text)
{
    std::string out(text);
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        if (end == std::string::npos)
            end = out.size();
        std::size_t stop = end;
        if (stop > start && out[stop - 1] == '\r')
            --stop;
        const std::size_t digits = stop - start;
        bool pairs = digits >= 6 && digits % 2 == 0 && out[start] == 'S';
        for (std::size_t i = start + 2; pairs && i < stop; ++i)
            pairs = HexDigit(out[i]) >= 0;
        if (pairs) {
            const std::size_t bytes = (digits - 2) / 2;
            const unsigned count = static_cast<unsigned>(bytes - 1) & 0xFF;
            out[start + 2] = kUpperHexDigits[count >> 4];
            out[start + 3] = kUpperHexDigits[count & 0x0F];
            unsigned sum = 0;
            for (std::size_t i = start + 2; i + 2 < stop; i += 2)
                sum += static_cast<unsigned>(HexDigit(out[i]) * 16 + HexDigit(out[i + 1]));
            out[stop - 2] = kUpperHexDigits[(~sum >> 4) & 0x0F];
            out[stop - 1] = kUpperHexDigits[~sum & 0x0F];
        }
        start = end + 1;
    }
    return out;
}

void CheckConversion(std::string_view text)
{
    // Exactly as large as the buffer the program passes, so the sanitizer sees
    // any write past it. Kept between inputs: filling and comparing 128 KB is
    // most of the time each input takes.
    static const std::vector<std::uint8_t> untouched(kImageSize, kGuardA);
    static std::vector<std::uint8_t> image(kImageSize);
    std::memset(image.data(), kGuardA, kImageSize);

    CCountingMessageSink messages;
    const int result = ConvertSRecordToImage(text, "S19", image.data(), messages);
    const std::vector<std::string> shown = messages.Texts();
    FUZZ_CHECK(result >= -1, "results below -1 do not exist");
    if (result < 0) {
        FUZZ_CHECK(shown.size() == 1, "a failure must be shown exactly once");
        FUZZ_CHECK(shown.front().rfind("*.S19文件转换失败(", 0) == 0, "message of another kind");
        FUZZ_CHECK(std::memcmp(image.data(), untouched.data(), kImageSize) == 0,
                   "a failed conversion touched the image");
        return;
    }
    FUZZ_CHECK(shown.empty(), "a message on success");
    FUZZ_CHECK(static_cast<std::size_t>(result) <= text.size() / 2, "more data than the text holds");

    // Converted again over another fill, the image must come out the same:
    // every byte is written, none shows what was there before.
    static std::vector<std::uint8_t> again(kImageSize);
    std::memset(again.data(), kGuardB, kImageSize);
    FUZZ_CHECK(ConvertSRecordToImage(text, "S19", again.data(), messages) == result,
               "the same text converted differently");
    FUZZ_CHECK(messages.Count() == 0, "a message on the second conversion");
    FUZZ_CHECK(std::memcmp(image.data(), again.data(), kImageSize) == 0,
               "a byte of the image was left as it was");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckConversion(text);
    CheckConversion(Repaired(text));
    return 0;
}
