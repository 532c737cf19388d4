#pragma once

#include <cstdint>

class IMessageSink;

// Converts the NUL-terminated text of an Intel HEX file into a flat image
// (16-bit addresses only: an extended segment or linear address record is
// accepted only with base 0, where it changes nothing). All records are tokenised before the image is
// touched; then 0x0000..0xFFFF is filled with 0xFF and the records are placed
// in file order. image must hold at least 0x10000 + 254 bytes.
// Returns the sum of the data byte counts, or -1 after showing the reason
// through messages (hex pairs before the first ':' fail without a message).
int ConvertHexToImage(const char* text, std::uint8_t* image, IMessageSink& messages);
