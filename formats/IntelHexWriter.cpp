#include "formats/IntelHexWriter.h"

#include <algorithm>

#include "platform/HexDigits.h"

namespace {

constexpr std::size_t kBytesPerRecord = 16;

// Appends one record: ':', count, address, type, data, checksum, CRLF.
void AppendRecord(std::string& text, std::uint8_t type, unsigned address,
                  const std::uint8_t* data, std::size_t count)
{
    char line[1 + 2 * (4 + kBytesPerRecord + 1) + 2];
    char* out = line;
    unsigned sum = 0;
    auto put = [&out, &sum](std::uint8_t byte) {
        *out++ = kUpperHexDigits[byte >> 4];
        *out++ = kUpperHexDigits[byte & 0x0F];
        sum += byte;
    };
    *out++ = ':';
    put(static_cast<std::uint8_t>(count));
    put(static_cast<std::uint8_t>(address >> 8));
    put(static_cast<std::uint8_t>(address));
    put(type);
    for (std::size_t k = 0; k < count; ++k)
        put(data[k]);
    put(static_cast<std::uint8_t>(-sum));
    *out++ = '\r';
    *out++ = '\n';
    text.append(line, static_cast<std::size_t>(out - line));
}

}  // namespace

std::string ImageToIntelHex(const std::uint8_t* image, std::size_t length)
{
    std::string text;
    // 45 characters for a full record, plus the end record.
    text.reserve((length + kBytesPerRecord - 1) / kBytesPerRecord * 45 + 32);
    for (std::size_t at = 0; at < length; at += kBytesPerRecord) {
        // Records are 16-byte aligned, so none crosses a 64 KB boundary.
        if (at > 0 && at % 0x10000 == 0) {
            const unsigned upper = static_cast<unsigned>(at >> 16);
            const std::uint8_t base[2] = {static_cast<std::uint8_t>(upper >> 8),
                                          static_cast<std::uint8_t>(upper)};
            AppendRecord(text, 0x04, 0, base, 2);
        }
        AppendRecord(text, 0x00, static_cast<unsigned>(at & 0xFFFF), image + at,
                     std::min(kBytesPerRecord, length - at));
    }
    AppendRecord(text, 0x01, 0, nullptr, 0);
    return text;
}
