#include "programmer/DeviceCatalogue.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/TextCodec.h"

namespace {

// Field offsets inside one 36-byte record.
constexpr std::size_t kOffCode = 20;
constexpr std::size_t kOffRomSize = 24;
constexpr std::size_t kOffVoltage = 28;
constexpr std::size_t kOffSignature = 32;
constexpr std::size_t kOffCount = 4;

// Our writer leaves room for the terminating NUL inside the name field.
constexpr std::size_t kMaxWrittenName = kDeviceNameSize - 1;

// Byte by byte: the data may sit at any alignment and the host order does
// not matter.
std::uint32_t GetU32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
        | std::uint32_t(p[3]) << 24;
}

void PutU32(std::uint8_t* p, std::uint32_t value)
{
    p[0] = std::uint8_t(value);
    p[1] = std::uint8_t(value >> 8);
    p[2] = std::uint8_t(value >> 16);
    p[3] = std::uint8_t(value >> 24);
}

DeviceRecord ParseRecord(const std::uint8_t* p)
{
    DeviceRecord record;
    // A name that fills its field without a NUL ends at the field's end.
    const void* nul = std::memchr(p, 0, kDeviceNameSize);
    const std::size_t nameLength =
        nul ? std::size_t(static_cast<const std::uint8_t*>(nul) - p) : kDeviceNameSize;
    // Always GBK: short GBK names ("芯片" D0 BE C6 AC) are also valid UTF-8,
    // so guessing would show them garbled.
    record.name = GbkToUtf8(std::string_view(reinterpret_cast<const char*>(p), nameLength));
    record.deviceCode = p[kOffCode];
    record.romSizeKB = static_cast<std::int32_t>(GetU32(p + kOffRomSize));
    const std::uint32_t voltageBits = GetU32(p + kOffVoltage);
    static_assert(sizeof(float) == sizeof(voltageBits));
    std::memcpy(&record.programVoltage, &voltageBits, sizeof(float));
    for (std::size_t i = 0; i < record.signature.size(); ++i)
        record.signature[i] = p[kOffSignature + i];
    return record;
}

// Longest prefix of a GBK name of at most limit bytes that does not split a
// two-byte character (lead byte 0x81..0xFE).
std::size_t GbkPrefix(const std::string& name, std::size_t limit)
{
    std::size_t end = 0;
    while (end < name.size()) {
        const auto lead = static_cast<unsigned char>(name[end]);
        const std::size_t length = lead >= 0x81 && lead <= 0xFE ? 2 : 1;
        if (end + length > limit)
            break;
        end += length;
    }
    return std::min(end, name.size());
}

// Closes the descriptor on every path out.
class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;

    int Get() const { return m_fd; }
    // Closes now so that a failing close can be seen.
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

}  // namespace

std::vector<DeviceRecord> ParseCatalogue(std::span<const std::uint8_t> bytes)
{
    std::vector<DeviceRecord> records;
    if (bytes.size() < kCatalogueHeaderSize)
        return records;
    const auto count = static_cast<std::int32_t>(GetU32(bytes.data() + kOffCount));
    if (count <= 0)
        return records;
    // Never trust the count beyond the records the data really holds.
    const std::size_t present = (bytes.size() - kCatalogueHeaderSize) / kDeviceRecordSize;
    const std::size_t n = std::min(std::size_t(count), present);
    records.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        records.push_back(ParseRecord(bytes.data() + kCatalogueHeaderSize + i * kDeviceRecordSize));
    return records;
}

std::optional<std::vector<DeviceRecord>> ReadCatalogueFile(const std::string& path)
{
    CFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || S_ISDIR(info.st_mode))
        return std::nullopt;

    std::vector<std::uint8_t> bytes;
    if (S_ISREG(info.st_mode) && info.st_size > 0)
        bytes.reserve(std::size_t(info.st_size));
    std::uint8_t chunk[8192];
    for (;;) {
        const ssize_t got = ::read(file.Get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return ParseCatalogue(bytes);
}

int FindStoredDevice(const std::vector<DeviceRecord>& devices, int index, const std::string& name)
{
    if (name.empty())
        return index;
    if (index >= 0 && std::size_t(index) < devices.size() && devices[std::size_t(index)].name == name)
        return index;
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [&](const DeviceRecord& record) { return record.name == name; });
    return found == devices.end() ? index : int(found - devices.begin());
}

std::vector<std::uint8_t> SerializeCatalogue(const std::vector<DeviceRecord>& records)
{
    std::vector<std::uint8_t> bytes(kCatalogueHeaderSize + records.size() * kDeviceRecordSize, 0);
    PutU32(bytes.data() + kOffCount, static_cast<std::uint32_t>(records.size()));
    for (std::size_t i = 0; i < records.size(); ++i) {
        const DeviceRecord& record = records[i];
        std::uint8_t* p = bytes.data() + kCatalogueHeaderSize + i * kDeviceRecordSize;
        const std::string name = Utf8ToGbk(record.name);
        std::memcpy(p, name.data(), GbkPrefix(name, kMaxWrittenName));
        p[kOffCode] = record.deviceCode;
        PutU32(p + kOffRomSize, static_cast<std::uint32_t>(record.romSizeKB));
        std::uint32_t voltageBits = 0;
        std::memcpy(&voltageBits, &record.programVoltage, sizeof voltageBits);
        PutU32(p + kOffVoltage, voltageBits);
        for (std::size_t s = 0; s < record.signature.size(); ++s)
            p[kOffSignature + s] = record.signature[s];
    }
    return bytes;
}

bool WriteCatalogueFile(const std::string& path, const std::vector<DeviceRecord>& records)
{
    const std::vector<std::uint8_t> bytes = SerializeCatalogue(records);

    // A reader never sees a half-written catalogue: write a sibling file,
    // then rename it over the target.
    std::string temp = path + ".XXXXXX";
    CFileDescriptor file(::mkstemp(temp.data()));
    if (file.Get() < 0)
        return false;
    // mkstemp makes the file private; give it the mode of the file it
    // replaces, or the usual one for a data file.
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    const bool written = WriteAll(file.Get(), bytes.data(), bytes.size())
        && ::fchmod(file.Get(), mode) == 0 && ::fsync(file.Get()) == 0;
    if (!file.Close() || !written || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}
