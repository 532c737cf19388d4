#include "formats/SRecord.h"

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/HexDigits.h"
#include "platform/MessageSink.h"
#include "platform/UiText.h"

namespace {

constexpr std::size_t kImageSize = 0x20000;
const char kCaption[] = "Tamberlink";

// Address bytes of the record types S0..S9; S4 is reserved and refused.
constexpr std::size_t kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

enum class Fault { None, BadCharacter, BadRecord, BadChecksum, BadCount, OutOfRange, NoRecord };

// A data record's bytes, left in the decoded block until the image is filled.
struct Placement {
    std::size_t address;
    std::size_t offset;
    std::size_t length;
};

struct ParsedFile {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::vector<Placement> placements;
    long long total = 0;
    int line = 0;  // where the fault is
};

// Checks every record up to the end record (or the end of the text) and
// collects the data records. Lines end with LF; a CR and trailing blanks or
// tabs before it are ignored, and so are empty lines.
Fault Parse(std::string_view text, ParsedFile& parsed)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    // Two digits make one byte, so the bytes never outnumber half the text.
    parsed.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(text.size() / 2 + 1);
    // A line of 16 data bytes takes about 44 characters.
    parsed.placements.reserve(text.size() / 40 + 1);
    std::uint8_t* const first = parsed.bytes.get();
    std::uint8_t* out = first;
    std::size_t dataRecords = 0;
    bool sawRecord = false;

    for (int line = 1; p < end; ++line) {
        const auto* lineEnd = static_cast<const unsigned char*>(
            std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        if (!lineEnd)
            lineEnd = end;
        const unsigned char* const next = lineEnd < end ? lineEnd + 1 : end;
        const unsigned char* q = lineEnd;
        while (q > p && (q[-1] == '\r' || q[-1] == ' ' || q[-1] == '\t'))
            --q;
        if (q == p) {
            p = next;
            continue;
        }
        parsed.line = line;
        sawRecord = true;
        if (q - p < 2 || p[0] != 'S' || p[1] < '0' || p[1] > '9' || p[1] == '4')
            return Fault::BadRecord;
        const int type = p[1] - '0';

        // Decode the rest of the line as pairs and sum them as they come:
        // count, address, data and checksum add up to 0xFF.
        const unsigned char* h = p + 2;
        std::uint8_t* at = out;
        unsigned sum = 0;
        while (q - h >= 2) {
            const std::uint8_t hi = kHexDigitValue[h[0]];
            const std::uint8_t lo = kHexDigitValue[h[1]];
            if ((hi | lo) & 0xF0)
                return Fault::BadCharacter;
            const std::uint8_t byte = static_cast<std::uint8_t>(hi << 4 | lo);
            *at++ = byte;
            sum += byte;
            h += 2;
        }
        if (h < q)  // one digit left over, or a stray character
            return kHexDigitValue[h[0]] == kNotHexDigit ? Fault::BadCharacter : Fault::BadRecord;

        const std::size_t decoded = static_cast<std::size_t>(at - out);
        const std::size_t addressBytes = kAddressBytes[type];
        if (decoded < addressBytes + 2 || out[0] != decoded - 1)
            return Fault::BadRecord;
        if ((sum & 0xFF) != 0xFF)
            return Fault::BadChecksum;
        std::size_t address = 0;
        for (std::size_t k = 1; k <= addressBytes; ++k)
            address = address << 8 | out[k];

        if (type >= 1 && type <= 3) {
            const std::size_t length = decoded - addressBytes - 2;
            if (address > kImageSize || length > kImageSize - address)
                return Fault::OutOfRange;
            parsed.placements.push_back(
                {address, static_cast<std::size_t>(out - first) + 1 + addressBytes, length});
            parsed.total += static_cast<long long>(length);
            ++dataRecords;
            out = at;  // keep these bytes; other records are overwritten
        } else if (type == 5 || type == 6) {
            // A count that disagrees means records were lost or doubled.
            if (address != dataRecords)
                return Fault::BadCount;
        } else if (type >= 7) {
            return Fault::None;  // the end record: what follows is not read
        }
        p = next;
    }
    if (!sawRecord) {
        parsed.line = 0;
        return Fault::NoRecord;
    }
    return Fault::None;
}

// The converter's message for a fault, a whole format of the extension and
// the line (looked up as one text in the interface's language).
const char* MessageFormat(Fault fault)
{
    switch (fault) {
    case Fault::BadCharacter:
        return "*.%s文件转换失败(第%d行错误的字符)!";
    case Fault::BadRecord:
        return "*.%s文件转换失败(第%d行错误的记录)!";
    case Fault::BadChecksum:
        return "*.%s文件转换失败(第%d行校验和错误)!";
    case Fault::BadCount:
        return "*.%s文件转换失败(第%d行记录数错误)!";
    case Fault::OutOfRange:
        return "*.%s文件转换失败(第%d行不支持大于128k)!";
    case Fault::NoRecord:
    case Fault::None:
        break;
    }
    // No line to name; the line argument is passed and not read.
    return "*.%s文件转换失败(未找到S记录)!";
}

std::string Message(Fault fault, const std::string& upperExt, int line)
{
    const char* format = Tr(MessageFormat(fault));
    const int length = std::snprintf(nullptr, 0, format, upperExt.c_str(), line);
    if (length <= 0)
        return {};
    std::string text(std::size_t(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, upperExt.c_str(), line);
    text.resize(std::size_t(length));
    return text;
}

}  // namespace

int ConvertSRecordToImage(std::string_view text, const std::string& upperExt,
                          std::uint8_t* image, IMessageSink& messages)
{
    ParsedFile parsed;
    const Fault fault = Parse(text, parsed);
    if (fault != Fault::None) {
        messages.ShowMessage(Message(fault, upperExt, parsed.line), kCaption, MessageIcon::Warning);
        return -1;
    }
    // Only a file that converted as a whole reaches the image.
    std::memset(image, 0xFF, kImageSize);
    const std::uint8_t* const bytes = parsed.bytes.get();
    for (const Placement& placement : parsed.placements)
        std::memcpy(image + placement.address, bytes + placement.offset, placement.length);
    // Overlapping records could in theory add up past the int range.
    return parsed.total > INT_MAX ? INT_MAX : static_cast<int>(parsed.total);
}
