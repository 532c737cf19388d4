#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// One catalogue entry as the program uses it. On disk it is 36 bytes:
// name[20] (NUL-terminated within the field), deviceCode at 20, romSizeKB
// (int32) at 24, programVoltage (float) at 28, signature[3] at 32, all
// little-endian; the other bytes are not read.
struct DeviceRecord {
    std::string name;  // UTF-8 here, GBK in the file
    std::uint8_t deviceCode = 0;
    std::int32_t romSizeKB = 0;
    float programVoltage = 0.0f;
    std::array<std::uint8_t, 3> signature{};

    bool operator==(const DeviceRecord&) const = default;
};

constexpr std::size_t kDeviceRecordSize = 36;
constexpr std::size_t kCatalogueHeaderSize = 8;
constexpr std::size_t kDeviceNameSize = 20;
