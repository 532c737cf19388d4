#include "isp/GpioLines.h"

#include "isp/IspTiming.h"

namespace {

GpioWiring OnChip(GpioWiring wiring, const IGpioLineRequest* request)
{
    if (request && !request->ChipName().empty()) {
        wiring.m_strChip = request->ChipName();
        wiring.m_bHeaderChip = false;
    }
    return wiring;
}

}  // namespace

CGpioLines::CGpioLines(GpioWiring wiring, std::unique_ptr<IGpioLineRequest> request,
                       LinesOpenFailure failure, double crystalHz)
    : m_wiring(OnChip(std::move(wiring), request.get()))
    , m_pRequest(std::move(request))
    , m_openFailure(m_pRequest ? PortOpenFailure{} : std::move(failure.port))
    , m_strError(m_pRequest ? std::string() : std::move(failure.text))
    , m_pClock(m_pRequest ? m_pRequest->Clock() : nullptr)
    , m_minPhase(IspTiming::MinSckPhase(crystalHz))
{
}

void CGpioLines::Fail(int offset, int error)
{
    if (m_bFailed)
        return;
    // The text first: a reader that sees the flag reads a finished text.
    m_strError = m_wiring.Explain(error, offset);
    m_bFailed = true;
}

void CGpioLines::Drive(IGpioLineRequest::Line line, int offset, int level)
{
    if (!m_pRequest)
        return;
    if (const int error = m_pRequest->Set(line, level))
        Fail(offset, error);
    if (line == IGpioLineRequest::kMosi)
        m_nMosi = level ? 1 : 0;
}

void CGpioLines::SetSck(int level)
{
    // The change may land any time during the set: the phase before it is
    // counted from the end of the last change to the start of this one.
    IIspClock& clock = Clock();
    if (m_nSck >= 0)
        clock.WaitUntil(m_tSck + m_minPhase);
    Drive(IGpioLineRequest::kSck, m_wiring.m_nSck, level);
    m_nSck = level ? 1 : 0;
    m_tSck = clock.Now();
}

int CGpioLines::ReadMiso()
{
    if (!m_pRequest)
        return 0;
    const int value = m_pRequest->Get(IGpioLineRequest::kMiso);
    if (value < 0) {
        Fail(m_wiring.m_nMiso, -value);
        // A line that cannot be read counts as pulled high, like a silent
        // device: nothing read from it matches.
        return 1;
    }
    return value;
}

void CGpioLines::Shift(std::span<const std::uint8_t> tx, std::span<std::uint8_t> rx)
{
    if (m_nSck != 0)
        SetSck(0);
    for (std::size_t i = 0; i < tx.size(); ++i) {
        std::uint8_t in = 0;
        for (int mask = 0x80; mask != 0; mask >>= 1) {
            const int bit = (tx[i] & mask) ? 1 : 0;
            // MOSI settles while SCK is low; MISO is valid after the rise.
            if (bit != m_nMosi)
                SetMosi(bit);
            if (m_bHold && i + 1 == tx.size() && mask == 0x01) {
                Clock().WaitUntil(m_tHold);
                m_bHold = false;
            }
            SetSck(1);
            if (ReadMiso())
                in = std::uint8_t(in | mask);
            SetSck(0);
        }
        if (!rx.empty())
            rx[i] = in;
    }
}

void CGpioLines::HoldNextFrameEnd(std::chrono::nanoseconds duration)
{
    // The last frame's final edge has landed: the hold counts from now.
    m_bHold = true;
    m_tHold = Clock().Now() + duration;
}

void CGpioLines::Wait(std::chrono::nanoseconds duration)
{
    IIspClock& clock = Clock();
    clock.WaitUntil(clock.Now() + duration);
}

void CGpioLines::EnableOutputs(bool on)
{
    if (!m_pRequest || m_bDriving == on)
        return;
    m_bDriving = on;
    // Named by MOSI, the first line whose direction changes.
    if (const int error = m_pRequest->SetDriving(on))
        Fail(m_wiring.m_nMosi, error);
    // Driven, MOSI and SCK start low; let go, their levels are not ours.
    m_nMosi = m_nSck = on ? 0 : -1;
    m_tSck = Clock().Now();
}
