#include "cli/SerialAllocator.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include "platform/FileBytes.h"

namespace {

std::string StateText(std::uint64_t next)
{
    return std::to_string(next) + "\n";
}

} // namespace

CSerialAllocator::CSerialAllocator(const SerialNumberFormat& format)
    : m_format(format), m_nNext(format.start)
{
}

bool CSerialAllocator::UseStateFile(const std::string& path, std::string& error)
{
    std::lock_guard lock(m_mutex);
    // The file the writes end up in, whatever links lead there: a second
    // run through another name must find the same lock.
    std::error_code canonicalError;
    std::string target = std::filesystem::weakly_canonical(path, canonicalError).string();
    if (canonicalError)
        target = path;
    const std::string lockPath = target + ".lock";
    CUniqueFd fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.IsValid()) {
        error = "cannot open " + lockPath + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? path + " is in use by another run"
                                     : "cannot lock " + lockPath + ": " + std::strerror(errno);
        return false;
    }

    // Each update renames a new file over this name: any other name of the
    // same file (a hard link) would go on holding the old number, and a run
    // through it would hand the same numbers out again.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && info.st_nlink > 1) {
        error = path + " has " + std::to_string(info.st_nlink)
            + " names (hard links): a run through another name would hand out the same "
              "numbers again; keep one name (a symbolic link may point at it)";
        return false;
    }

    if (const std::optional<std::string> text = ReadFileBytes(path)) {
        std::string number = *text;
        while (!number.empty() && (number.back() == '\n' || number.back() == '\r'))
            number.pop_back();
        const std::optional<std::uint64_t> next = ParseCount(number);
        if (!next) {
            error = path + " does not hold a serial number";
            return false;
        }
        m_nNext = *next;
    } else if (errno != ENOENT) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    } else if (!WriteFileAtomically(path, StateText(m_format.start))) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    m_strStatePath = path;
    m_lock = std::move(fd);
    return true;
}

bool CSerialAllocator::CanHandOut(std::uint64_t count, std::string& error) const
{
    std::lock_guard lock(m_mutex);
    if (count == 0)
        return true;
    // The last number given, and the next one the state file then holds,
    // must both be countable; the last must also fit in BYTES.
    const unsigned __int128 last = m_nNext + (unsigned __int128)(count - 1) * m_format.step;
    if (last > m_format.Largest() || last + m_format.step > UINT64_MAX) {
        error = "serial numbers from " + std::to_string(m_nNext) + " in steps of "
            + std::to_string(m_format.step) + " do not fit in " + std::to_string(m_format.bytes)
            + " bytes for " + std::to_string(count) + " chips";
        return false;
    }
    return true;
}

std::uint64_t CSerialAllocator::Next() const
{
    std::lock_guard lock(m_mutex);
    return m_nNext;
}

std::optional<std::uint64_t> CSerialAllocator::Take(std::string& error)
{
    std::lock_guard lock(m_mutex);
    const std::uint64_t number = m_nNext;
    if (number > m_format.Largest() || UINT64_MAX - number < m_format.step) {
        error = "no serial number left that fits in " + std::to_string(m_format.bytes) + " bytes";
        return std::nullopt;
    }
    m_nNext = number + m_format.step;
    if (!m_strStatePath.empty() && !WriteFileAtomically(m_strStatePath, StateText(m_nNext))) {
        // The file may or may not have been replaced: the number stays
        // taken either way, so it can never be given twice.
        error = "cannot update " + m_strStatePath + ": " + std::strerror(errno ? errno : EIO);
        return std::nullopt;
    }
    return number;
}
