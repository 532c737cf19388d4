#include "formats/IntelHex.h"

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HexDigits.h"
#include "platform/MessageSink.h"
#include "platform/UiText.h"

namespace {

constexpr std::string_view kEndMarker = ":00000001";
constexpr std::size_t kCodeSpace = 0x10000;
// The whole image buffer; extended addresses may reach up to its end.
constexpr std::size_t kImageSpace = 0x20000;

const char kCaption[] = "Tamberlink";
const char kNoEndRecord[] = "*.Hex文件转换失败(未找到\":00000001\"记录)!";
const char kBadCharacter[] = "*.Hex文件转换失败(错误的字符)!";
const char kBadRecord[] = "*.Hex文件转换失败(错误的记录)!";
const char kOver64k[] = "*.Hex文件转换失败(不支持大于64k)!";
const char kBadChecksum[] = "*.Hex文件转换失败(第%d行校验和错误)!";

// Every record's decoded bytes, back to back; record i spans
// [starts[i], starts[i + 1]) with the last one ending at size, and its ':'
// stands on line lines[i] (from 1).
struct TokenisedRecords {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
    std::vector<std::size_t> starts;
    std::vector<int> lines;
};

enum class TokeniseResult { Ok, BadCharacter, PairBeforeRecord };

// Decodes [text, end) into records. end points at the end marker's ':', so
// reading one character past any position before end stays inside the text,
// and a pair whose second character is that ':' fails as a wrong character.
TokeniseResult Tokenise(const unsigned char* text, const unsigned char* end,
                        TokenisedRecords& records)
{
    const std::size_t length = static_cast<std::size_t>(end - text);
    // A pair is two characters, so the bytes never outnumber half the text.
    records.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(length / 2 + 1);
    // The shortest useful line is ":" + 10 digits + a line break.
    records.starts.reserve(length / 12 + 1);
    records.lines.reserve(length / 12 + 1);

    std::uint8_t* const first = records.bytes.get();
    std::uint8_t* out = first;
    const unsigned char* p = text;
    bool haveRecord = false;
    int line = 1;

    while (p < end) {
        const unsigned char c = *p;
        if (c == ':') {
            records.starts.push_back(static_cast<std::size_t>(out - first));
            records.lines.push_back(line);
            haveRecord = true;
            ++p;
            // The common shape: the whole record is pairs up to the line
            // break, so decode pairs until something else turns up.
            while (p < end) {
                const std::uint8_t hi = kHexDigitValue[p[0]];
                const std::uint8_t lo = kHexDigitValue[p[1]];
                if ((hi | lo) & 0xF0)
                    break;
                *out++ = static_cast<std::uint8_t>(hi << 4 | lo);
                p += 2;
            }
            continue;
        }
        if (c == '\r' || c == '\n') {
            // CR LF, LF and a lone CR each end one line; p[1] is at most
            // the end marker's ':'.
            if (c == '\n' || p[1] != '\n')
                ++line;
            ++p;
            continue;
        }
        const std::uint8_t hi = kHexDigitValue[p[0]];
        const std::uint8_t lo = kHexDigitValue[p[1]];
        if ((hi | lo) & 0xF0)
            return TokeniseResult::BadCharacter;
        if (!haveRecord)
            return TokeniseResult::PairBeforeRecord;
        *out++ = static_cast<std::uint8_t>(hi << 4 | lo);
        p += 2;
    }
    records.size = static_cast<std::size_t>(out - first);
    return TokeniseResult::Ok;
}

constexpr std::size_t kNoBase = static_cast<std::size_t>(-1);

// Where the addresses of the data records after an extended segment (02) or
// linear (04) address record start, or kNoBase when the record is not a
// well-formed one of those (two data bytes).
std::size_t ExtendedBase(const std::uint8_t* record, std::size_t length)
{
    if (length < 6 || record[0] != 2 || (record[3] != 0x02 && record[3] != 0x04))
        return kNoBase;
    const std::uint8_t type = record[3];
    const std::size_t value = std::size_t{record[4]} << 8 | record[5];
    return type == 0x04 ? value << 16 : value << 4;
}

// Whether the data records run above 64 KB: then the whole buffer is filled,
// so no byte of an earlier image stays among them.
bool ReachesAbove64k(const TokenisedRecords& records)
{
    const std::size_t count = records.starts.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t start = records.starts[i];
        const std::size_t stop = i + 1 < count ? records.starts[i + 1] : records.size;
        const std::size_t base = ExtendedBase(records.bytes.get() + start, stop - start);
        if (base != 0 && base < kImageSpace)
            return true;
    }
    return false;
}

// Whether the record's bytes, count to checksum, add up to 0 (mod 256).
// A record that ends right after its data has no checksum to pass.
bool ChecksumHolds(const std::uint8_t* record, std::size_t length)
{
    const std::size_t n = record[0];
    if (length < n + 5)
        return false;
    unsigned sum = 0;
    for (std::size_t k = 0; k < n + 5; ++k)
        sum += record[k];
    return (sum & 0xFF) == 0;
}

void Show(IMessageSink& messages, const char* text)
{
    messages.ShowMessage(Tr(text), kCaption, MessageIcon::Warning);
}

void ShowChecksumFault(IMessageSink& messages, int line)
{
    char text[160];
    std::snprintf(text, sizeof text, Tr(kBadChecksum), line);
    messages.ShowMessage(text, kCaption, MessageIcon::Warning);
}

}  // namespace

int ConvertHexToImage(const char* text, std::uint8_t* image, IMessageSink& messages)
{
    const std::string_view whole(text);
    const std::size_t markerAt = whole.find(kEndMarker);
    if (markerAt == std::string_view::npos) {
        Show(messages, kNoEndRecord);
        return -1;
    }

    const auto* area = reinterpret_cast<const unsigned char*>(text);
    TokenisedRecords records;
    switch (Tokenise(area, area + markerAt, records)) {
    case TokeniseResult::Ok:
        break;
    case TokeniseResult::BadCharacter:
        Show(messages, kBadCharacter);
        return -1;
    case TokeniseResult::PairBeforeRecord:
        return -1;
    }

    // The fill comes only after the whole text tokenised cleanly, so a bad
    // character leaves the image as it was, while a bad record leaves the
    // fill and every record placed before it.
    std::memset(image, 0xFF, ReachesAbove64k(records) ? kImageSpace : kCodeSpace);

    long long total = 0;
    std::size_t base = 0;
    const std::size_t count = records.starts.size();
    const std::uint8_t* const bytes = records.bytes.get();
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t start = records.starts[i];
        const std::size_t stop = i + 1 < count ? records.starts[i + 1] : records.size;
        const std::size_t length = stop - start;
        const std::uint8_t* record = bytes + start;
        if (length < 5) {
            Show(messages, kBadRecord);
            return -1;
        }
        const std::uint8_t type = record[3];
        const std::size_t n = record[0];
        // A record whose bytes are all there must add up: one changed
        // digit would otherwise be programmed without a word.
        if (length >= n + 4 && !ChecksumHolds(record, length)) {
            ShowChecksumFault(messages, records.lines[i]);
            return -1;
        }
        if (type != 0x00) {
            if (type == 0x02 || type == 0x04) {
                // Bases inside the buffer: linear 0 or 1, segment up to
                // 0x1FFF (what the writer and other tools put out for images
                // up to 128 KB); each record must then stay inside it too.
                const std::size_t next = ExtendedBase(record, length);
                if (next < kImageSpace) {
                    base = next;
                    continue;
                }
            }
            Show(messages, type == 0x02 || type == 0x04 ? kOver64k : kBadRecord);
            return -1;
        }
        if (n > length - 4) {
            Show(messages, kBadRecord);
            return -1;
        }
        // No wrap at 64K: a record near the top runs on past 0xFFFF, but
        // never past the buffer.
        const std::size_t address = base + (std::size_t{record[1]} << 8 | record[2]);
        if (address + n > kImageSpace) {
            Show(messages, kOver64k);
            return -1;
        }
        std::memcpy(image + address, record + 4, n);
        total += static_cast<long long>(n);
    }
    // Only a text of several gigabytes could overflow the count; keep it
    // from turning negative, which would read as a failure.
    return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}
