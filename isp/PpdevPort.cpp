#include "isp/PpdevPort.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

std::unique_ptr<CPpdevPort> CPpdevPort::Open(const std::string& devicePath, int* error)
{
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return nullptr;
    }
    if (::ioctl(fd, PPCLAIM) != 0) {
        *error = errno;
        ::close(fd);
        return nullptr;
    }
    *error = 0;
    return std::unique_ptr<CPpdevPort>(new CPpdevPort(fd));
}

CPpdevPort::~CPpdevPort()
{
    ::ioctl(m_fd, PPRELEASE);
    ::close(m_fd);
}

// Single register accesses are not checked: a claimed port does not fail
// them, and the pin layer has no way to report a failure anyway.
std::uint8_t CPpdevPort::Read(int offset)
{
    unsigned char value = 0xFF;
    switch (offset) {
    case kData:
        ::ioctl(m_fd, PPRDATA, &value);
        break;
    case kStatus:
        ::ioctl(m_fd, PPRSTATUS, &value);
        break;
    case kControl:
        ::ioctl(m_fd, PPRCONTROL, &value);
        break;
    default:
        break;
    }
    return value;
}

void CPpdevPort::Write(int offset, std::uint8_t value)
{
    unsigned char byte = value;
    switch (offset) {
    case kData:
        ::ioctl(m_fd, PPWDATA, &byte);
        break;
    case kControl:
        ::ioctl(m_fd, PPWCONTROL, &byte);
        break;
    default:
        break;  // the status register is read only
    }
}
