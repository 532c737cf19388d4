#include "tests/support/CjkText.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

bool ContainsCjk(std::string_view utf8)
{
    for (std::size_t i = 0; i + 2 < utf8.size(); ++i) {
        const unsigned char a = static_cast<unsigned char>(utf8[i]);
        const unsigned char b = static_cast<unsigned char>(utf8[i + 1]);
        // U+2E80..U+9FFF: E2 BA 80 .. E9 BF BF; U+FF00..U+FFEF: EF BC..BF.
        if ((a == 0xE2 && b >= 0xBA) || (a >= 0xE3 && a <= 0xE9) || (a == 0xEF && b >= 0xBC))
            return true;
    }
    return false;
}

namespace {

struct Literal {
    std::string text;
    int line;
    bool marked;
};

std::vector<Literal> ReadLiterals(const std::string& text)
{
    std::vector<Literal> literals;
    int line = 1;
    bool joinable = false;  // only blanks since the last literal
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || c == ' ' || c == '\t' || c == '\r') {
            line += c == '\n';
            continue;
        }
        if (text.compare(i, 2, "//") == 0 || text.compare(i, 2, "/*") == 0) {
            const bool block = text[i + 1] == '*';
            const std::size_t end = text.find(block ? "*/" : "\n", i + 2);
            for (std::size_t k = i; k < end && k < text.size(); ++k)
                line += text[k] == '\n';
            i = end == std::string::npos ? text.size() : end + (block ? 1 : -1);
            continue;
        }
        // A quote after a digit separates digits (1'000), it opens nothing.
        if (c == '\'' && i > 0 && std::isxdigit(static_cast<unsigned char>(text[i - 1])))
            continue;
        if (c == '\'' || c == '"') {
            std::string body;
            std::size_t k = i + 1;
            for (; k < text.size() && text[k] != c; ++k) {
                if (text[k] == '\\' && k + 1 < text.size()) {
                    const char e = text[++k];
                    body += e == 'n' ? '\n' : e == 't' ? '\t' : e;
                } else {
                    body += text[k];
                }
            }
            const std::size_t lineStart = text.rfind('\n', i) + 1;
            const bool marked =
                text.substr(lineStart, text.find('\n', i) - lineStart).find("NOTR") != std::string::npos;
            if (c == '"' && joinable && !literals.empty())
                literals.back().text += body;
            else if (c == '"')
                literals.push_back({body, line, marked});
            joinable = c == '"';
            i = k;
            continue;
        }
        joinable = false;
    }
    return literals;
}

} // namespace

std::vector<std::string> ChineseLiteralsNotIn(const std::set<std::string>& known,
                                              const std::vector<std::string>& folders)
{
    namespace fs = std::filesystem;
    std::vector<std::string> missing;
    for (const std::string& folder : folders) {
        for (const fs::directory_entry& file :
             fs::directory_iterator(fs::path(TAMBERLINK_SOURCE_DIR) / folder)) {
            const std::string ext = file.path().extension().string();
            if (ext != ".cpp" && ext != ".h")
                continue;
            std::ifstream in(file.path(), std::ios::binary);
            const std::string text{std::istreambuf_iterator<char>(in), {}};
            for (const Literal& literal : ReadLiterals(text))
                if (ContainsCjk(literal.text) && !literal.marked && !known.count(literal.text))
                    missing.push_back(folder + "/" + file.path().filename().string() + ":"
                                      + std::to_string(literal.line) + ": " + literal.text);
        }
    }
    return missing;
}
