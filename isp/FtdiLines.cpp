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
    m_queue.reserve(kMaxBatch);
    m_in.resize(kMaxBatch);
    if (m_pDevice)
        m_stateTime = std::chrono::nanoseconds(std::llround(
            std::ceil(1e9 / FtdiRate::StatesPerSecond(m_pDevice->Kind(), m_pDevice->Baud()))));
}

void CFtdiLines::Fail(const std::string& why)
{
    if (m_bFailed)
        return;
    // The text first: a reader that sees the flag reads a finished text.
    m_strError = why;
    m_bFailed = true;
}

void CFtdiLines::Queue()
{
    m_queue.push_back(m_byOut);
    if (m_queue.size() >= std::size_t(kMaxBatch))
        Exchange();
}

void CFtdiLines::Drive(int line, int level)
{
    const auto bit = std::uint8_t(1u << line);
    m_byOut = level ? std::uint8_t(m_byOut | bit) : std::uint8_t(m_byOut & ~bit);
    Queue();
    if (!m_bInFrame)
        Exchange();
}

int CFtdiLines::ReadMiso()
{
    // One byte more, the outputs unchanged: its sample shows the lines now.
    std::uint8_t value = 0;
    m_samples.push_back({m_queue.size(), &value, 1});
    m_queue.push_back(m_byOut);
    Exchange();
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
        m_queue.push_back(m_byOut);
    Exchange();
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
            m_byOut = std::uint8_t(m_byOut | sck);
            if (m_bHold && i + 1 == tx.size() && mask == 0x01)
                m_nHoldIndex = std::ptrdiff_t(m_queue.size());
            Queue();
            // The next state's sample shows MISO after the rise.
            if (!rx.empty())
                m_samples.push_back({m_queue.size(), &rx[i], std::uint8_t(mask)});
        }
    }
    m_byOut = std::uint8_t(m_byOut & ~sck);
    Queue();
    if (!rx.empty())
        Exchange();
}

void CFtdiLines::Wait(std::chrono::nanoseconds duration)
{
    // Idle states are timed by the chip itself and cost no round trip.
    const auto states = std::size_t(
        m_stateTime.count() > 0 ? (duration.count() + m_stateTime.count() - 1) / m_stateTime.count()
                                : 0);
    if (m_stateTime.count() > 0 && m_queue.size() + states <= std::size_t(kMaxBatch)) {
        m_queue.insert(m_queue.end(), states, m_byOut);
        return;
    }
    Exchange();
    IIspClock& clock = Clock();
    clock.WaitUntil(std::max(clock.Now(), m_tClockedBy) + duration);
}

void CFtdiLines::HoldNextFrameEnd(std::chrono::nanoseconds duration)
{
    // Sent now, the frame has surely ended by m_tClockedBy; the next one's
    // last rising edge is placed by its Shift and waited for when its batch
    // goes out.
    Exchange();
    m_bHold = true;
    m_nHoldIndex = -1;
    m_tHold = m_tClockedBy + duration;
}

void CFtdiLines::Exchange()
{
    const std::size_t count = m_queue.size();
    if (count == 0)
        return;
    std::size_t got = 0;
    if (m_bHold && m_nHoldIndex >= 0) {
        if (std::size_t(m_nHoldIndex) < count) {
            // The held byte is this batch's: the batch goes no sooner than
            // lets it be clocked at the deadline, the chip's states before
            // it being timed by the chip.
            Clock().WaitUntil(m_tHold - m_nHoldIndex * m_stateTime);
            m_bHold = false;
            m_nHoldIndex = -1;
        } else {
            m_nHoldIndex -= std::ptrdiff_t(count);
        }
    }
    if (m_pDevice && !m_bFailed) {
        const bool written = m_pDevice->Write(m_queue.data(), int(count));
        // The chip clocks what it holds at once, one state a period.
        m_tClockedBy = Clock().Now() + std::int64_t(count) * m_stateTime;
        if (!written) {
            Fail(m_pDevice->Error());
        } else {
            const auto deadline =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadTimeoutMs);
            while (got < count) {
                const int n = m_pDevice->Read(m_in.data() + got, int(count - got));
                if (n < 0) {
                    Fail(m_pDevice->Error());
                    break;
                }
                got += std::size_t(n);
                if (n == 0 && std::chrono::steady_clock::now() > deadline) {
                    Fail(m_strName + ": the cable sent no samples back within "
                         + std::to_string(kReadTimeoutMs) + " ms");
                    break;
                }
            }
        }
    }
    // Samples that never came read high, like an input with nothing on it.
    for (std::size_t i = got; i < count; ++i)
        m_in[i] = 0xFF;

    std::size_t kept = 0;
    for (const Sample& sample : m_samples) {
        if (sample.index < count) {
            if (Miso(m_in[sample.index]))
                *sample.byte = std::uint8_t(*sample.byte | sample.mask);
            else
                *sample.byte = std::uint8_t(*sample.byte & ~sample.mask);
        } else {
            // Its byte is still to come in the next exchange.
            m_samples[kept++] = {sample.index - count, sample.byte, sample.mask};
        }
    }
    m_samples.resize(kept);
    m_queue.clear();
}
