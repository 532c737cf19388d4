#include "platform/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <iconv.h>

namespace {

// One conversion direction. A descriptor carries shift state and must not be
// shared between threads, so each thread keeps its own pair (see below).
class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~IconvHandle()
    {
        if (Valid())
            iconv_close(m_cd);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// Length of the well-formed UTF-8 sequence at the start of text, 0 when the
// bytes there are not one.
std::size_t Utf8SequenceLength(std::string_view text)
{
    const auto b0 = static_cast<unsigned char>(text[0]);
    if (b0 < 0x80)
        return 1;
    std::size_t len;
    char32_t cp;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
    } else {
        return 0; // continuation byte, C0/C1 overlong lead, or beyond U+10FFFF
    }
    if (text.size() < len)
        return 0;
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000))
        return 0; // overlong
    if (cp >= 0xD800 && cp <= 0xDFFF)
        return 0; // surrogate halves are not characters
    if (cp > 0x10FFFF)
        return 0;
    return len;
}

// How many bytes one replacement character stands for at the start of text:
// a whole character, or a lead byte with the continuation bytes that follow
// it (a character cut short), or a single stray byte.
std::size_t Utf8SkipLength(std::string_view text)
{
    if (const std::size_t len = Utf8SequenceLength(text))
        return len;
    const auto b0 = static_cast<unsigned char>(text[0]);
    const std::size_t expected = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : 2;
    if (b0 < 0xC2 || b0 > 0xF4)
        return 1;
    std::size_t len = 1;
    while (len < expected && len < text.size() &&
           (static_cast<unsigned char>(text[len]) & 0xC0) == 0x80)
        ++len;
    return len;
}

// Runs text through cd. Where the input cannot be converted, badInput is
// emitted and skipLength(rest) bytes of input are dropped, so one bad byte or
// one unmappable character never loses the text after it.
template <typename SkipLength>
std::string Convert(iconv_t cd, std::string_view text, std::string_view badInput,
                    SkipLength skipLength)
{
    std::string out;
    out.reserve(text.size() * 3 / 2 + 4);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);

    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, outPtr);
        if (rc != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL (a sequence cut off by the end of the text).
        out.append(badInput);
        std::size_t skip = skipLength(std::string_view(in, inLeft));
        if (skip == 0 || skip > inLeft)
            skip = 1;
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state (none for these encodings, but cheap).
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, outPtr);
    return out;
}

IconvHandle& GbkDecoder()
{
    thread_local IconvHandle handle("UTF-8", "GBK");
    return handle;
}

IconvHandle& GbkEncoder()
{
    thread_local IconvHandle handle("GBK", "UTF-8");
    return handle;
}

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD"; // U+FFFD

} // namespace

bool IsValidUtf8(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t len = Utf8SequenceLength(text);
        if (len == 0)
            return false;
        text.remove_prefix(len);
    }
    return true;
}

std::string GbkToUtf8(std::string_view text)
{
    IconvHandle& cd = GbkDecoder();
    if (!cd.Valid()) {
        // Without the converter, keep what is certain: ASCII is the same in
        // both; every other byte is unknown.
        std::string out;
        for (char c : text) {
            if (static_cast<unsigned char>(c) < 0x80)
                out += c;
            else
                out += kReplacementUtf8;
        }
        return out;
    }
    // A bad lead byte is dropped alone so that the byte after it, which may
    // be ASCII, still comes through.
    return Convert(cd.Get(), text, kReplacementUtf8, [](std::string_view) { return 1; });
}

std::string Utf8ToGbk(std::string_view text)
{
    IconvHandle& cd = GbkEncoder();
    if (!cd.Valid()) {
        std::string out;
        while (!text.empty()) {
            const bool ascii = static_cast<unsigned char>(text[0]) < 0x80;
            out += ascii ? text[0] : '?';
            text.remove_prefix(Utf8SkipLength(text));
        }
        return out;
    }
    // A character GBK lacks becomes one '?', and so does a malformed sequence.
    return Convert(cd.Get(), text, "?", Utf8SkipLength);
}

std::optional<std::string> Utf8ToGbkExact(std::string_view text)
{
    if (!IsValidUtf8(text))
        return std::nullopt;
    // Without the converter only ASCII is certain.
    const std::string gbk = Utf8ToGbk(text);
    if (!GbkEncoder().Valid() && gbk != text)
        return std::nullopt;
    // Every replacement is a '?' the text did not have.
    const auto questionMarks = [](std::string_view s) {
        return std::count(s.begin(), s.end(), '?');
    };
    if (questionMarks(gbk) != questionMarks(text))
        return std::nullopt;
    return gbk;
}

std::string ToUtf8(std::string_view text)
{
    if (IsValidUtf8(text))
        return std::string(text);
    return GbkToUtf8(text);
}
