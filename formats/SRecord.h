#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class IMessageSink;

// Converts the text of a Motorola S-record file into a flat image of
// 0x20000 bytes. Every record is checked (characters, length, checksum,
// address range, an S5/S6 count against the data records before it) before
// the image is touched; only then is the whole image filled with 0xFF and the
// S1/S2/S3 data placed in file order. S7, S8 or S9 ends the file; without one
// the text's end does. upperExt names the file in the messages ("S19",
// "SREC" ...).
// Returns the sum of the data byte counts, or -1 after showing the reason
// with its line number through messages; the image is then untouched.
int ConvertSRecordToImage(std::string_view text, const std::string& upperExt,
                          std::uint8_t* image, IMessageSink& messages);
