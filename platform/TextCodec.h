#pragma once

#include <optional>
#include <string>
#include <string_view>

// Text from Windows-made files (catalogue names, ini sections) is GBK; our
// own files and everything we show are UTF-8.
bool IsValidUtf8(std::string_view text);
// GBK -> UTF-8; bytes that do not decode become U+FFFD.
std::string GbkToUtf8(std::string_view text);
// UTF-8 -> GBK; characters GBK lacks become '?'.
std::string Utf8ToGbk(std::string_view text);
// UTF-8 -> GBK with nothing replaced: nullopt when text holds a character
// GBK lacks or is not UTF-8.
std::optional<std::string> Utf8ToGbkExact(std::string_view text);
// Valid UTF-8 is returned as it is, anything else is taken as GBK.
std::string ToUtf8(std::string_view text);
