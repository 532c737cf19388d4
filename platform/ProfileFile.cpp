#include "platform/ProfileFile.h"

#include <algorithm>
#include <cstdint>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/FileBytes.h"
#include "platform/HexDigits.h"
#include "platform/IniText.h"

namespace {

// Two hex digits (either case, as Windows accepts) or -1.
int HexByte(char high, char low)
{
    const int h = HexDigit(high);
    const int l = HexDigit(low);
    return (h < 0 || l < 0) ? -1 : h * 16 + l;
}

void AppendHexByte(std::string& out, std::uint8_t byte)
{
    out += kUpperHexDigits[byte >> 4];
    out += kUpperHexDigits[byte & 0x0F];
}

} // namespace

CProfileFile::CProfileFile(std::string path) : m_strPath(std::move(path)) {}

std::string CProfileFile::GetString(const std::string& section, const std::string& key,
                                    const std::string& def) const
{
    std::optional<std::string> bytes = ReadFileBytes(m_strPath);
    if (!bytes)
        return def;
    return CIniText(std::move(*bytes)).Find(section, key).value_or(def);
}

int CProfileFile::GetInt(const std::string& section, const std::string& key, int def) const
{
    const std::string text = GetString(section, key, std::string());
    // An empty value counts as missing, as on Windows.
    if (text.empty())
        return def;

    std::size_t i = 0;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    // Digits beyond 32 bits wrap around, as the Windows call does; unsigned
    // arithmetic keeps that well defined.
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    if (negative)
        value = 0u - value;
    return static_cast<int>(value);
}

bool CProfileFile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value)
{
    // A missing file is started empty; one that exists but cannot be read
    // must not be replaced by a file holding only this key.
    std::string bytes;
    if (std::optional<std::string> old = ReadFileBytes(m_strPath))
        bytes = std::move(*old);
    else if (::access(m_strPath.c_str(), F_OK) == 0)
        return false;

    CIniText text(std::move(bytes));
    if (text.Find(section, key) == value)
        return true; // already there; spare the disk a rewrite
    if (!text.Set(section, key, value))
        return false;
    return WriteFileAtomically(m_strPath, text.Bytes());
}

bool CProfileFile::DeleteKey(const std::string& section, const std::string& key)
{
    std::optional<std::string> bytes = ReadFileBytes(m_strPath);
    if (!bytes)
        return ::access(m_strPath.c_str(), F_OK) != 0; // no file: no key
    CIniText text(std::move(*bytes));
    if (!text.Remove(section, key))
        return true;
    return WriteFileAtomically(m_strPath, text.Bytes());
}

bool CProfileFile::GetStruct(const std::string& section, const std::string& key, void* data,
                             std::size_t size) const
{
    std::optional<std::string> bytes = ReadFileBytes(m_strPath);
    if (!bytes)
        return false;
    const std::optional<std::string> value = CIniText(std::move(*bytes)).Find(section, key);
    return value && DecodeStruct(*value, data, size);
}

bool CProfileFile::WriteStruct(const std::string& section, const std::string& key,
                               const void* data, std::size_t size)
{
    return WriteString(section, key, EncodeStruct(data, size));
}

std::string CProfileFile::EncodeStruct(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::string out;
    out.reserve(size * 2 + 2);
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < size; ++i) {
        AppendHexByte(out, bytes[i]);
        sum = static_cast<std::uint8_t>(sum + bytes[i]);
    }
    AppendHexByte(out, sum);
    return out;
}

bool CProfileFile::DecodeStruct(const std::string& text, void* data, std::size_t size)
{
    if (text.size() != size * 2 + 2)
        return false;
    // Decode into a scratch copy so a bad checksum leaves data untouched.
    std::vector<std::uint8_t> decoded(size);
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const int byte = HexByte(text[2 * i], text[2 * i + 1]);
        if (byte < 0)
            return false;
        decoded[i] = static_cast<std::uint8_t>(byte);
        sum = static_cast<std::uint8_t>(sum + decoded[i]);
    }
    const int checksum = HexByte(text[2 * size], text[2 * size + 1]);
    if (checksum != sum)
        return false;
    std::copy(decoded.begin(), decoded.end(), static_cast<std::uint8_t*>(data));
    return true;
}
