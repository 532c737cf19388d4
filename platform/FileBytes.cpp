#include "platform/FileBytes.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Owns one open file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    // Closes now, so that a failing close (delayed write errors) is seen.
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

// Removes the temporary file unless it was renamed into place.
class TemporaryFileGuard {
public:
    explicit TemporaryFileGuard(std::string path) : m_path(std::move(path)) {}
    ~TemporaryFileGuard()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    TemporaryFileGuard(const TemporaryFileGuard&) = delete;
    TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;

    void Release() { m_path.clear(); }

private:
    std::string m_path;
};

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::atomic<unsigned> g_tempCounter{0};

} // namespace

std::optional<std::string> ReadFileBytes(const std::string& path)
{
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid())
        return std::nullopt;
    std::string bytes;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes)
{
    namespace fs = std::filesystem;
    if (path.empty())
        return false;

    // Renaming onto a link would replace the link itself; write its target.
    fs::path target = path;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        target = fs::weakly_canonical(target, ec);
        if (ec)
            return false;
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");

    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;

    // A hidden name in the same folder, so rename() stays on one file system.
    std::string tempPath;
    int rawFd = -1;
    for (int attempt = 0; attempt < 100 && rawFd < 0; ++attempt) {
        // Appended piece by piece: "." + a temporary string makes GCC 12 warn
        // (-Wrestrict) about the insert at its front that it inlines.
        std::string name = ".";
        name += target.filename().string();
        name += '.';
        name += std::to_string(::getpid());
        name += '.';
        name += std::to_string(g_tempCounter++);
        name += ".tmp";
        tempPath = (folder / name).string();
        rawFd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (rawFd < 0 && errno != EEXIST)
            return false;
    }
    if (rawFd < 0)
        return false;
    FileDescriptor fd(rawFd);
    TemporaryFileGuard guard(tempPath);

    if (!WriteAll(fd.Get(), bytes))
        return false;
    if (existed && ::fchmod(fd.Get(), old.st_mode & 07777) != 0)
        return false;
    if (::fsync(fd.Get()) != 0 || !fd.Close())
        return false;
    if (::rename(tempPath.c_str(), target.c_str()) != 0)
        return false;
    guard.Release();

    // Make the rename itself durable; the new contents are in place already,
    // so a failure here is not reported.
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid())
        ::fsync(dir.Get());
    return true;
}
