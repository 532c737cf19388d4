// Build tool: turns the readable device table into the binary catalogue.
//   chiplist-gen TABLE.tsv OUT.chip
// A malformed row stops the build with its line number: a catalogue with a
// silently dropped or garbled device is worse than none.

#include <charconv>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "programmer/DeviceCatalogue.h"

namespace {

// The writer cuts names to fit the field with its NUL; the table must not
// rely on that.
constexpr std::size_t kMaxNameBytes = kDeviceNameSize - 1;

std::vector<std::string_view> SplitTabs(std::string_view line)
{
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos)
            return fields;
        line.remove_prefix(tab + 1);
    }
}

template <typename T>
T ParseNumber(std::string_view text, const char* what, int base = 10)
{
    T value{};
    std::from_chars_result result;
    if constexpr (std::is_floating_point_v<T>)
        result = std::from_chars(text.data(), text.data() + text.size(), value,
                                 std::chars_format::fixed);
    else
        result = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
        throw std::runtime_error(std::string("bad ") + what + " \"" + std::string(text) + "\"");
    return value;
}

DeviceRecord ParseRow(std::string_view line)
{
    const std::vector<std::string_view> fields = SplitTabs(line);
    if (fields.size() != 5)
        throw std::runtime_error("expected 5 TAB-separated fields, found "
                                 + std::to_string(fields.size()));
    DeviceRecord record;
    record.name = std::string(fields[0]);
    if (record.name.empty() || record.name.size() > kMaxNameBytes)
        throw std::runtime_error("name must be 1 to " + std::to_string(kMaxNameBytes) + " bytes");

    const int code = ParseNumber<int>(fields[1], "device code");
    if (code < 0 || code > 255)
        throw std::runtime_error("device code out of range 0..255");
    record.deviceCode = static_cast<std::uint8_t>(code);

    record.romSizeKB = ParseNumber<std::int32_t>(fields[2], "ROM size");
    if (record.romSizeKB < 0 || record.romSizeKB > 128)
        throw std::runtime_error("ROM size out of range 0..128 KB");

    record.programVoltage = ParseNumber<float>(fields[3], "voltage");
    if (!(record.programVoltage >= 0.0f && record.programVoltage <= 30.0f))
        throw std::runtime_error("voltage out of range 0..30 V");

    std::string_view signature = fields[4];
    for (std::size_t i = 0; i < record.signature.size(); ++i) {
        const std::size_t space = signature.find(' ');
        const std::string_view byte = signature.substr(0, space);
        if (byte.size() != 2)
            throw std::runtime_error("signature must be three two-digit hex bytes");
        record.signature[i] = ParseNumber<std::uint8_t>(byte, "signature byte", 16);
        if ((space == std::string_view::npos) != (i + 1 == record.signature.size()))
            throw std::runtime_error("signature must be three two-digit hex bytes");
        signature.remove_prefix(space == std::string_view::npos ? signature.size() : space + 1);
    }
    return record;
}

bool IsBlankOrComment(std::string_view line)
{
    const std::size_t first = line.find_first_not_of(" \t");
    return first == std::string_view::npos || line[first] == '#';
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: chiplist-gen TABLE.tsv OUT.chip\n", stderr);
        return 2;
    }
    const std::string tablePath = argv[1];
    std::ifstream table(tablePath);
    if (!table) {
        std::fprintf(stderr, "%s: cannot open\n", tablePath.c_str());
        return 1;
    }

    std::vector<DeviceRecord> records;
    std::string line;
    int lineNumber = 0;
    while (std::getline(table, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (IsBlankOrComment(line))
            continue;
        try {
            records.push_back(ParseRow(line));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s:%d: %s\n", tablePath.c_str(), lineNumber, e.what());
            return 1;
        }
    }
    if (table.bad()) {
        std::fprintf(stderr, "%s: read error\n", tablePath.c_str());
        return 1;
    }
    if (records.empty()) {
        std::fprintf(stderr, "%s: no devices\n", tablePath.c_str());
        return 1;
    }
    if (!WriteCatalogueFile(argv[2], records)) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
