#include "isp/FtdiLines.h"

#include <chrono>
#include <cmath>

#include "isp/FtdiRate.h"

CFtdiLines::CFtdiLines(FtdiWiring wiring, std::string name, std::unique_ptr<IFtdiBitBang> device,
                       LinesOpenFailure failure)
    : m_wiring(std::move(wiring))
    , m_strName(std::move(name))
    , m_pDevice(std::move(device))
    , m_openFailure(m_pDevice ? PortOpenFailure{} : std::move(failure.port))
    , m_strError(m_pDevice ? std::string() : std::move(failure.text))
    , m_pClock(m_pDevice ? m_pDevice->Clock() : nullptr)
{
    m_queue.reserve(kExchangeBytes);
    m_in.resize(kExchangeBytes);
    if (m_pDevice) {
        const double perSecond = FtdiRate::StatesPerSecond(m_pDevice->Kind(), m_pDevice->Baud());
        m_stateTime = std::chrono::nanoseconds(std::llround(std::ceil(1e9 / perSecond)));
        m_dFastestStatesPerNs = perSecond * FtdiRate::kGeneratorTolerance / 1e9;
    }
}

std::size_t CFtdiLines::StatesFor(std::chrono::nanoseconds duration) const
{
    if (duration.count() <= 0)
        return 0;
    return std::size_t(std::ceil(double(duration.count()) * m_dFastestStatesPerNs));
}

void CFtdiLines::Fail(const std::string& why)
{
    if (m_bFailed)
        return;
    // The text first: a reader that sees the flag reads a finished text.
    m_strError = why;
    m_bFailed = true;
}

void CFtdiLines::Fill(const std::vector<Sample>& samples, const std::uint8_t* in) const
{
    for (const Sample& sample : samples) {
        // Samples that never came read high, like an input with nothing on it.
        const bool high = !in || ((in[sample.index] >> m_wiring.m_nMiso) & 1) != 0;
        if (high)
            *sample.byte = std::uint8_t(*sample.byte | sample.mask);
        else
            *sample.byte = std::uint8_t(*sample.byte & ~sample.mask);
    }
}

void CFtdiLines::Queue()
{
    m_queue.push_back(m_byOut);
    ++m_nStreamPos;
    if (m_queue.size() >= std::size_t(kExchangeBytes))
        Submit();
}

void CFtdiLines::Drive(int line, int level)
{
    const auto bit = std::uint8_t(1u << line);
    m_byOut = level ? std::uint8_t(m_byOut | bit) : std::uint8_t(m_byOut & ~bit);
    Queue();
    if (!m_bInFrame)
        Drain();
}

int CFtdiLines::ReadMiso()
{
    // One byte more, the outputs unchanged: its sample shows the lines now.
    std::uint8_t value = 0;
    m_samples.push_back({m_queue.size(), &value, 1});
    Queue();
    Drain();
    return value;
}

void CFtdiLines::SampleMiso(std::uint8_t& byte, std::uint8_t mask)
{
    // The sample of the next byte shows the lines as they are now.
    m_samples.push_back({m_queue.size(), &byte, mask});
}

void CFtdiLines::EndFrame()
{
    m_bInFrame = false;
    // A sample asked for after the last change needs one more byte to be
    // taken: the outputs once more, unchanged.
    if (!m_samples.empty() && m_samples.back().index >= m_queue.size())
        Queue();
    Drain();
}

void CFtdiLines::Shift(std::span<const std::uint8_t> tx, std::span<std::uint8_t> rx)
{
    const auto sck = std::uint8_t(1u << m_wiring.m_nSck);
    const auto mosi = std::uint8_t(1u << m_wiring.m_nMosi);
    for (std::size_t i = 0; i < tx.size(); ++i) {
        for (int mask = 0x80; mask != 0; mask >>= 1) {
            // MOSI changes with SCK going low, a state before the rise.
            m_byOut = std::uint8_t((m_byOut & ~sck & ~mosi) | ((tx[i] & mask) ? mosi : 0));
            Queue();
            if (m_bHold && i + 1 == tx.size() && mask == 0x01) {
                // The last rise waits, SCK low, until the held frame end's
                // time has passed at the chip.
                while (m_nStreamPos - m_nHoldFrom < m_nHoldStates)
                    Queue();
                m_bHold = false;
            }
            m_byOut = std::uint8_t(m_byOut | sck);
            Queue();
            // The next state's sample shows MISO after the rise.
            if (!rx.empty())
                m_samples.push_back({m_queue.size(), &rx[i], std::uint8_t(mask)});
        }
    }
    m_byOut = std::uint8_t(m_byOut & ~sck);
    Queue();
    if (!rx.empty())
        Drain();
}

void CFtdiLines::Wait(std::chrono::nanoseconds duration)
{
    if (duration.count() <= 0)
        return;
    if (m_stateTime.count() > 0 && duration <= kLongestStreamedWait) {
        for (std::size_t n = StatesFor(duration); n > 0; --n)
            Queue();
        return;
    }
    // Once every byte before has come back, it has surely been clocked.
    Drain();
    IIspClock& clock = Clock();
    clock.WaitUntil(clock.Now() + duration);
}

void CFtdiLines::HoldNextFrameEnd(std::chrono::nanoseconds duration)
{
    // The frame just queued ends with its last state, the fall of SCK.
    m_bHold = m_nStreamPos > 0;
    m_nHoldFrom = m_nStreamPos - 1;
    m_nHoldStates = StatesFor(duration);
}

void CFtdiLines::EnableOutputs(bool on)
{
    if (!m_pDevice || m_bDriving == on)
        return;
    m_bDriving = on;
    const auto rst = std::uint8_t(1u << m_wiring.m_nRst);
    const auto freed = std::uint8_t((1u << m_wiring.m_nMosi) | (1u << m_wiring.m_nSck));
    // Outputs drive what the last byte left for them. Taken back, MOSI and
    // SCK come up low: that byte, clocked while they are still inputs.
    // Let go, RST goes low first: SCK floats high, a rising edge that a
    // chip still in serial mode would take for a bit. The byte goes only
    // where it changes what the chip holds (what the open left is not
    // known until a byte went): a round trip saved.
    const auto wanted = on ? std::uint8_t(m_byOut & ~freed) : std::uint8_t(m_byOut & ~rst);
    if (wanted != m_byOut || m_nStreamPos == 0) {
        m_byOut = wanted;
        Queue();
    }
    // The request would overtake whatever the chip has not clocked yet.
    Drain();
    if (m_bFailed)
        return;
    if (!m_pDevice->SetOutputs(on ? m_wiring.OutputMask() : rst))
        Fail(m_pDevice->Error());
}

void CFtdiLines::Submit()
{
    const std::size_t count = m_queue.size();
    if (count == 0)
        return;
    InFlight exchange{count, {}};
    std::size_t kept = 0;
    for (const Sample& sample : m_samples) {
        if (sample.index < count)
            exchange.samples.push_back(sample);
        else  // its byte is the next exchange's
            m_samples[kept++] = {sample.index - count, sample.byte, sample.mask};
    }
    m_samples.resize(kept);
    while (m_inFlight.size() >= std::size_t(kMaxInFlight))
        CollectOldest();
    if (m_pDevice && !m_bFailed && m_pDevice->Submit(m_queue.data(), int(count))) {
        m_inFlight.push_back(std::move(exchange));
        m_nBytesInFlight += count;
    } else {
        if (m_pDevice && !m_bFailed)
            Fail(m_pDevice->Error());
        Fill(exchange.samples, nullptr);
    }
    m_queue.clear();
}

void CFtdiLines::CollectOldest()
{
    const InFlight exchange = std::move(m_inFlight.front());
    m_inFlight.pop_front();
    // The chip clocks everything in flight before the last of these
    // samples; a rate set low takes its time for that.
    const auto timeout = std::chrono::milliseconds(kReadTimeoutMs)
        + std::chrono::ceil<std::chrono::milliseconds>(m_stateTime * std::int64_t(m_nBytesInFlight));
    m_nBytesInFlight -= exchange.size;
    if (m_bFailed) {
        Fill(exchange.samples, nullptr);
        return;
    }
    if (m_in.size() < exchange.size)
        m_in.resize(exchange.size);
    if (!m_pDevice->Collect(m_in.data(), int(exchange.size), timeout)) {
        Fail(m_pDevice->Error());
        Fill(exchange.samples, nullptr);
        return;
    }
    Fill(exchange.samples, m_in.data());
}

void CFtdiLines::Drain()
{
    Submit();
    while (!m_inFlight.empty())
        CollectOldest();
}
