#pragma once

#include <memory>
#include <string>

#include "isp/PortRegisters.h"

// The port's registers through the kernel's ppdev driver: the device is
// opened and claimed for the object's lifetime, released when it goes.
class CPpdevPort : public IPortRegisters {
public:
    // nullptr on failure, with the errno value in *error.
    static std::unique_ptr<CPpdevPort> Open(const std::string& devicePath, int* error);
    ~CPpdevPort() override;

    CPpdevPort(const CPpdevPort&) = delete;
    CPpdevPort& operator=(const CPpdevPort&) = delete;

    std::uint8_t Read(int offset) override;
    void Write(int offset, std::uint8_t value) override;

private:
    explicit CPpdevPort(int fd) : m_fd(fd) {}

    int m_fd;
};
