#include "settings/core/SettingsRecord.h"

#include <algorithm>

#include "platform/ProfileFile.h"

namespace {

void PutInt32(std::array<std::uint8_t, SettingsRecord::kSize>& out, std::size_t offset,
              std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i)
        out[offset + i] = static_cast<std::uint8_t>(u >> (8 * i));
}

std::int32_t GetInt32(const std::array<std::uint8_t, SettingsRecord::kSize>& in,
                      std::size_t offset)
{
    std::uint32_t u = 0;
    for (std::size_t i = 0; i < 4; ++i)
        u |= static_cast<std::uint32_t>(in[offset + i]) << (8 * i);
    return static_cast<std::int32_t>(u);
}

// The int32 fields in stored order, offsets 0, 4, ... 48.
template <typename Record>
auto Int32Fields(Record& r)
{
    return std::array{&r.progType,  &r.comPort,   &r.baudSel,    &r.ispSetting, &r.autoDetect,
                      &r.soundOn,   &r.hotkeyOn,  &r.autoLoad,   &r.autoErase,  &r.autoWrite,
                      &r.autoRead,  &r.autoVerify, &r.deviceIndex};
}

constexpr std::size_t kHotkeyKeyOffset = 52;
constexpr std::size_t kHotkeyModsOffset = 53;
constexpr std::size_t kPaddingOffset = 54;

} // namespace

std::array<std::uint8_t, SettingsRecord::kSize> SettingsRecord::ToBytes() const
{
    std::array<std::uint8_t, kSize> bytes{};
    std::size_t offset = 0;
    for (const std::int32_t* field : Int32Fields(*this)) {
        PutInt32(bytes, offset, *field);
        offset += 4;
    }
    bytes[kHotkeyKeyOffset] = hotkeyKey;
    bytes[kHotkeyModsOffset] = hotkeyMods;
    std::copy(padding.begin(), padding.end(), bytes.begin() + kPaddingOffset);
    return bytes;
}

SettingsRecord SettingsRecord::FromBytes(const std::array<std::uint8_t, kSize>& bytes)
{
    SettingsRecord record;
    std::size_t offset = 0;
    for (std::int32_t* field : Int32Fields(record)) {
        *field = GetInt32(bytes, offset);
        offset += 4;
    }
    record.hotkeyKey = bytes[kHotkeyKeyOffset];
    record.hotkeyMods = bytes[kHotkeyModsOffset];
    std::copy_n(bytes.begin() + kPaddingOffset, record.padding.size(), record.padding.begin());
    return record;
}

bool SettingsRecord::Load(const std::string& iniPath)
{
    std::array<std::uint8_t, kSize> bytes{};
    if (!CProfileFile(iniPath).GetStruct(kSection, kKey, bytes.data(), bytes.size()))
        return false;
    *this = FromBytes(bytes);
    return true;
}

bool SettingsRecord::Save(const std::string& iniPath) const
{
    const std::array<std::uint8_t, kSize> bytes = ToBytes();
    return CProfileFile(iniPath).WriteStruct(kSection, kKey, bytes.data(), bytes.size());
}
