#pragma once

#include <array>
#include <cstdint>
#include <string>

// The persisted settings block: 56 bytes, little-endian, stored in
// "Tamber_Info.ini", section "InfoSave", key "m_InfoSave" in the profile
// struct encoding (byte-compatible with files written on Windows).
struct SettingsRecord {
    std::int32_t progType = 0;
    std::int32_t comPort = 1;
    std::int32_t baudSel = 0;
    std::int32_t ispSetting = 0;
    std::int32_t autoDetect = 1;
    std::int32_t soundOn = 1;
    std::int32_t hotkeyOn = 1;
    std::int32_t autoLoad = 0;
    std::int32_t autoErase = 0;
    std::int32_t autoWrite = 0;
    std::int32_t autoRead = 0;
    std::int32_t autoVerify = 0;
    std::int32_t deviceIndex = 0;
    std::uint8_t hotkeyKey = 0;
    std::uint8_t hotkeyMods = 0;
    // Bytes 54..55: no setting lives there. Kept as read, so that a block
    // written by another installation is written back byte for byte.
    std::array<std::uint8_t, 2> padding{};

    static constexpr std::size_t kSize = 56;
    static constexpr const char* kFileName = "Tamber_Info.ini";
    static constexpr const char* kSection = "InfoSave";
    static constexpr const char* kKey = "m_InfoSave";

    std::array<std::uint8_t, kSize> ToBytes() const;
    static SettingsRecord FromBytes(const std::array<std::uint8_t, kSize>& bytes);

    // false (record untouched) on a missing file or key, wrong length or bad
    // checksum.
    bool Load(const std::string& iniPath);
    bool Save(const std::string& iniPath) const;

    bool operator==(const SettingsRecord&) const = default;
};
