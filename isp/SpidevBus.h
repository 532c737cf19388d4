#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "isp/SpiBus.h"
#include "isp/SpiWiring.h"

// An SPI device through the kernel's spidev driver (/dev/spidevB.C). A thin
// wrapper: what is sent and when is decided by the SPI lines above it.
class CSpidevBus : public ISpiBus {
public:
    // Opens the wiring's device and sets it up: SPI mode 0 (which also
    // makes it most significant bit first), 8 bits a word and a clock of
    // at most hz. The device keeps whatever its last user set, so every
    // setting is made here. nullptr with the reason in failure when any of
    // that fails.
    static std::unique_ptr<ISpiBus> Open(const SpiWiring& wiring, std::uint32_t hz,
                                         LinesOpenFailure& failure);

    ~CSpidevBus() override;

    CSpidevBus(const CSpidevBus&) = delete;
    CSpidevBus& operator=(const CSpidevBus&) = delete;

    // One SPI_IOC_MESSAGE of one transfer, carrying the clock and word
    // size itself.
    bool Transfer(const std::uint8_t* tx, std::uint8_t* rx, std::size_t size) override;
    std::uint32_t ClockHz() const override { return m_nHz; }
    std::string Error() const override { return m_strError; }
    int ErrorNumber() const override { return m_nError; }

private:
    CSpidevBus(std::string device, std::uint32_t hz) : m_strDevice(std::move(device)), m_nHz(hz) {}

    const std::string m_strDevice;
    const std::uint32_t m_nHz;
    int m_fd = -1;
    std::string m_strError;
    int m_nError = 0;
};
