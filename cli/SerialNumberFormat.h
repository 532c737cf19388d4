#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Where and how a serial number goes into each chip's copy of the image:
// --serial ADDR:START[:STEP[:BYTES[:le|be]]].
struct SerialNumberFormat {
    std::uint32_t address = 0;
    std::uint64_t start = 0;
    std::uint64_t step = 1;
    int bytes = 4;  // 1..8
    bool bigEndian = false;

    // Numbers in decimal or with 0x in hex. nullopt with error set when the
    // text is malformed, STEP is 0, BYTES is outside 1..8 or START does not
    // fit in BYTES.
    static std::optional<SerialNumberFormat> Parse(const std::string& text, std::string& error);

    // The largest number BYTES hold.
    std::uint64_t Largest() const;
    // Writes value at address into image (which holds at least address +
    // bytes bytes), in the chosen byte order.
    void Encode(std::uint64_t value, std::uint8_t* image) const;
};

// A whole number in decimal or with 0x in hex, nothing else around it.
std::optional<std::uint64_t> ParseCount(const std::string& text);
