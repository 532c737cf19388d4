#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The text of one ini file, looked up and edited in memory. Edits touch only
// the line they concern: every other byte (comments, blank lines, GBK names,
// CRLF or LF line ends, a UTF-8 byte-order mark) stays exactly as it was.
//
// Section and key names compare with ASCII case folding; a name in the text
// that is GBK (as Windows writes it) matches the same name given in UTF-8.
// When a section appears twice, the first one is used.
class CIniText {
public:
    CIniText() = default;
    explicit CIniText(std::string bytes);

    const std::string& Bytes() const { return m_bytes; }

    // The value with surrounding blanks removed; nullopt when the section or
    // key is missing.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    // Replaces the key's line, or adds the key at the end of its section (or
    // a new section at the end of the text). false, with nothing changed,
    // when a name or the value would not read back as given (line breaks,
    // NUL, '=' in the key, ']' in the section, an empty key).
    bool Set(std::string_view section, std::string_view key, std::string_view value);
    // Removes the key's line; false when there was no such key.
    bool Remove(std::string_view section, std::string_view key);

    static bool NamesEqual(std::string_view inText, std::string_view wanted);

private:
    enum class LineKind { Blank, Comment, Section, Key, Other };
    struct Line {
        std::size_t begin = 0;      // first byte after a byte-order mark
        std::size_t end = 0;        // one past the line end
        std::string_view content;   // without the line end
        std::string_view eol;       // "\r\n", "\n" or empty on an unterminated last line
        LineKind kind = LineKind::Other;
        std::string_view name;      // section or key name, trimmed
        std::string_view value;     // key value, trimmed
    };
    struct KeyPos {
        std::size_t sectionLine; // index of the header line, or npos
        std::size_t keyLine;     // index of the key line, or npos
        std::size_t lastContent; // last non-blank line of the section (header if none)
    };

    std::vector<Line> SplitLines() const;
    KeyPos Locate(const std::vector<Line>& lines, std::string_view section,
                  std::string_view key) const;
    std::string_view NewLineStyle(const std::vector<Line>& lines) const;

    std::string m_bytes;
};
