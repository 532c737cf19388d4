#include "sim/BoardSimulator.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

using Clock = CLinePacer::Clock;

// A host that stops reading must not wedge the board: after this long with a
// full line the rest of a reply is dropped, as an overrun UART would.
constexpr int kWriteStallMs = 1000;
// How long a hang-up waits for the host to read the last reply.
constexpr int kHangUpGuardMs = 2000;
// The last byte of a paced reply is what the host waits for: its send time
// is kept to the microsecond by watching the clock for this long instead of
// trusting a timer that may fire tens of microseconds late.
constexpr auto kPreciseTail = std::chrono::microseconds(100);
// After a paced reply the host's next frame usually follows within tens of
// microseconds. The board stays awake that long, as a real one's controller
// does, instead of going to sleep in poll(): waking an idle CPU costs more
// than the whole exchange on some machines (about 50 us on a virtual one).
constexpr auto kAwakeAfterReply = std::chrono::microseconds(300);

} // namespace

CBoardSimulator::CBoardSimulator(Options options)
    : m_options(options)
    , m_chip(options.at89s51 ? SimChipType::AT89S51 : SimChipType::AT89S52,
             static_cast<std::size_t>(std::max(0, options.flashKB)) * 1024)
    , m_protocol(m_chip)
    , m_pacer(options.baud, options.paced)
    , m_random(std::random_device {}())
{
    if (!options.socketPath.empty())
        m_protocol.SetSocketProbe(
            [path = options.socketPath] { return ::access(path.c_str(), F_OK) == 0; });
}

CBoardSimulator::~CBoardSimulator()
{
    Stop();
}

bool CBoardSimulator::Start()
{
    if (m_bServing)
        return true;
    // A thread that ended on its own (line closed by a fault) is collected.
    if (m_thread.joinable())
        m_thread.join();

    m_pStop = std::make_unique<CStopSignal>();
    if (!m_pStop->IsValid()) {
        SetError(std::string("eventfd() failed: ") + std::strerror(errno));
        return false;
    }
    if (!PlugIn())
        return false;
    m_bUnplugged = false;
    m_bServing = true;
    m_thread = std::thread(&CBoardSimulator::Serve, this);
    return true;
}

void CBoardSimulator::Stop()
{
    if (m_pStop)
        m_pStop->Raise();
    if (m_thread.joinable())
        m_thread.join();
    m_pty.Close();
    RemoveLink();
    m_bServing = false;
}

bool CBoardSimulator::PlugIn()
{
    std::string error;
    if (!m_pty.Open(m_options.baud, &error)) {
        SetError(error);
        return false;
    }
    {
        std::lock_guard lock(m_mutex);
        m_strDevicePath = m_pty.SlavePath();
    }
    // A board just plugged in has no transfer open.
    m_protocol.PowerUp();
    if (!PointLink()) {
        m_pty.Close();
        return false;
    }
    return true;
}

bool CBoardSimulator::Replug()
{
    m_bUnplugged = false;
    const auto at = Clock::now() + std::chrono::milliseconds(m_options.replugAfterMs);
    if (!m_pStop->SleepUntil(at) || !PlugIn())
        return false;
    {
        // The adapter was pulled out once; it stays in now.
        std::lock_guard lock(m_mutex);
        m_faults.closeAfterBlock = -1;
        ++m_nFaultsVersion;
    }
    ++m_nReplugs;
    return true;
}

bool CBoardSimulator::PointLink()
{
    if (m_options.linkPath.empty())
        return true;
    // Made beside it and renamed over it: whoever opens the link meanwhile
    // finds the old line or the new one, never no link.
    const std::string fresh = m_options.linkPath + ".new";
    ::unlink(fresh.c_str());
    if (::symlink(m_pty.SlavePath().c_str(), fresh.c_str()) != 0
        || ::rename(fresh.c_str(), m_options.linkPath.c_str()) != 0) {
        SetError("cannot make the link " + m_options.linkPath + ": " + std::strerror(errno));
        ::unlink(fresh.c_str());
        return false;
    }
    return true;
}

void CBoardSimulator::RemoveLink()
{
    if (!m_options.linkPath.empty())
        ::unlink(m_options.linkPath.c_str());
}

std::string CBoardSimulator::LastError() const
{
    std::lock_guard lock(m_mutex);
    return m_strError;
}

std::string CBoardSimulator::DevicePath() const
{
    std::lock_guard lock(m_mutex);
    return m_strDevicePath;
}

void CBoardSimulator::SetFaults(const Faults& faults)
{
    std::lock_guard lock(m_mutex);
    m_faults = faults;
    ++m_nFaultsVersion;
}

const CBoardSimulator::Faults& CBoardSimulator::CurrentFaults()
{
    // One load per byte instead of a lock and a copy: the switches change
    // rarely, but may change between any two bytes.
    const unsigned version = m_nFaultsVersion.load(std::memory_order_acquire);
    if (version != m_nServingFaultsVersion) {
        std::lock_guard lock(m_mutex);
        m_servingFaults = m_faults;
        m_nServingFaultsVersion = m_nFaultsVersion.load(std::memory_order_relaxed);
        m_protocol.SetFaults(m_servingFaults);
    }
    return m_servingFaults;
}

CBoardSimulator::Faults CBoardSimulator::GetFaults() const
{
    std::lock_guard lock(m_mutex);
    return m_faults;
}

void CBoardSimulator::SetError(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    m_strError = text;
}

void CBoardSimulator::Serve()
{
    // Paced bytes are a few tens of microseconds apart; the default timer
    // slack of 50 us would stretch every one of them.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    do {
        ServeLine();
    } while (m_bUnplugged && m_options.replugAfterMs >= 0 && Replug());
    m_pty.Close();
    m_bServing = false;
}

void CBoardSimulator::ServeLine()
{
    while (!m_pStop->IsRaised()) {
        int timeoutMs = -1;
        if (auto deadline = m_protocol.NextDeadline()) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
            timeoutMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
        }

        pollfd fds[3] = {{m_pty.MasterFd(), POLLIN, 0}, {m_pStop->Fd(), POLLIN, 0},
                         {m_pty.HostWatchFd(), POLLIN, 0}};
        int ready = 0;
        while (ready == 0 && Clock::now() < m_awakeUntil) {
            ready = ::poll(fds, 3, 0);
            // The pty's kernel worker that carries the reply to the host
            // may be queued on this CPU: let it run.
            if (ready == 0)
                ::sched_yield();
        }
        if (ready == 0)
            ready = ::poll(fds, 3, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            SetError(std::string("poll() failed: ") + std::strerror(errno));
            break;
        }
        if (fds[1].revents)
            break;
        if (fds[2].revents & POLLIN) {
            m_pty.OnHostClosed();
            if (--ready == 0)
                continue;
        }

        if (fds[0].revents & POLLIN) {
            if (!ReadAvailable())
                break;
        } else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            SetError("the line was hung up");
            break;
        } else if (ready == 0) {
            const Faults& faults = CurrentFaults();
            const auto now = Clock::now();
            if (!Answer(m_protocol.OnIdle(now), now, faults))
                break;
        }
    }
}

bool CBoardSimulator::ReadAvailable()
{
    std::uint8_t buffer[256];
    for (;;) {
        // A host that never pauses must not keep Stop() waiting.
        if (m_pStop->IsRaised())
            return false;
        ssize_t n = ::read(m_pty.MasterFd(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return true;
            SetError(std::string("read() failed: ") + std::strerror(errno));
            return false;
        }
        if (n == 0)
            return true;

        const auto readAt = Clock::now();
        for (ssize_t i = 0; i < n; ++i) {
            const Faults& faults = CurrentFaults();
            const auto arrivedAt = m_pacer.Receive(readAt);
            const CBoardProtocol::Replies replies = m_protocol.Feed(buffer[i], readAt);
            if (!replies.empty() && !Answer(replies, arrivedAt, faults))
                return false;
        }
        // A read that did not fill the buffer took all there was: the next
        // one would only say so.
        if (std::size_t(n) < sizeof buffer)
            return true;
    }
}

bool CBoardSimulator::Answer(const CBoardProtocol::Replies& replies, Clock::time_point readyAt,
                             const Faults& faults)
{
    for (const auto& reply : replies) {
        if (reply.size > 0 && !Transmit(reply.bytes.data(), reply.size, readyAt, faults))
            return false;
        if (reply.block >= 0 && reply.block == faults.closeAfterBlock) {
            HangUp();
            return false;
        }
    }
    return true;
}

// Closing a pseudo-terminal throws away what the host has not read yet,
// while a real board's last bytes would still reach it: wait for them to be
// read (or for the host to give up) before closing.
void CBoardSimulator::HangUp()
{
    const auto guard = Clock::now() + std::chrono::milliseconds(kHangUpGuardMs);
    auto next = Clock::now();
    do {
        next += std::chrono::milliseconds(10);
        if (!m_pStop->SleepUntil(next))
            break;
    } while (m_pty.PendingForHost() > 0 && Clock::now() < guard);
    m_pty.Close();
    // An unplugged adapter's device node goes away with it.
    RemoveLink();
    m_bUnplugged = true;
}

bool CBoardSimulator::Transmit(const std::uint8_t* data, std::size_t size,
                               Clock::time_point readyAt, const Faults& faults)
{
    if (faults.neverAnswer)
        return true;
    std::array<std::uint8_t, CBoardProtocol::kFrameSize> garbled;
    if (faults.garbage) {
        std::copy(data, data + size, garbled.begin());
        Garble(garbled.data(), size);
        data = garbled.data();
    }
    readyAt += std::chrono::milliseconds(std::max(0, faults.replyDelayMs));

    if (!m_pacer.IsPaced()) {
        if (faults.replyDelayMs > 0 && !m_pStop->SleepUntil(readyAt))
            return false;
        if (!WriteOut(data, size))
            return false;
    } else {
        // Each byte goes out when its stop bit would have left the UART.
        // An earlier byte that goes out late is made up by the next one.
        for (std::size_t i = 0; i < size; ++i) {
            const bool last = i + 1 == size;
            if (!m_pStop->SleepUntil(m_pacer.Transmit(readyAt),
                                     last ? kPreciseTail : std::chrono::microseconds::zero()))
                return false;
            if (!WriteOut(&data[i], 1))
                return false;
        }
        m_awakeUntil = Clock::now() + kAwakeAfterReply;
    }
    if (size == 1)
        ++m_nAcksSent;
    return true;
}

bool CBoardSimulator::WriteOut(const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(m_pty.MasterFd(), data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            SetError(std::string("write() failed: ") + std::strerror(errno));
            return false;
        }
        pollfd fds[2] = {{m_pty.MasterFd(), POLLOUT, 0}, {m_pStop->Fd(), POLLIN, 0}};
        int ready = ::poll(fds, 2, kWriteStallMs);
        if (ready > 0 && fds[1].revents)
            return false;
        if (ready == 0)
            return true; // nobody reads: the rest is lost on the line
    }
    return true;
}

// Random bytes that never read as a meaningful answer: an acknowledgement
// that is neither 1 nor 0xFF, a frame whose kind is none the host knows.
void CBoardSimulator::Garble(std::uint8_t* bytes, std::size_t size)
{
    std::uniform_int_distribution<int> any(0, 255);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(any(m_random));
    if (size == 1) {
        std::uniform_int_distribution<int> ack(2, 254);
        bytes[0] = static_cast<std::uint8_t>(ack(m_random));
    } else if (size > 0) {
        std::uniform_int_distribution<int> kind(7, 255);
        bytes[0] = static_cast<std::uint8_t>(kind(m_random));
    }
}
