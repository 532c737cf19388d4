#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The Intel HEX text of the first length bytes of image, from address 0:
// records of 16 data bytes (the last one shorter), upper-case digits, CRLF
// line ends, and the end record. Each 64 KB above the first starts with an
// extended linear address record (type 04). Every byte is written, 0xFF
// included, so that tools that fill gaps with 0x00 read the same image.
std::string ImageToIntelHex(const std::uint8_t* image, std::size_t length);
