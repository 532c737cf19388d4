#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Whether UTF-8 text holds a Chinese (CJK) character or CJK punctuation
// ("，" "。" "　"): the mark of a text left untranslated.
bool ContainsCjk(std::string_view utf8);

// A string literal of a C++ source file, with its escapes resolved and
// adjacent literals joined, as the compiler sees it.
struct SourceLiteral {
    std::string text;
    int line = 0;
    // The line carries "NOTR": a key or a name, never shown to a person.
    bool notShown = false;
};

// The literals of one source file; comments and character literals are
// skipped.
std::vector<SourceLiteral> ReadStringLiterals(const std::filesystem::path& file);
