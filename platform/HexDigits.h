#pragma once

#include <array>
#include <cstdint>

// Nibble value of each byte, or kNotHexDigit. Built at compile time so that
// the converters cost nothing at program start.
constexpr std::uint8_t kNotHexDigit = 0xFF;
constexpr std::array<std::uint8_t, 256> MakeHexDigitTable()
{
    std::array<std::uint8_t, 256> table{};
    for (auto& v : table)
        v = kNotHexDigit;
    for (int c = '0'; c <= '9'; ++c)
        table[c] = static_cast<std::uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        table[c] = static_cast<std::uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c)
        table[c] = static_cast<std::uint8_t>(c - 'a' + 10);
    return table;
}
inline constexpr std::array<std::uint8_t, 256> kHexDigitValue = MakeHexDigitTable();

// The value of one hex digit (either case), or -1.
constexpr int HexDigit(char c)
{
    const std::uint8_t v = kHexDigitValue[static_cast<unsigned char>(c)];
    return v == kNotHexDigit ? -1 : v;
}

// Upper-case digits, as the files this program writes use them.
inline constexpr char kUpperHexDigits[] = "0123456789ABCDEF";
