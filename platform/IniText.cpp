#include "platform/IniText.h"

#include <algorithm>
#include <utility>

#include "platform/TextCodec.h"

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::size_t npos = static_cast<std::size_t>(-1);

bool IsBlank(char c)
{
    // '\r' too, so a stray carriage return never becomes part of a name.
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool FoldedEqual(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

bool HasHighBytes(std::string_view s)
{
    return std::ranges::any_of(s, [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

bool HasAny(std::string_view s, std::string_view chars)
{
    return s.find_first_of(chars) != std::string_view::npos;
}

} // namespace

CIniText::CIniText(std::string bytes) : m_bytes(std::move(bytes)) {}

bool CIniText::NamesEqual(std::string_view inText, std::string_view wanted)
{
    if (FoldedEqual(inText, wanted))
        return true;
    // A Windows-written name is GBK; only worth decoding when both sides
    // have non-ASCII text (a decoded GBK name is never pure ASCII).
    if (HasHighBytes(inText) && HasHighBytes(wanted))
        return FoldedEqual(GbkToUtf8(inText), wanted);
    return false;
}

std::vector<CIniText::Line> CIniText::SplitLines() const
{
    std::vector<Line> lines;
    const std::string_view all = m_bytes;
    std::size_t pos = all.starts_with(kBom) ? kBom.size() : 0;
    while (pos < all.size()) {
        Line line;
        line.begin = pos;
        const std::size_t nl = all.find('\n', pos);
        std::size_t contentEnd;
        if (nl == std::string_view::npos) {
            contentEnd = all.size();
            line.end = all.size();
        } else {
            contentEnd = (nl > pos && all[nl - 1] == '\r') ? nl - 1 : nl;
            line.end = nl + 1;
        }
        line.content = all.substr(pos, contentEnd - pos);
        line.eol = all.substr(contentEnd, line.end - contentEnd);

        const std::string_view text = Trim(line.content);
        if (text.empty()) {
            line.kind = LineKind::Blank;
        } else if (text.front() == ';') {
            line.kind = LineKind::Comment;
        } else if (text.front() == '[') {
            line.kind = LineKind::Section;
            std::string_view name = text.substr(1);
            // Windows takes a header without ']' as naming the rest of the line.
            const std::size_t close = name.rfind(']');
            if (close != std::string_view::npos)
                name = name.substr(0, close);
            line.name = Trim(name);
        } else if (const std::size_t eq = text.find('='); eq != std::string_view::npos) {
            line.kind = LineKind::Key;
            line.name = Trim(text.substr(0, eq));
            line.value = Trim(text.substr(eq + 1));
        } else {
            line.kind = LineKind::Other;
        }
        lines.push_back(line);
        pos = line.end;
    }
    return lines;
}

CIniText::KeyPos CIniText::Locate(const std::vector<Line>& lines, std::string_view section,
                                  std::string_view key) const
{
    KeyPos at{npos, npos, npos};
    std::size_t i = 0;
    for (; i < lines.size(); ++i) {
        if (lines[i].kind == LineKind::Section && NamesEqual(lines[i].name, section))
            break;
    }
    if (i == lines.size())
        return at;
    at.sectionLine = i;
    at.lastContent = i;
    for (++i; i < lines.size() && lines[i].kind != LineKind::Section; ++i) {
        const Line& line = lines[i];
        if (line.kind == LineKind::Key || line.kind == LineKind::Other)
            at.lastContent = i;
        if (line.kind == LineKind::Key && at.keyLine == npos && NamesEqual(line.name, key))
            at.keyLine = i;
    }
    return at;
}

std::string_view CIniText::NewLineStyle(const std::vector<Line>& lines) const
{
    // Follow the file's own habit; files we start ourselves use LF.
    if (!lines.empty() && !lines.front().eol.empty())
        return lines.front().eol;
    return "\n";
}

std::optional<std::string> CIniText::Find(std::string_view section, std::string_view key) const
{
    const std::vector<Line> lines = SplitLines();
    const KeyPos at = Locate(lines, Trim(section), Trim(key));
    if (at.keyLine == npos)
        return std::nullopt;
    return std::string(lines[at.keyLine].value);
}

bool CIniText::Set(std::string_view section, std::string_view key, std::string_view value)
{
    section = Trim(section);
    key = Trim(key);
    // Anything here would be read back as another name, another key or an
    // extra line, so the file would no longer say what the caller wrote.
    using namespace std::string_view_literals;
    if (HasAny(section, "\r\n\0]"sv) || HasAny(key, "\r\n\0="sv) || HasAny(value, "\r\n\0"sv))
        return false;
    if (key.empty() || key.front() == ';' || key.front() == '[')
        return false;

    const std::vector<Line> lines = SplitLines();
    const std::string eol(NewLineStyle(lines));
    const KeyPos at = Locate(lines, section, key);

    if (at.keyLine != npos) {
        // Keep the name as the file spells it (case, GBK bytes).
        const Line& line = lines[at.keyLine];
        std::string replacement(line.name);
        replacement += '=';
        replacement += value;
        m_bytes.replace(line.begin, line.content.size(), replacement);
        return true;
    }

    std::string addition;
    if (at.sectionLine != npos) {
        const Line& after = lines[at.lastContent];
        std::size_t pos = after.end;
        if (after.eol.empty()) {
            // The section's last line ends the file without a line break.
            addition = eol;
        }
        addition.append(key).append("=").append(value).append(eol);
        m_bytes.insert(pos, addition);
        return true;
    }

    if (!m_bytes.empty() && m_bytes.back() != '\n' && m_bytes != kBom)
        addition = eol;
    addition.append("[").append(section).append("]").append(eol);
    addition.append(key).append("=").append(value).append(eol);
    m_bytes += addition;
    return true;
}

bool CIniText::Remove(std::string_view section, std::string_view key)
{
    const std::vector<Line> lines = SplitLines();
    const KeyPos at = Locate(lines, Trim(section), Trim(key));
    if (at.keyLine == npos)
        return false;
    const Line& line = lines[at.keyLine];
    m_bytes.erase(line.begin, line.end - line.begin);
    return true;
}
