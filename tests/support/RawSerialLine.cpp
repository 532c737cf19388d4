#include "tests/support/RawSerialLine.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

CRawSerialLine::~CRawSerialLine()
{
    Close();
}

bool CRawSerialLine::Open(const std::string& path)
{
    Close();
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    termios tio {};
    if (::tcgetattr(m_fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }
    ::tcflush(m_fd, TCIOFLUSH);
    return true;
}

void CRawSerialLine::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool CRawSerialLine::Write(const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

CRawSerialLine::Bytes CRawSerialLine::Read(std::size_t n, std::chrono::milliseconds silence)
{
    Bytes bytes;
    std::uint8_t buffer[256];
    while (bytes.size() < n) {
        pollfd p {m_fd, POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(silence.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || !(p.revents & POLLIN))
            break;
        std::size_t want = std::min(n - bytes.size(), sizeof buffer);
        ssize_t got = ::read(m_fd, buffer, want);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

CRawSerialLine::Bytes CRawSerialLine::Drain(std::chrono::milliseconds silence)
{
    return Read(static_cast<std::size_t>(-1), silence);
}

bool CRawSerialLine::WaitForHangUp(std::chrono::milliseconds guard)
{
    std::uint8_t buffer[64];
    for (;;) {
        pollfd p {m_fd, POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(guard.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        if (p.revents & (POLLHUP | POLLERR))
            return true;
        ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
    }
}
