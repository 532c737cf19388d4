#include "platform/FormatSpecs.h"

#include <cctype>
#include <cstring>

namespace {

bool IsDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

} // namespace

std::vector<std::string> PrintfArguments(std::string_view format)
{
    std::vector<std::string> arguments;
    std::size_t i = 0;
    const std::size_t n = format.size();
    while (i < n) {
        if (format[i++] != '%')
            continue;
        if (i < n && format[i] == '%') {
            ++i;
            continue;
        }
        std::string argument;
        // An explicit argument number ("%2$s") is part of what is read.
        std::size_t j = i;
        while (j < n && IsDigit(format[j]))
            ++j;
        if (j < n && j > i && format[j] == '$') {
            argument.assign(format.substr(i, j - i + 1));
            i = j + 1;
        }
        while (i < n && std::strchr("-+ #0'", format[i]))
            ++i;
        if (i < n && format[i] == '*') {
            arguments.emplace_back("*");
            ++i;
        }
        while (i < n && IsDigit(format[i]))
            ++i;
        if (i < n && format[i] == '.') {
            ++i;
            if (i < n && format[i] == '*') {
                arguments.emplace_back("*");
                ++i;
            }
            while (i < n && IsDigit(format[i]))
                ++i;
        }
        while (i < n && std::strchr("hlLqjzt", format[i]))
            argument += format[i++];
        // A '%' at the very end takes nothing but is kept as a fault to see.
        argument += i < n ? format[i++] : '?';
        arguments.push_back(argument);
    }
    return arguments;
}
