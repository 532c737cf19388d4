#pragma once

#include <string_view>

// true when text is one or more of the digits 0 to 9 and nothing else: a
// number as a device name or a setting carries it, without sign or space.
inline bool IsDecimalDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}
