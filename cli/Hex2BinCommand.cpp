// tamberlink-cli hex2bin IN OUT and convert IN OUT: load IN as the Load file
// command does and write the image up to its last byte that is not 0xFF,
// hex2bin always as raw bytes, convert in the format OUT's extension names.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/Commands.h"
#include "formats/ImageFile.h"
#include "platform/StderrMessageSink.h"

namespace {

// Passes messages on to stderr and remembers that one was shown, so that a
// failure the converter reports silently still gets a line of its own.
class CCountingStderrSink : public CStderrMessageSink {
public:
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override
    {
        ++m_count;
        CStderrMessageSink::ShowMessage(text, caption, icon);
    }
    int Count() const { return m_count; }

private:
    int m_count = 0;
};

void Complain(const std::string& what, const std::string& path, int error)
{
    std::fprintf(stderr, "tamberlink-cli: %s %s: %s\n", what.c_str(), path.c_str(),
                 std::strerror(error));
}

// The position after the last byte that is not 0xFF; 0 for an erased image.
std::size_t ImageLength(const std::uint8_t* image, std::size_t size)
{
    while (size > 0 && image[size - 1] == 0xFF)
        --size;
    return size;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

// Writes and closes fd; 0 when both worked, else the first error.
int WriteAndClose(int fd, const std::uint8_t* data, std::size_t size)
{
    const int error = WriteAll(fd, data, size) ? 0 : errno;
    if (::close(fd) != 0 && error == 0)
        return errno;
    return error;
}

// Writes straight into a file that must not be replaced: a device, a pipe, or
// a symbolic link whose target cannot be resolved.
bool WriteInPlace(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    const int error = fd < 0 ? errno : WriteAndClose(fd, data, size);
    if (error != 0)
        Complain("cannot write", path, error);
    return error == 0;
}

// Puts the file at temp in place of path; 0 or the error. An existing file is
// swapped with the new one and then removed under the temporary name: ext4
// flushes a file renamed over another to disk at once, which would cost more
// than the whole conversion, and the swap is just as atomic.
int MoveOver(const std::string& temp, const std::string& path, bool replacing)
{
    if (replacing) {
        if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) {
            ::unlink(temp.c_str());
            return 0;
        }
        // File systems without the swap, or path gone meanwhile: plain rename.
    }
    return ::rename(temp.c_str(), path.c_str()) == 0 ? 0 : errno;
}

// Writes a temporary file next to path and renames it over path, so that a
// failure never leaves a partial output behind. keepMode holds the
// permissions of the file being replaced, -1 for a new file.
bool WriteByRename(const std::string& path, const std::uint8_t* data, std::size_t size,
                   int keepMode)
{
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        Complain("cannot write", path, errno);
        return false;
    }
    int error = 0;
    if (keepMode >= 0 && ::fchmod(fd, static_cast<mode_t>(keepMode)) != 0) {
        error = errno;
        ::close(fd);
    } else {
        error = WriteAndClose(fd, data, size);
    }
    if (error == 0)
        error = MoveOver(temp, path, keepMode >= 0);
    if (error != 0) {
        ::unlink(temp.c_str());
        Complain("cannot write", path, error);
    }
    return error == 0;
}

bool WriteOutput(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0)
        return WriteByRename(path, data, size, -1);  // a new file
    if (S_ISLNK(link.st_mode)) {
        // Replace the file the link points at, not the link itself.
        char* target = ::realpath(path.c_str(), nullptr);
        if (!target)
            return WriteInPlace(path, data, size);
        const std::string resolved(target);
        std::free(target);
        return WriteOutput(resolved, data, size);
    }
    if (S_ISDIR(link.st_mode)) {
        Complain("cannot write", path, EISDIR);
        return false;
    }
    // Renaming over /dev/null or a pipe would replace it with a plain file.
    if (!S_ISREG(link.st_mode))
        return WriteInPlace(path, data, size);
    return WriteByRename(path, data, size, static_cast<int>(link.st_mode & 07777));
}

int ConvertFile(const std::string& inPath, const std::string& outPath, ImageFormat outFormat)
{
    std::vector<std::uint8_t> image(kImageBufferSize, 0xFF);
    CCountingStderrSink messages;
    const ImageLoad load = LoadImageToBuffer(inPath, UpperExtension(inPath), image.data(), messages);
    if (load.outcome == ImageLoad::Outcome::Unreadable) {
        Complain("cannot read", inPath, load.error);
        return kExitUsage;
    }
    if (load.outcome == ImageLoad::Outcome::ConversionFailed) {
        if (messages.Count() == 0) {
            std::fprintf(stderr, "tamberlink-cli: %s: hex digits before the first record\n",
                         inPath.c_str());
        }
        return kExitFailure;
    }
    const std::size_t length = ImageLength(image.data(), image.size());
    const std::string contents = ImageFileContents(outFormat, image.data(), length);
    return WriteOutput(outPath, reinterpret_cast<const std::uint8_t*>(contents.data()),
                       contents.size())
        ? kExitSuccess
        : kExitFailure;
}

}  // namespace

int RunHex2Bin(const std::string& inPath, const std::string& outPath)
{
    return ConvertFile(inPath, outPath, ImageFormat::Binary);
}

int RunConvert(const std::string& inPath, const std::string& outPath)
{
    const std::string outExt = UpperExtension(outPath);
    // Written as raw bytes, such a file would not load back as what its name says.
    if (LoadFormatFor(outExt) == ImageFormat::SRecord) {
        std::fprintf(stderr, "tamberlink-cli: %s: S-records cannot be written; name the output "
                     ".bin or .hex\n", outPath.c_str());
        return kExitUsage;
    }
    return ConvertFile(inPath, outPath, SaveFormatFor(outExt));
}
