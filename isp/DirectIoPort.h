#pragma once

#include <cstdint>
#include <memory>

#include "isp/PortRegisters.h"

// The port's registers by the processor's port instructions, with the
// kernel's permission for the three addresses from base (root on x86 only).
// Elsewhere Open always fails with ENOSYS.
class CDirectIoPort : public IPortRegisters {
public:
    // nullptr on failure, with the errno value in *error.
    static std::unique_ptr<CDirectIoPort> Open(std::uint16_t base, int* error);
    ~CDirectIoPort() override;

    CDirectIoPort(const CDirectIoPort&) = delete;
    CDirectIoPort& operator=(const CDirectIoPort&) = delete;

    std::uint8_t Read(int offset) override;
    void Write(int offset, std::uint8_t value) override;

private:
    explicit CDirectIoPort(std::uint16_t base) : m_wBase(base) {}

    [[maybe_unused]] std::uint16_t m_wBase;  // unused where port I/O is missing
};
