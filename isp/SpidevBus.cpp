#include "isp/SpidevBus.h"

#include <fcntl.h>
#include <linux/spi/spidev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::unique_ptr<ISpiBus> CSpidevBus::Open(const SpiWiring& wiring, std::uint32_t hz,
                                          LinesOpenFailure& failure)
{
    std::unique_ptr<CSpidevBus> bus(new CSpidevBus(wiring.m_strDevice, hz));
    bus->m_fd = ::open(wiring.m_strDevice.c_str(), O_RDWR | O_CLOEXEC);
    if (bus->m_fd < 0) {
        failure = wiring.Failure(errno, "open");
        return nullptr;
    }
    // Mode 0 clears every other mode bit too, least-significant-bit-first
    // among them.
    std::uint8_t mode = SPI_MODE_0;
    std::uint8_t bits = 8;
    std::uint32_t speed = hz;
    const struct {
        unsigned long request;
        void* value;
        std::string step;
    } steps[] = {
        {SPI_IOC_WR_MODE, &mode, "SPI mode 0"},
        {SPI_IOC_WR_BITS_PER_WORD, &bits, "8 bits per word"},
        {SPI_IOC_WR_MAX_SPEED_HZ, &speed, "a clock of " + std::to_string(hz) + " Hz"},
    };
    for (const auto& step : steps)
        if (::ioctl(bus->m_fd, step.request, step.value) < 0) {
            failure = wiring.Failure(errno, step.step);
            return nullptr;
        }
    return bus;
}

CSpidevBus::~CSpidevBus()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CSpidevBus::Transfer(const std::uint8_t* tx, std::uint8_t* rx, std::size_t size)
{
    spi_ioc_transfer transfer;
    std::memset(&transfer, 0, sizeof transfer);
    transfer.tx_buf = reinterpret_cast<std::uintptr_t>(tx);
    transfer.rx_buf = reinterpret_cast<std::uintptr_t>(rx);
    transfer.len = std::uint32_t(size);
    transfer.speed_hz = m_nHz;
    transfer.bits_per_word = 8;
    const int done = ::ioctl(m_fd, SPI_IOC_MESSAGE(1), &transfer);
    if (done == int(size))
        return true;
    // A short transfer is as wrong as a failed one: its missing bytes would
    // be made up.
    m_nError = done < 0 ? errno : EIO;
    m_strError = m_strDevice + ": SPI transfer of " + std::to_string(size)
        + " bytes: " + std::strerror(m_nError);
    return false;
}
