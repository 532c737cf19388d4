#include "tests/support/CjkText.h"

#include <cctype>
#include <fstream>
#include <iterator>

namespace {

bool IsCjk(char32_t c)
{
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF)
        || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF)
        || (c >= 0x20000 && c <= 0x3FFFF);
}

// Resolves the escapes of one literal's body.
std::string Unescape(std::string_view body)
{
    std::string out;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\' || i + 1 >= body.size()) {
            out += body[i];
            continue;
        }
        const char c = body[++i];
        switch (c) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': {
            int value = 0;
            int digits = 0;
            while (digits < 3 && i < body.size() && body[i] >= '0' && body[i] <= '7') {
                value = value * 8 + (body[i++] - '0');
                ++digits;
            }
            --i;
            out += char(value);
            break;
        }
        case 'x': {
            int value = 0;
            while (i + 1 < body.size() && std::isxdigit(static_cast<unsigned char>(body[i + 1]))) {
                const char h = body[++i];
                value = value * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
            }
            out += char(value);
            break;
        }
        default: out += c; break;
        }
    }
    return out;
}

} // namespace

bool ContainsCjk(std::string_view utf8)
{
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        int length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (i + std::size_t(length) > utf8.size())
            return false;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + std::size_t(k)]) & 0x3F);
        if (IsCjk(c))
            return true;
        i += std::size_t(length);
    }
    return false;
}

std::vector<SourceLiteral> ReadStringLiterals(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

    std::vector<SourceLiteral> literals;
    int line = 1;
    // Set after a literal; whitespace keeps it, anything else ends it, so
    // "a" "b" joins.
    bool joinable = false;
    auto lineHasMarker = [&text](std::size_t at) {
        const std::size_t start = text.rfind('\n', at) + 1;
        const std::size_t end = text.find('\n', at);
        return text.substr(start, end - start).find("NOTR") != std::string::npos;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r')
            continue;
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            i = text.find('\n', i);
            if (i == std::string::npos)
                break;
            --i;
            continue;
        }
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const std::size_t end = text.find("*/", i + 2);
            for (std::size_t k = i; k < end && k < text.size(); ++k)
                line += text[k] == '\n';
            if (end == std::string::npos)
                break;
            i = end + 1;
            continue;
        }
        if (c == '\'') {
            // A character literal, or a digit separator (1'000): either way
            // nothing to read, and its quote must not start a string.
            std::size_t k = i + 1;
            while (k < text.size() && text[k] != '\'' && text[k] != '\n')
                k += text[k] == '\\' ? 2 : 1;
            if (k < text.size() && text[k] == '\'' && k - i <= 8)
                i = k;
            joinable = false;
            continue;
        }
        if (c == '"') {
            std::size_t k = i + 1;
            while (k < text.size() && text[k] != '"')
                k += text[k] == '\\' ? 2 : 1;
            std::string body = Unescape(std::string_view(text).substr(i + 1, k - i - 1));
            if (joinable && !literals.empty()) {
                literals.back().text += body;
                literals.back().notShown = literals.back().notShown || lineHasMarker(i);
            } else {
                literals.push_back({std::move(body), line, lineHasMarker(i)});
            }
            i = k;
            joinable = true;
            continue;
        }
        joinable = false;
    }
    return literals;
}
