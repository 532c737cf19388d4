#include "sim/PseudoTerminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

speed_t SpeedFor(int baud)
{
    switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return B115200;
    }
}

bool Fail(std::string* error, const char* call)
{
    if (error)
        *error = std::string(call) + " failed: " + std::strerror(errno);
    return false;
}

} // namespace

bool CPseudoTerminal::Open(int baud, std::string* error)
{
    Close();

    CUniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.IsValid())
        return Fail(error, "posix_openpt()");
    if (::grantpt(master.Get()) != 0)
        return Fail(error, "grantpt()");
    if (::unlockpt(master.Get()) != 0)
        return Fail(error, "unlockpt()");
    char name[128];
    if (::ptsname_r(master.Get(), name, sizeof name) != 0)
        return Fail(error, "ptsname_r()");

    CUniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave.IsValid())
        return Fail(error, "open() of the slave");

    termios tio {};
    if (::tcgetattr(slave.Get(), &tio) != 0)
        return Fail(error, "tcgetattr()");
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetspeed(&tio, SpeedFor(baud));
    if (::tcsetattr(slave.Get(), TCSANOW, &tio) != 0)
        return Fail(error, "tcsetattr()");

    int flags = ::fcntl(master.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(master.Get(), F_SETFL, flags | O_NONBLOCK) != 0)
        return Fail(error, "fcntl(O_NONBLOCK)");

    CUniqueFd watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!watch.IsValid())
        return Fail(error, "inotify_init1()");
    if (::inotify_add_watch(watch.Get(), name, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0)
        return Fail(error, "inotify_add_watch()");

    m_master = std::move(master);
    m_slave = std::move(slave);
    m_watch = std::move(watch);
    m_strSlavePath = name;
    return true;
}

void CPseudoTerminal::Close()
{
    m_watch.Reset();
    m_master.Reset();
    m_slave.Reset();
}

int CPseudoTerminal::PendingForHost() const
{
    int pending = 0;
    if (!m_slave.IsValid() || ::ioctl(m_slave.Get(), TIOCINQ, &pending) != 0)
        return 0;
    return pending;
}

void CPseudoTerminal::OnHostClosed()
{
    alignas(inotify_event) char events[4096];
    bool closed = false;
    while (::read(m_watch.Get(), events, sizeof events) > 0)
        closed = true;
    if (closed && m_slave.IsValid())
        ::ioctl(m_slave.Get(), TIOCNXCL);
}
