#include "sim/StopSignal.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

CStopSignal::CStopSignal()
    : m_event(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

void CStopSignal::Raise()
{
    m_bRaised = true;
    const std::uint64_t one = 1;
    // The counter only grows; a full counter means it is raised already.
    [[maybe_unused]] ssize_t n = ::write(m_event.Get(), &one, sizeof one);
}

bool CStopSignal::IsRaised() const
{
    return m_bRaised.load();
}

bool CStopSignal::SleepUntil(std::chrono::steady_clock::time_point deadline,
                             std::chrono::nanoseconds spinTail) const
{
    using namespace std::chrono;
    // poll() only counts milliseconds: it covers the long part of the wait
    // and stays interruptible, the last stretch is an absolute nanosleep.
    for (;;) {
        if (IsRaised())
            return false;
        auto left = deadline - steady_clock::now();
        if (left <= 2ms)
            break;
        pollfd p {m_event.Get(), POLLIN, 0};
        int ms = static_cast<int>(duration_cast<milliseconds>(left - 1ms).count());
        if (::poll(&p, 1, ms) > 0)
            return false;
    }
    // steady_clock is CLOCK_MONOTONIC on Linux.
    auto ns = duration_cast<nanoseconds>(deadline.time_since_epoch() - spinTail).count();
    timespec ts {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
    while (steady_clock::now() < deadline) {
    }
    return !IsRaised();
}
