#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

// Whether UTF-8 text holds a Chinese (CJK) character or CJK punctuation
// ("，" "。" "　"): the mark of a text left untranslated.
bool ContainsCjk(std::string_view utf8);

// The Chinese string literals of the .cpp and .h files in the given folders
// of the source tree (not their subfolders) that are not among known, as
// "file:line: text". Comments are skipped; a literal on a line marked NOTR
// (an ini key, never shown) is left out; escapes are resolved and adjacent
// literals joined, as the compiler sees them.
std::vector<std::string> ChineseLiteralsNotIn(const std::set<std::string>& known,
                                              const std::vector<std::string>& folders);
