#include <charconv>
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "platform/AppGlobals.h"
#include "programmer/DeviceCatalogue.h"

namespace {

// A catalogue may come from anywhere: a control character in a name would
// break the one-record-per-line, TAB-separated output (or drive the
// terminal), so it is shown as '?'.
std::string PrintableName(const std::string& name)
{
    std::string out = name;
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '?';
    }
    return out;
}

// Two decimals with a '.', whatever the locale.
std::string FormatVoltage(float volts)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, volts, std::chars_format::fixed, 2);
    if (result.ec != std::errc())
        return "?";
    return std::string(text, result.ptr);
}

std::string FormatRecord(std::size_t index, const DeviceRecord& record)
{
    char signature[16];
    std::snprintf(signature, sizeof signature, "%02x %02x %02x", record.signature[0],
                  record.signature[1], record.signature[2]);
    std::string line = std::to_string(index);
    line += '\t';
    line += PrintableName(record.name);
    line += '\t';
    line += std::to_string(record.deviceCode);
    line += '\t';
    line += std::to_string(record.romSizeKB);
    line += '\t';
    line += FormatVoltage(record.programVoltage);
    line += '\t';
    line += signature;
    line += '\n';
    return line;
}

}  // namespace

int RunDevices(const std::string& cataloguePath)
{
    const std::string path = cataloguePath.empty() ? CataloguePath() : cataloguePath;
    const auto devices = ReadCatalogueFile(path);
    if (!devices) {
        std::fprintf(stderr, "tamberlink-cli: cannot read the device catalogue %s\n", path.c_str());
        return kExitUsage;
    }
    std::string text;
    for (std::size_t i = 0; i < devices->size(); ++i)
        text += FormatRecord(i, (*devices)[i]);
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "tamberlink-cli: cannot write the device list\n");
        return kExitFailure;
    }
    return kExitSuccess;
}
