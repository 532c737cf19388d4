#include "sim/SimChip.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace {

constexpr char kStateMagic[] = "TAMBERLINK-SIMCHIP 1";
// A header is a handful of short lines; anything longer is not ours.
constexpr std::size_t kMaxHeaderSize = 256;

void SetError(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
}

bool ParseInt(const std::string& text, int& value)
{
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// Writes all of data to fd, riding out short writes and signals.
bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

CSimChip::CSimChip(SimChipType type, std::size_t flashBytes)
    : m_type(type)
    , m_size(flashBytes != 0 ? flashBytes : type == SimChipType::AT89S51 ? 4096 : 8192)
    , m_memory(m_size, 0xFF)
{
}

std::string CSimChip::Name() const
{
    return m_type == SimChipType::AT89S51 ? "AT89S51" : "AT89S52";
}

std::array<std::uint8_t, 3> CSimChip::Signature() const
{
    if (m_type == SimChipType::AT89S51)
        return {0x1E, 0x51, 0x06};
    return {0x1E, 0x52, 0x06};
}

int CSimChip::LockLevel() const
{
    std::lock_guard lock(m_mutex);
    return m_nLockLevel;
}

void CSimChip::ChipErase()
{
    std::lock_guard lock(m_mutex);
    std::fill(m_memory.begin(), m_memory.end(), 0xFF);
    m_nLockLevel = 0;
}

bool CSimChip::ProgramByte(std::uint32_t address, std::uint8_t value)
{
    std::lock_guard lock(m_mutex);
    if (address >= m_size || m_nLockLevel >= 1)
        return false;
    m_memory[address] &= value;
    return true;
}

std::uint8_t CSimChip::ReadByte(std::uint32_t address) const
{
    std::lock_guard lock(m_mutex);
    if (address >= m_size)
        return 0xFF;
    if (m_nLockLevel >= kVerifyDisabledLevel)
        return Scramble(address, m_memory[address]);
    return m_memory[address];
}

// A locked part hides its contents; the value must differ from the true one
// at every address, or a verify against a locked chip could pass by chance.
std::uint8_t CSimChip::Scramble(std::uint32_t address, std::uint8_t value)
{
    const auto mask = static_cast<std::uint8_t>(0x80 | ((address * 37u + 0x5Bu) & 0x7Fu));
    return static_cast<std::uint8_t>(value ^ mask);
}

bool CSimChip::Lock(int level)
{
    if (level < 1 || level > kMaxLockLevel)
        return false;
    std::lock_guard lock(m_mutex);
    m_nLockLevel = std::max(m_nLockLevel, level);
    return true;
}

std::uint8_t CSimChip::PeekByte(std::uint32_t address) const
{
    std::lock_guard lock(m_mutex);
    return address < m_size ? m_memory[address] : 0xFF;
}

std::vector<std::uint8_t> CSimChip::Contents() const
{
    std::lock_guard lock(m_mutex);
    return m_memory;
}

void CSimChip::SetContents(std::uint32_t address, std::span<const std::uint8_t> bytes)
{
    std::lock_guard lock(m_mutex);
    for (std::size_t i = 0; i < bytes.size() && address + i < m_size; ++i)
        m_memory[address + i] = bytes[i];
}

bool CSimChip::SaveState(const std::string& path, std::string* error) const
{
    std::string data;
    {
        std::lock_guard lock(m_mutex);
        std::ostringstream header;
        header << kStateMagic << '\n'
               << "type " << Name() << '\n'
               << "lock " << m_nLockLevel << '\n'
               << "size " << m_size << "\n\n";
        data = header.str();
        data.append(m_memory.begin(), m_memory.end());
    }

    // The temporary file sits next to the target so the rename stays on one
    // file system and replaces the old state in one step.
    std::string temp = path + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        SetError(error, "cannot create a file next to " + path + ": " + std::strerror(errno));
        return false;
    }
    // mkstemp makes the file private; a state file is ordinary user data.
    ::fchmod(fd, 0644);
    bool ok = WriteAll(fd, data.data(), data.size()) && ::fsync(fd) == 0;
    int savedErrno = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        savedErrno = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        SetError(error, "cannot write " + path + ": " + std::strerror(savedErrno));
    }
    return ok;
}

bool CSimChip::LoadState(const std::string& path, std::string* error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        SetError(error, "cannot open " + path);
        return false;
    }
    std::string data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) {
        SetError(error, "cannot read " + path);
        return false;
    }

    std::size_t headerEnd = data.find("\n\n");
    if (headerEnd == std::string::npos || headerEnd > kMaxHeaderSize) {
        SetError(error, path + " is not a chip state file");
        return false;
    }
    std::istringstream header(data.substr(0, headerEnd));
    std::string line;
    if (!std::getline(header, line) || line != kStateMagic) {
        SetError(error, path + " is not a chip state file");
        return false;
    }

    std::string type;
    int lockLevel = -1;
    int size = -1;
    while (std::getline(header, line)) {
        std::size_t space = line.find(' ');
        std::string key = line.substr(0, space);
        std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (key == "type") {
            type = value;
        } else if (key == "lock") {
            if (!ParseInt(value, lockLevel))
                lockLevel = -1;
        } else if (key == "size") {
            if (!ParseInt(value, size))
                size = -1;
        } else {
            SetError(error, path + ": unknown header line \"" + line + "\"");
            return false;
        }
    }

    if (type != Name()) {
        SetError(error, path + " holds a " + (type.empty() ? std::string("chip of no stated type") : type)
                            + ", not a " + Name());
        return false;
    }
    if (lockLevel < 0 || lockLevel > kMaxLockLevel) {
        SetError(error, path + ": missing or invalid lock level");
        return false;
    }
    if (size != static_cast<int>(m_size) || data.size() - (headerEnd + 2) != m_size) {
        SetError(error, path + ": memory size does not match a " + Name());
        return false;
    }

    std::lock_guard lock(m_mutex);
    std::copy(data.begin() + static_cast<std::ptrdiff_t>(headerEnd + 2), data.end(), m_memory.begin());
    m_nLockLevel = lockLevel;
    return true;
}
