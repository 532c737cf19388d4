#include "cli/SerialNumberFormat.h"

#include <charconv>
#include <sstream>
#include <vector>

std::optional<std::uint64_t> ParseCount(const std::string& text)
{
    int base = 10;
    std::size_t at = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        at = 2;
    }
    std::uint64_t value = 0;
    const char* first = text.data() + at;
    const char* last = text.data() + text.size();
    // from_chars takes no sign for unsigned types but would take a second
    // "0x" as a 0 followed by junk: the end check catches both.
    const auto [ptr, ec] = std::from_chars(first, last, value, base);
    if (first == last || ec != std::errc() || ptr != last)
        return std::nullopt;
    return value;
}

std::optional<SerialNumberFormat> SerialNumberFormat::Parse(const std::string& text,
                                                        std::string& error)
{
    std::vector<std::string> fields;
    std::stringstream stream(text);
    for (std::string field; std::getline(stream, field, ':');)
        fields.push_back(field);
    if (!text.empty() && text.back() == ':')
        fields.push_back({});
    if (fields.size() < 2 || fields.size() > 5) {
        error = "--serial must be ADDR:START[:STEP[:BYTES[:le|be]]]";
        return std::nullopt;
    }

    SerialNumberFormat format;
    const char* names[] = {"ADDR", "START", "STEP", "BYTES"};
    std::uint64_t numbers[4] = {0, 0, format.step, std::uint64_t(format.bytes)};
    for (std::size_t i = 0; i < 4 && i < fields.size(); ++i) {
        const std::optional<std::uint64_t> value = ParseCount(fields[i]);
        if (!value) {
            error = std::string("--serial: ") + names[i] + " '" + fields[i]
                + "' is not a number (decimal, or hex with 0x)";
            return std::nullopt;
        }
        numbers[i] = *value;
    }
    if (numbers[0] > UINT32_MAX) {
        error = "--serial: ADDR " + fields[0] + " is outside any device";
        return std::nullopt;
    }
    if (numbers[2] == 0) {
        error = "--serial: STEP must be at least 1, or numbers would repeat";
        return std::nullopt;
    }
    if (numbers[3] < 1 || numbers[3] > 8) {
        error = "--serial: BYTES must be 1 to 8";
        return std::nullopt;
    }
    if (fields.size() == 5) {
        if (fields[4] != "le" && fields[4] != "be") {
            error = "--serial: the byte order must be le or be";
            return std::nullopt;
        }
        format.bigEndian = fields[4] == "be";
    }
    format.address = std::uint32_t(numbers[0]);
    format.start = numbers[1];
    format.step = numbers[2];
    format.bytes = int(numbers[3]);
    if (format.start > format.Largest()) {
        error = "--serial: START " + fields[1] + " does not fit in " + std::to_string(format.bytes)
            + " bytes";
        return std::nullopt;
    }
    return format;
}

std::uint64_t SerialNumberFormat::Largest() const
{
    return bytes >= 8 ? UINT64_MAX : (std::uint64_t(1) << (8 * bytes)) - 1;
}

void SerialNumberFormat::Encode(std::uint64_t value, std::uint8_t* image) const
{
    for (int i = 0; i < bytes; ++i) {
        const std::uint8_t byte = std::uint8_t(value >> (8 * i));
        image[address + std::uint32_t(bigEndian ? bytes - 1 - i : i)] = byte;
    }
}
