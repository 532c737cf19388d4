#include "programmer/SerialPort.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <utility>
#include <cstdint>
#include <system_error>

#include "platform/AppGlobals.h"
#include "platform/MessageSink.h"
#include "platform/ProfileFile.h"

namespace {

using Clock = CSerialPort::Clock;

// A configuration step that failed: the name users know it by, and errno.
struct StepFailure {
    const char* call = nullptr;
    int err = 0;
};

bool BaudToSpeed(int baud, speed_t& speed)
{
    switch (baud) {
    case 1200: speed = B1200; return true;
    case 2400: speed = B2400; return true;
    case 4800: speed = B4800; return true;
    case 9600: speed = B9600; return true;
    case 19200: speed = B19200; return true;
    case 38400: speed = B38400; return true;
    case 57600: speed = B57600; return true;
    case 115200: speed = B115200; return true;
    case 230400: speed = B230400; return true;
    default: return false;
    }
}

// Whole milliseconds until deadline, rounded up so that a wait never ends
// before it; 0 once it has passed.
int MillisecondsUntil(Clock::time_point deadline)
{
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, INT32_MAX));
}

// The port's timeouts: every byte of a transfer may take 1000 ms, plus 1000
// ms for the whole.
Clock::duration TransferTime(int count)
{
    return std::chrono::milliseconds(std::int64_t(CSerialPort::kTimeoutMs) * count
                                     + CSerialPort::kTimeoutMs);
}

// Errors after which the line will not come back: the device was unplugged
// or the other end of a pseudo-terminal closed.
bool IsLineGone(int err)
{
    return err == EIO || err == ENXIO || err == ENODEV;
}

}  // namespace

CSerialPort::CSerialPort(IMessageSink& messages) : m_messages(messages) {}

CSerialPort::~CSerialPort()
{
    StopMonitor();
    std::lock_guard lock(m_lock);
    CloseLocked();
}

int CSerialPort::Open(int comNumber, const std::string& path, int baud, char parity,
                      int dataBits, int stopBits)
{
    StopMonitor();
    m_nComNumber = comNumber;
    m_nBaud = baud;
    m_cParity = parity;
    m_nDataBits = dataBits;
    m_nStopBits = stopBits;
    {
        std::lock_guard lock(m_nameLock);
        m_strPath = path;
        m_strPortName = comNumber != 0 ? std::to_string(comNumber) : path;
    }

    StepFailure failure;
    {
        std::lock_guard lock(m_lock);
        CloseLocked();

        // Only a terminal can be a serial port. A regular file or a FIFO
        // named by mistake would swallow the frames (or, holding an earlier
        // frame, answer like a board): it is refused before it is opened
        // for writing, and the open descriptor is checked again.
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && !S_ISCHR(info.st_mode)) {
            m_nLastOpenErrno = kErrorNotSerial;
            return 0;
        }
        CUniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!fd.IsValid()) {
            m_nLastOpenErrno = errno;
            return 0;
        }
        termios tio{};
        if (::fstat(fd.Get(), &info) != 0 || !S_ISCHR(info.st_mode)
            || ::tcgetattr(fd.Get(), &tio) != 0) {
            m_nLastOpenErrno = kErrorNotSerial;
            return 0;
        }
        if (m_probeUart && m_probeUart(fd.Get()) == PORT_UNKNOWN) {
            m_nLastOpenErrno = kErrorNoUart;
            return 0;
        }
        // The port is ours alone, as another program holding it would garble
        // the frames: the lock keeps out cooperating programs (and root),
        // exclusive mode keeps out everyone else's open().
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
            m_nLastOpenErrno = (errno == EWOULDBLOCK) ? EBUSY : errno;
            return 0;
        }
        ::ioctl(fd.Get(), TIOCEXCL);
        m_hPort = std::move(fd);
        m_nLastOpenErrno = 0;
        // A line that went down stays down until a port is open again, so
        // that every command until then tries to open it.
        m_bLineDown = false;

        const int port = m_hPort.Get();
        speed_t speed = 0;
        const char parityUpper = char(parity & ~0x20);
        if (!BaudToSpeed(baud, speed) || dataBits < 5 || dataBits > 8
                   || (stopBits != 1 && stopBits != 2)
                   || (parityUpper != 'N' && parityUpper != 'E' && parityUpper != 'O')) {
            failure = {"BuildCommDCB()", EINVAL};
        } else {
            ::cfmakeraw(&tio);
            tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
            tio.c_cflag |= CLOCAL | CREAD;
            tio.c_cflag |= dataBits == 5 ? CS5 : dataBits == 6 ? CS6 : dataBits == 7 ? CS7 : CS8;
            if (stopBits == 2)
                tio.c_cflag |= CSTOPB;
            if (parityUpper != 'N')
                tio.c_cflag |= PARENB | (parityUpper == 'O' ? PARODD : 0);
            tio.c_iflag &= ~(IXON | IXOFF | IXANY);
            // Reads never block in the kernel: the timeouts are our own.
            tio.c_cc[VMIN] = 0;
            tio.c_cc[VTIME] = 0;
            ::cfsetispeed(&tio, speed);
            ::cfsetospeed(&tio, speed);
            if (::tcsetattr(port, TCSANOW, &tio) != 0) {
                failure = {"SetCommState()", errno};
            } else {
                // The board is powered or enabled by RTS. A pseudo-terminal
                // has no modem lines and says so; that is fine.
                int rts = TIOCM_RTS;
                if (::ioctl(port, TIOCMBIS, &rts) != 0 && errno != ENOTTY && errno != EINVAL)
                    failure = {"SetCommState()", errno};
            }
        }
        // Ask the driver to hand over bytes at once instead of batching
        // them: each acknowledgement gates the next block. Drivers that
        // cannot do this still work, only slower.
        serial_struct serial{};
        if (::ioctl(port, TIOCGSERIAL, &serial) == 0) {
            serial.flags |= ASYNC_LOW_LATENCY;
            ::ioctl(port, TIOCSSERIAL, &serial);
        }
        ::tcflush(port, TCIOFLUSH);
    }
    // Shown outside the lock: the sink may wait for the user.
    if (failure.call)
        ShowError(failure.call, failure.err);
    return 1;
}

std::string CSerialPort::LastOpenPath() const
{
    std::lock_guard lock(m_nameLock);
    return m_strPath;
}

int CSerialPort::Reopen()
{
    if (!Open(m_nComNumber, LastOpenPath(), m_nBaud, m_cParity, m_nDataBits, m_nStopBits))
        return 0;
    return StartMonitor();
}

bool CSerialPort::TellsUartType(dev_t device)
{
    // The 8250 driver's ports (/dev/ttyS*: major 4, minors from 64) report
    // the UART they found, 0 for none. USB adapters and ACM modems answer
    // TIOCGSERIAL as well, with type 0 although a UART is there.
    constexpr unsigned kTtyMajor = 4;
    constexpr unsigned kFirstSerialMinor = 64;
    return major(device) == kTtyMajor && minor(device) >= kFirstSerialMinor;
}

int CSerialPort::ProbeUart(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || !TellsUartType(info.st_rdev))
        return -1;
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return -1;
    return serial.type;
}

bool CSerialPort::IsPortOpen() const
{
    std::lock_guard lock(m_lock);
    return m_hPort.IsValid();
}

void CSerialPort::CloseLocked()
{
    if (!m_hPort.IsValid())
        return;
    ::ioctl(m_hPort.Get(), TIOCNXCL);
    m_hPort.Reset();
}

int CSerialPort::StartMonitor()
{
    if (m_pMonitor.joinable())
        return 1;
    if (!IsPortOpen())
        return 0;
    if (!m_hStopEvent.IsValid()) {
        m_hStopEvent.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        if (!m_hStopEvent.IsValid()) {
            ShowError("CreateEvent()", errno);
            return 0;
        }
    }
    std::uint64_t pending = 0;
    while (::read(m_hStopEvent.Get(), &pending, sizeof pending) > 0) {
    }
    m_bStopRequested = false;
    {
        // Old input is dropped here, before any command can be sent, so
        // that the thread never drops an answer to one.
        std::lock_guard lock(m_lock);
        ::tcflush(m_hPort.Get(), TCIFLUSH);
    }
    try {
        m_pMonitor = std::thread(&CSerialPort::MonitorLoop, this);
    } catch (const std::system_error& e) {
        ShowError("CreateThread()", e.code().value());
        return 0;
    }
    return 1;
}

void CSerialPort::StopMonitor()
{
    if (!m_pMonitor.joinable() || m_pMonitor.get_id() == std::this_thread::get_id())
        return;
    m_bStopRequested = true;
    const std::uint64_t one = 1;
    while (::write(m_hStopEvent.Get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
    m_pMonitor.join();
}

bool CSerialPort::StopRequested() const
{
    return m_bStopRequested.load();
}

void CSerialPort::MonitorLoop()
{
    m_bMonitorRunning = 1;
    // One registration for the thread's life: each wait then costs nothing
    // per descriptor, which matters at one wait per block.
    enum : std::uint32_t { kStopTag, kPortTag };
    const CUniqueFd waiter(::epoll_create1(EPOLL_CLOEXEC));
    epoll_event stopEvent{EPOLLIN, {.u32 = kStopTag}};
    epoll_event portEvent{EPOLLIN, {.u32 = kPortTag}};
    if (!waiter.IsValid()
        || ::epoll_ctl(waiter.Get(), EPOLL_CTL_ADD, m_hStopEvent.Get(), &stopEvent) != 0
        || ::epoll_ctl(waiter.Get(), EPOLL_CTL_ADD, m_hPort.Get(), &portEvent) != 0) {
        ShowError("WaitCommEvent()", errno);
        m_bMonitorRunning = 0;
        return;
    }
    // Once the line has failed the port is no longer watched: a hung-up
    // descriptor stays readable for ever and would keep the thread spinning.
    // The protocol notices the missing answers by its own deadlines.
    bool watchPort = true;
    auto stopWatching = [&] {
        if (std::exchange(watchPort, false))
            ::epoll_ctl(waiter.Get(), EPOLL_CTL_DEL, m_hPort.Get(), nullptr);
    };
    Chunk chunk;
    for (;;) {
        const std::optional<Clock::time_point> due = NextDeadline();
        std::optional<Clock::time_point> wake = due;
        if (chunk.have > 0 && (!wake || chunk.endsAt < *wake))
            wake = chunk.endsAt;
        epoll_event events[2];
        const int ready =
            ::epoll_wait(waiter.Get(), events, 2, wake ? MillisecondsUntil(*wake) : -1);
        if (ready < 0 && errno != EINTR) {
            ShowError("WaitCommEvent()", errno);
            break;
        }
        ++m_nWakeups;
        // The stop event wins when both are ready.
        std::uint32_t portEvents = 0;
        bool stop = StopRequested();
        for (int i = 0; i < ready; ++i) {
            if (events[i].data.u32 == kStopTag)
                stop = true;
            else
                portEvents = events[i].events;
        }
        if (stop)
            break;
        if (portEvents & EPOLLIN) {
            if (!ReadInto(chunk))
                stopWatching();
        } else if (portEvents & (EPOLLHUP | EPOLLERR)) {
            ReportLineFault("ReadFile()", EIO);
            stopWatching();
        }
        // A chunk ends when it is full, when no byte came for a while, or at
        // its deadline: what came by then is handed over.
        if (chunk.have > 0 && (chunk.have == chunk.size || Clock::now() >= chunk.endsAt)) {
            const int count = std::exchange(chunk.have, 0);
            OnReceived(m_readBuf.data(), count);
        }
        // An answer that came with the deadline still counts.
        if (due && Clock::now() >= *due && !StopRequested())
            OnDeadline();
        // A USB adapter that is plugged in again gets its old name only once
        // every descriptor of the old one is closed. Only this thread closes
        // the port while it runs, so its wait never sees a reused number.
        if (!watchPort && m_bLineDown) {
            std::lock_guard lock(m_lock);
            CloseLocked();
        }
    }
    m_bMonitorRunning = 0;
}

bool CSerialPort::ReadInto(Chunk& chunk)
{
    int err = 0;
    {
        std::lock_guard lock(m_lock);
        if (!m_hPort.IsValid())
            return false;  // given up on: nothing more to read
        // Input discarded by a write since: so is the part of it read here.
        if (chunk.generation != m_nInputGeneration) {
            chunk.generation = m_nInputGeneration;
            chunk.have = 0;
        }
        if (chunk.have == 0) {
            chunk.size = std::max(1, m_nReadSize.load());
            if (m_readBuf.size() < std::size_t(chunk.size))
                m_readBuf.resize(std::size_t(chunk.size));
            chunk.startedAt = Clock::now();
        }
        // Only what the chunk still lacks: whatever follows is the next one.
        const ssize_t n = ::read(m_hPort.Get(), m_readBuf.data() + chunk.have,
                                 std::size_t(chunk.size - chunk.have));
        if (n > 0) {
            chunk.have += int(n);
            // The port's timeouts: a gap of 1000 ms between two bytes, or
            // 1000 ms per byte and 1000 ms more for the whole chunk.
            const Clock::time_point now = Clock::now();
            chunk.endsAt = std::min(now + std::chrono::milliseconds(kTimeoutMs),
                                    chunk.startedAt + TransferTime(chunk.size));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // A terminal reads 0 only once its other end has gone.
            err = n == 0 ? EIO : errno;
        }
    }
    if (err == 0)
        return true;
    // What came before the line failed is still handed over.
    if (chunk.have > 0)
        OnReceived(m_readBuf.data(), std::exchange(chunk.have, 0));
    ReportLineFault("ReadFile()", err);
    return false;
}

int CSerialPort::Send(const std::uint8_t* data, int count, InputFlush flush)
{
    if (count <= 0)
        return 0;
    int written = 0;
    int err = 0;
    {
        std::lock_guard lock(m_lock);
        const int port = m_hPort.Get();
        if (port < 0) {
            // Closed because the line went down: nothing new to tell.
            err = m_bLineDown ? EIO : EBADF;
        } else {
            // An answer counts only if it comes after what asks for it, so
            // unread input goes first (a part the monitor has read as well).
            // Only input: on a pseudo-terminal an output flush would drop
            // bytes still on their way to the other end.
            if (flush == InputFlush::Discard) {
                ::tcflush(port, TCIFLUSH);
                ++m_nInputGeneration;
            }
            // Not drained: a wait that follows starts from the bytes' time
            // on the line (LineTime), and nothing else needs them gone.
            const Clock::time_point deadline = Clock::now() + TransferTime(count);
            while (written < count) {
                const ssize_t n = ::write(port, data + written, std::size_t(count - written));
                if (n > 0) {
                    written += int(n);
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0 && errno != EAGAIN) {
                    err = errno;
                    break;
                }
                const int wait = MillisecondsUntil(deadline);
                if (wait <= 0) {
                    err = ETIMEDOUT;
                    break;
                }
                pollfd pfd{port, POLLOUT, 0};
                const int ready = ::poll(&pfd, 1, wait);
                if (ready < 0 && errno != EINTR) {
                    err = errno;
                    break;
                }
                if (ready > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))
                    && !(pfd.revents & POLLOUT)) {
                    err = EIO;
                    break;
                }
            }
        }
    }
    if (err != 0)
        ReportLineFault("WriteFile()", err);
    return written;
}

CSerialPort::Clock::duration CSerialPort::LineTime(int bytes) const
{
    // Ten bits a byte: start, eight data bits, stop (a parity bit or a
    // second stop bit adds one more).
    const int baud = std::max(1, m_nBaud);
    const int bits = 10 + (m_cParity != 'N' && m_cParity != 'n' ? 1 : 0) + (m_nStopBits == 2);
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(std::int64_t(bytes) * bits * 1'000'000'000 / baud));
}

void CSerialPort::SetReadSize(int n)
{
    // Only the count changes: the monitor thread owns its buffer and sizes
    // it before each read, so no buffer in use is ever freed here.
    m_nReadSize = std::max(1, n);
}

int CSerialPort::QueuedInput()
{
    std::lock_guard lock(m_lock);
    int queued = 0;
    if (!m_hPort.IsValid() || ::ioctl(m_hPort.Get(), FIONREAD, &queued) != 0)
        return -1;
    return queued;
}

void CSerialPort::AbandonPort(int reason)
{
    m_nLastOpenErrno = reason;
    std::lock_guard lock(m_lock);
    CloseLocked();
}

void CSerialPort::ReportLineFault(const std::string& call, int err)
{
    // A line that is gone fails every later read and write the same way;
    // the user hears about it once.
    if (IsLineGone(err) && m_bLineDown.exchange(true))
        return;
    ShowError(call, err);
}

void CSerialPort::ShowError(const std::string& call, int err)
{
    std::string port;
    {
        std::lock_guard lock(m_nameLock);
        port = m_strPortName;
    }
    const std::string text = "WARNING:  " + call + " Failed with the following error: \n"
        + std::system_category().message(err) + "\nPort: " + port + "\n";
    m_messages.ShowMessage(text, "Application Error", MessageIcon::Stop);
}

std::string CSerialPort::ResolveComPortPath(int n)
{
    return ResolveComPortPath(n, IniFilePath("Tamber_Info.ini"));
}

std::string CSerialPort::ResolveComPortPath(int n, const std::string& iniPath)
{
    if (n < 1)
        return {};
    const CProfileFile ini(iniPath);
    return ini.GetString("Ports", "COM" + std::to_string(n), "/dev/ttyS" + std::to_string(n - 1));
}

bool CSerialPort::StoreComPortPath(int n, const std::string& path, const std::string& iniPath)
{
    return n >= 1 && CProfileFile(iniPath).WriteString("Ports", "COM" + std::to_string(n), path);
}

int CSerialPort::ComNumberFromText(const std::string& text)
{
    if (text.size() != 4)
        return 0;
    const bool com = (text[0] | 0x20) == 'c' && (text[1] | 0x20) == 'o' && (text[2] | 0x20) == 'm';
    return (com && text[3] >= '1' && text[3] <= '4') ? text[3] - '0' : 0;
}

std::string CSerialPort::PortPathFromText(const std::string& text)
{
    const int n = ComNumberFromText(text);
    return n != 0 ? ResolveComPortPath(n) : text;
}
