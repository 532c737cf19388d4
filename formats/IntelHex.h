#pragma once

#include <cstdint>

class IMessageSink;

// Converts the NUL-terminated text of an Intel HEX file into a flat image of
// 0x20000 bytes. Extended segment (02) and linear (04) address records are
// accepted while the data stays inside the image (linear base 0 or 1,
// segment base up to 0x1FFF). Every complete record's checksum is checked.
// All records are tokenised before the image is touched; then 0x0000..0xFFFF
// is filled with 0xFF (the whole image when a base above 0 occurs) and the
// records are placed in file order.
// Returns the sum of the data byte counts, or -1 after showing the reason
// through messages (hex pairs before the first ':' fail without a message).
int ConvertHexToImage(const char* text, std::uint8_t* image, IMessageSink& messages);
