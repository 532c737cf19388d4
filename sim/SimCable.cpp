#include "sim/SimCable.h"

#include "sim/SimClock.h"
#include "sim/SimIspTarget.h"

namespace {

// Status bits 0..2 are unused and read high, like pins 10, 12, 13 and 15
// with nothing on them; pin 11 reads high as a clear bit 7.
constexpr std::uint8_t kIdleStatus = 0x7F;

} // namespace

CSimCable::CSimCable(CSimIspTarget& target, int cableType, const CableDescription& wiring)
    : m_target(target),
      m_bLatched(cableType == 1),
      m_wiring(wiring),
      m_mosi(LookupPin(wiring.m_nPinMosi)),
      m_miso(LookupPin(wiring.m_nPinMiso)),
      m_sck(LookupPin(wiring.m_nPinSck)),
      m_rst(LookupPin(wiring.m_nPinRst)),
      m_le(LookupPin(wiring.m_nPinLe)),
      m_oe(LookupPin(wiring.m_nPinOe))
{
    Update();
}

void CSimCable::ResetCounters()
{
    m_nReads.store(0, std::memory_order_relaxed);
    m_nWrites.store(0, std::memory_order_relaxed);
}

bool CSimCable::PinLevel(int pin) const
{
    const auto info = LookupPin(pin);
    if (!info || !info->settable)
        return false;
    return Line(info);
}

bool CSimCable::Line(const std::optional<PinInfo>& pin) const
{
    if (!pin || !pin->settable)
        return true;
    const std::uint8_t reg = pin->reg == kData ? m_byData : m_byControl;
    return (((reg >> pin->bit) & 1) != 0) != pin->inverted;
}

void CSimCable::Update()
{
    const bool rst = Line(m_rst);
    const bool sck = Line(m_sck);
    const bool mosi = Line(m_mosi);
    if (m_bLatched) {
        if (Line(m_le) == (m_wiring.m_nLeEnable != 0)) {
            m_bLatchRst = rst;
            m_bLatchSck = sck;
            m_bLatchMosi = mosi;
        }
        // A cable without an OE pin keeps its outputs on.
        m_bOutputsEnabled = !m_oe || Line(m_oe) == (m_wiring.m_nOeEnable != 0);
        m_bChipRst = !m_bOutputsEnabled || m_bLatchRst;
        m_bChipSck = !m_bOutputsEnabled || m_bLatchSck;
        m_bChipMosi = !m_bOutputsEnabled || m_bLatchMosi;
    } else {
        m_bChipRst = rst;
        m_bChipSck = sck;
        m_bChipMosi = mosi;
    }
    m_target.SetLines(m_bChipRst, m_bChipSck, m_bChipMosi);
}

IIspClock* CSimCable::Clock()
{
    return &m_target.Clock();
}

std::uint8_t CSimCable::Read(int offset)
{
    Bump(m_nReads);
    // The port samples at the end of its I/O cycle.
    m_target.Clock().Advance(m_accessTime);
    switch (offset) {
    case kData:
        return m_byData;
    case kControl:
        return m_byControl;
    case kStatus:
        break;
    default:
        return 0xFF;
    }
    std::uint8_t status = kIdleStatus;
    if (m_miso && m_miso->reg == kStatus) {
        const bool miso = m_target.Miso();
        const auto mask = static_cast<std::uint8_t>(1u << m_miso->bit);
        if (miso != m_miso->inverted)
            status |= mask;
        else
            status &= static_cast<std::uint8_t>(~mask);
    }
    return status;
}

void CSimCable::Write(int offset, std::uint8_t value)
{
    Bump(m_nWrites);
    // The pins change at the end of the I/O cycle.
    m_target.Clock().Advance(m_accessTime);
    if (offset == kData)
        m_byData = value;
    else if (offset == kControl)
        m_byControl = value;
    else
        return;
    Update();
}
