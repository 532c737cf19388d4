#include "FakeSpidev.h"

#include <fcntl.h>
#include <linux/spi/spidev.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <memory>

namespace {

std::unique_ptr<CFakeSpidev> g_fake = std::make_unique<CFakeSpidev>();

int Fail(int error)
{
    errno = error;
    return -1;
}

}  // namespace

CFakeSpidev& CFakeSpidev::Get()
{
    return *g_fake;
}

void CFakeSpidev::Reset()
{
    g_fake = std::make_unique<CFakeSpidev>();
}

int CFakeSpidev::Open(const char* file, int flags)
{
    if (openError)
        return Fail(openError);
    ++opens;
    openFlags = flags;
    m_bOpen = true;
    (void)file;
    return kFd;
}

int CFakeSpidev::Close(int fd)
{
    if (fd != kFd || !m_bOpen)
        return Fail(EBADF);
    m_bOpen = false;
    ++closes;
    return 0;
}

// spi_setup: refuses mode bits the controller lacks and word sizes other
// than 8; clamps the device's clock to the controller's; changes nothing
// when it refuses.
int CFakeSpidev::Setup(const Settings& wanted)
{
    if (wanted.mode & ~modeBits)
        return Fail(EINVAL);
    if (wanted.bits != 8)
        return Fail(EINVAL);
    device = wanted;
    return 0;
}

int CFakeSpidev::Ioctl(int fd, unsigned long request, void* arg)
{
    if (fd != kFd || !m_bOpen)
        return Fail(EBADF);
    requests.push_back(request);
    if (!isSpidev)
        return Fail(ENOTTY);
    Settings wanted = device;
    switch (request) {
    case SPI_IOC_WR_MODE:
    case SPI_IOC_WR_MODE32:
        // The user's byte replaces every mode bit the user may set.
        wanted.mode = request == SPI_IOC_WR_MODE ? *static_cast<std::uint8_t*>(arg)
                                                 : *static_cast<std::uint32_t*>(arg);
        return Setup(wanted);
    case SPI_IOC_WR_BITS_PER_WORD:
        wanted.bits = *static_cast<std::uint8_t*>(arg);
        if (wanted.bits == 0)
            wanted.bits = 8;
        return Setup(wanted);
    case SPI_IOC_WR_MAX_SPEED_HZ:
        // Kept as asked; each transfer is clamped to the controller.
        if (*static_cast<std::uint32_t*>(arg) == 0)
            return Fail(EINVAL);
        device.hz = *static_cast<std::uint32_t*>(arg);
        return 0;
    default:
        // The read-back requests are left out: the wrapper does not use them.
        return Message(request, arg);
    }
}

int CFakeSpidev::Message(unsigned long request, const void* arg)
{
    if (_IOC_TYPE(request) != SPI_IOC_MAGIC || _IOC_NR(request) != _IOC_NR(SPI_IOC_MESSAGE(0))
        || _IOC_DIR(request) != _IOC_WRITE)
        return Fail(ENOTTY);
    const std::size_t size = _IOC_SIZE(request);
    if (size % sizeof(spi_ioc_transfer) != 0)
        return Fail(EINVAL);
    const auto* transfers = static_cast<const spi_ioc_transfer*>(arg);
    const std::size_t count = size / sizeof(spi_ioc_transfer);
    std::uint32_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        total += transfers[i].len;
        if (total > bufsiz)
            return Fail(EMSGSIZE);
    }
    if (messageError)
        return Fail(messageError);
    for (std::size_t i = 0; i < count; ++i) {
        const spi_ioc_transfer& t = transfers[i];
        Wire w;
        w.settings = device;
        if (t.bits_per_word)
            w.settings.bits = t.bits_per_word;
        if (t.speed_hz)
            w.settings.hz = t.speed_hz;
        if (w.settings.bits != 8)
            return Fail(EINVAL);
        if (maxHz && w.settings.hz > maxHz)
            w.settings.hz = maxHz;
        if (minHz && w.settings.hz < minHz)
            return Fail(EINVAL);
        // No transmit buffer sends zeros; no receive buffer drops what came.
        w.tx.assign(t.len, 0);
        if (t.tx_buf)
            std::memcpy(w.tx.data(), reinterpret_cast<const void*>(std::uintptr_t(t.tx_buf)), t.len);
        std::vector<std::uint8_t> rx(t.len, 0);
        if (target)
            target(w, rx.data());
        if (t.rx_buf)
            std::memcpy(reinterpret_cast<void*>(std::uintptr_t(t.rx_buf)), rx.data(), t.len);
        wire.push_back(std::move(w));
    }
    return int(total);
}

// The C library's calls, as the wrapper makes them; everything that is not
// the fake's goes on to the real ones.
extern "C" {
int __real_open(const char* file, int flags, ...);
int __real_open64(const char* file, int flags, ...);
int __real_ioctl(int fd, unsigned long request, ...);
int __real_close(int fd);
}

namespace {

// The fake's device, or the real call with the mode that came with it.
int OpenOrPass(int (*real)(const char*, int, ...), const char* file, int flags, va_list args)
{
    const unsigned mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, unsigned) : 0;
    if (file && CFakeSpidev::Get().path == file)
        return CFakeSpidev::Get().Open(file, flags);
    return real(file, flags, mode);
}

}  // namespace

extern "C" {

int __wrap_open(const char* file, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int fd = OpenOrPass(&__real_open, file, flags, args);
    va_end(args);
    return fd;
}

int __wrap_open64(const char* file, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int fd = OpenOrPass(&__real_open64, file, flags, args);
    va_end(args);
    return fd;
}

int __wrap_ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (CFakeSpidev::Owns(fd))
        return CFakeSpidev::Get().Ioctl(fd, request, arg);
    return __real_ioctl(fd, request, arg);
}

int __wrap_close(int fd)
{
    if (CFakeSpidev::Owns(fd))
        return CFakeSpidev::Get().Close(fd);
    return __real_close(fd);
}
}
