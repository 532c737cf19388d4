#include "isp/SpiLines.h"

#include <algorithm>
#include <cmath>

#include "isp/IspTiming.h"

std::uint32_t CSpiLines::ClockFor(double crystalHz)
{
    // Rounded down: a clock a hair too fast would shorten the phases.
    const double phase = double(IspTiming::MinSckPhase(crystalHz).count()) * 1e-9;
    return std::uint32_t(std::floor(1.0 / (2.0 * phase)));
}

CSpiLines::CSpiLines(SpiWiring wiring, std::unique_ptr<ISpiBus> bus,
                     std::unique_ptr<IGpioLineRequest> rst, LinesOpenFailure failure)
    : m_wiring(std::move(wiring))
    , m_pBus(bus && rst ? std::move(bus) : nullptr)
    , m_pRst(m_pBus ? std::move(rst) : nullptr)
    , m_openFailure(m_pBus ? PortOpenFailure{} : std::move(failure.port))
    , m_strError(m_pBus ? std::string() : std::move(failure.text))
    , m_pClock(m_pBus ? m_pBus->Clock() : nullptr)
{
}

void CSpiLines::Fail(const std::string& why)
{
    if (m_bFailed)
        return;
    // The text first: a reader that sees the flag reads a finished text.
    m_strError = why;
    m_bFailed = true;
}

void CSpiLines::SetRst(int level)
{
    if (!m_pRst)
        return;
    if (const int error = m_pRst->Set(IGpioLineRequest::kRst, level))
        Fail("RST: " + m_wiring.RstWiring().Explain(error, m_wiring.m_nRst));
}

void CSpiLines::Shift(std::span<const std::uint8_t> tx, std::span<std::uint8_t> rx)
{
    if (tx.empty())
        return;
    // The controller takes bytes in whatever it is given back; a reply
    // nobody wants still has to land somewhere for the sample below.
    if (rx.size() != tx.size()) {
        m_discard.resize(tx.size());
        rx = m_discard;
    }
    if (m_bHold && m_pBus) {
        // The controller clocks no faster than asked and only after the
        // call starts, so every bit but the last may go ahead of the hold.
        const std::chrono::nanoseconds bit(1'000'000'000 / std::max<std::uint32_t>(m_pBus->ClockHz(), 1));
        Clock().WaitUntil(m_tHold - bit * std::int64_t(tx.size() * 8 - 1));
    }
    m_bHold = false;
    if (!m_pBus || m_bFailed || !m_pBus->Transfer(tx.data(), rx.data(), tx.size())) {
        if (m_pBus && !m_bFailed)
            Fail(m_pBus->Error());
        // A controller that cannot be used reads as a silent device.
        std::fill(rx.begin(), rx.end(), std::uint8_t(0xFF));
    }
    m_bLastMiso = (rx.back() & 1) != 0;
}

void CSpiLines::Wait(std::chrono::nanoseconds duration)
{
    if (m_pBus)
        Clock().WaitUntil(Clock().Now() + duration);
}

void CSpiLines::HoldNextFrameEnd(std::chrono::nanoseconds duration)
{
    // The last transfer has returned, its last bit in: the hold counts from
    // now.
    m_bHold = true;
    m_tHold = Clock().Now() + duration;
}
