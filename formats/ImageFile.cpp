#include "formats/ImageFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "formats/IntelHex.h"
#include "formats/IntelHexWriter.h"
#include "formats/SRecord.h"
#include "platform/Sha256.h"

namespace {

constexpr std::size_t kStreamedTextLimit = std::size_t{64} << 20;

// Closes the descriptor on every way out.
class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor()
    {
        // Keep the errno of the failure that led here for the caller.
        const int saved = errno;
        if (m_fd >= 0)
            ::close(m_fd);
        errno = saved;
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// A file's bytes in a block with one spare byte after them. The block is
// left uninitialised: zero-filling it would only touch every page twice.
struct FileBlock {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
};

// Reads at most limit bytes from fd. The size of a regular file sizes the
// block; pipes and device files, whose size reads as 0, grow it as they
// deliver. Returns false on a read error.
bool ReadUpTo(int fd, std::size_t limit, std::size_t sizeHint, FileBlock& block)
{
    std::size_t capacity = std::min(limit, std::max<std::size_t>(sizeHint, 4096));
    block.bytes = std::make_unique_for_overwrite<char[]>(capacity + 1);
    std::size_t have = 0;
    while (have < limit) {
        if (have == capacity) {
            const std::size_t grown = std::min(limit, capacity * 2);
            auto bigger = std::make_unique_for_overwrite<char[]>(grown + 1);
            std::memcpy(bigger.get(), block.bytes.get(), have);
            block.bytes = std::move(bigger);
            capacity = grown;
        }
        const ssize_t got = ::read(fd, block.bytes.get() + have, capacity - have);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            break;
        have += static_cast<std::size_t>(got);
        // A regular file read up to its known size is done; the extra read
        // that would only confirm the end is saved.
        if (sizeHint > 0 && have == sizeHint)
            break;
    }
    block.size = have;
    return true;
}

// Intel HEX through the converter type: its text ends at the NUL after it.
int ConvertHexText(std::string_view text, const std::string&, std::uint8_t* image,
                   IMessageSink& messages)
{
    return ConvertHexToImage(text.data(), image, messages);
}

// The image a converter made from text, copied into buffer on success only.
void ConvertInto(const TextImageConverter convert, const FileBlock& text,
                 const std::string& upperExt, std::uint8_t* buffer, IMessageSink& messages,
                 ImageLoad& load)
{
    // Starts as a copy: a converter leaves the bytes it does not reach as
    // they were.
    auto scratch = std::make_unique_for_overwrite<std::uint8_t[]>(kImageBufferSize);
    std::memcpy(scratch.get(), buffer, kImageBufferSize);
    load.converted = convert(std::string_view(text.bytes.get(), text.size), upperExt,
                             scratch.get(), messages);
    load.count = static_cast<long>(text.size);
    if (load.converted < 0) {
        load.outcome = ImageLoad::Outcome::ConversionFailed;
        return;
    }
    std::memcpy(buffer, scratch.get(), kImageBufferSize);
    load.outcome = ImageLoad::Outcome::Loaded;
}

// false with errno set when the file could not be read.
bool LoadOpened(int fd, const std::string& upperExt, std::uint8_t* buffer,
                IMessageSink& messages, ImageLoad& load)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return false;
    if (S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return false;
    }
    const std::size_t sizeHint =
        S_ISREG(info.st_mode) && info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;

    FileBlock data;
    if (const TextImageConverter convert = TextConverterFor(upperExt)) {
        // A pipe or device has no size to go by; one that never ends would
        // otherwise fill the memory. No real image text comes near the cap.
        const std::size_t limit =
            sizeHint > 0 ? static_cast<std::size_t>(LONG_MAX) : kStreamedTextLimit;
        if (!ReadUpTo(fd, limit, sizeHint, data))
            return false;
        if (sizeHint == 0 && data.size == limit) {
            errno = EFBIG;
            return false;
        }
        // Some converters read the text up to its first NUL.
        data.bytes[data.size] = '\0';
        ConvertInto(convert, data, upperExt, buffer, messages, load);
        if (load.Loaded())
            load.sha256 = CSha256::Hex(std::string_view(data.bytes.get(), data.size));
        return true;
    }

    // Only the first kImageBufferSize bytes of a larger file are wanted.
    const std::size_t limit = kImageBufferSize;
    if (!ReadUpTo(fd, limit, std::min(sizeHint, limit), data))
        return false;
    // Read first, then touch the buffer: a failed read leaves it as it was.
    std::memset(buffer, 0xFF, kImageBufferSize);
    std::memcpy(buffer, data.bytes.get(), data.size);
    load.count = static_cast<long>(data.size);
    load.outcome = ImageLoad::Outcome::Loaded;
    load.sha256 = CSha256::Hex(std::string_view(data.bytes.get(), data.size));
    return true;
}

}  // namespace

std::string UpperExtension(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return ext;
}

ImageFormat LoadFormatFor(const std::string& upperExt)
{
    if (upperExt == "HEX" || upperExt == "IHX" || upperExt == "IHEX")
        return ImageFormat::IntelHex;
    if (upperExt == "S19" || upperExt == "S28" || upperExt == "S37" || upperExt == "SREC"
        || upperExt == "MOT")
        return ImageFormat::SRecord;
    return ImageFormat::Binary;
}

ImageFormat SaveFormatFor(const std::string& upperExt)
{
    return LoadFormatFor(upperExt) == ImageFormat::IntelHex ? ImageFormat::IntelHex
                                                            : ImageFormat::Binary;
}

std::string ImageFileContents(ImageFormat format, const std::uint8_t* image, std::size_t length)
{
    if (format == ImageFormat::IntelHex)
        return ImageToIntelHex(image, length);
    return std::string(reinterpret_cast<const char*>(image), length);
}

TextImageConverter TextConverterFor(const std::string& upperExt)
{
    switch (LoadFormatFor(upperExt)) {
    case ImageFormat::IntelHex:
        return &ConvertHexText;
    case ImageFormat::SRecord:
        return &ConvertSRecordToImage;
    case ImageFormat::Binary:
        break;
    }
    return nullptr;
}

ImageLoad LoadImageToBuffer(const std::string& path, const std::string& upperExt,
                            std::uint8_t* buffer, IMessageSink& messages)
{
    ImageLoad load;
    const CFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    bool read = file.Get() >= 0;
    if (read) {
        try {
            read = LoadOpened(file.Get(), upperExt, buffer, messages, load);
        } catch (const std::bad_alloc&) {
            // A text too large to hold (or an endless device under a text
            // format's name) counts as unreadable; the buffer is not touched
            // before the text is whole.
            errno = ENOMEM;
            read = false;
        }
    }
    if (!read) {
        load = ImageLoad{};
        load.error = errno != 0 ? errno : EIO;
    }
    return load;
}
