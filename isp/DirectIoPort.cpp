#include "isp/DirectIoPort.h"

#include <cerrno>

#if defined(__has_include)
#if __has_include(<sys/io.h>) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>
#define TL_HAVE_PORT_IO 1
#endif
#endif

#ifdef TL_HAVE_PORT_IO

namespace {
constexpr unsigned long kPortCount = 3;  // data, status, control
}

std::unique_ptr<CDirectIoPort> CDirectIoPort::Open(std::uint16_t base, int* error)
{
    if (::ioperm(base, kPortCount, 1) != 0) {
        *error = errno;
        return nullptr;
    }
    *error = 0;
    return std::unique_ptr<CDirectIoPort>(new CDirectIoPort(base));
}

CDirectIoPort::~CDirectIoPort()
{
    ::ioperm(m_wBase, kPortCount, 0);
}

std::uint8_t CDirectIoPort::Read(int offset)
{
    return ::inb(static_cast<unsigned short>(m_wBase + offset));
}

void CDirectIoPort::Write(int offset, std::uint8_t value)
{
    if (offset == kStatus)
        return;
    ::outb(value, static_cast<unsigned short>(m_wBase + offset));
}

#else

std::unique_ptr<CDirectIoPort> CDirectIoPort::Open(std::uint16_t, int* error)
{
    *error = ENOSYS;
    return nullptr;
}

CDirectIoPort::~CDirectIoPort() = default;

std::uint8_t CDirectIoPort::Read(int)
{
    return 0xFF;
}

void CDirectIoPort::Write(int, std::uint8_t) {}

#endif
