#pragma once

#include <string>
#include <string_view>
#include <vector>

// The arguments a printf format string takes, in order: one entry per
// argument, "*" for a width or precision given as an argument, otherwise the
// length modifier and conversion ("d", "ld", "02x" -> "x", ".2f" -> "f").
// Flags, widths and precisions are left out: they change the look, not what
// is read from the argument list. "%%" takes nothing. A translated format
// that gives a different list would read its arguments wrongly.
std::vector<std::string> PrintfArguments(std::string_view format);
