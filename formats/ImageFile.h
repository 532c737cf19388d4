#pragma once

#include <cstdint>
#include <string>

class IMessageSink;

// The text after the last '.' of path, upper-cased ("" when there is none).
std::string UpperExtension(const std::string& path);

// Loads path into buffer (kImageBufferSize bytes) as the Load file command
// does: extension "HEX" goes through the HEX converter (buffer not pre-filled
// here), anything else is a raw image: buffer filled with 0xFF, then at most
// kImageBufferSize bytes read from address 0.
// Returns -1 when the file cannot be opened or read, else the byte count the
// log reports (the file size for HEX, the bytes loaded for binary).
// hexResult, when given, receives the converter's result (0 for binary).
constexpr int kImageBufferSize = 0x20000;
long LoadImageToBuffer(const std::string& path, const std::string& upperExt,
                       std::uint8_t* buffer, IMessageSink& messages,
                       int* hexResult = nullptr);
