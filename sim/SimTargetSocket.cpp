#include "sim/SimTargetSocket.h"

#include "sim/SimIspTarget.h"

namespace {

bool OnLine(int line)
{
    return line >= 0 && line < 64;
}

}  // namespace

CSimTargetSocket::CSimTargetSocket(CSimIspTarget& target, Pins pins, bool idleHigh)
    : m_target(target), m_pins(pins), m_bIdleHigh(idleHigh)
{
    Drive(0, 0);
}

bool CSimTargetSocket::Driven(int line) const
{
    return OnLine(line) && ((m_driven >> line) & 1) != 0;
}

bool CSimTargetSocket::InputLevel(int line, bool floatLevel) const
{
    return Driven(line) ? ((m_levels >> line) & 1) != 0 : floatLevel;
}

void CSimTargetSocket::Drive(std::uint64_t driven, std::uint64_t levels)
{
    m_driven = driven;
    m_levels = levels;
    m_target.SetLines(InputLevel(m_pins.rst, false), InputLevel(m_pins.sck, true),
                      InputLevel(m_pins.mosi, true));
}

bool CSimTargetSocket::Sense(int line) const
{
    if (!OnLine(line))
        return m_bIdleHigh;
    if (Driven(line))
        return ((m_levels >> line) & 1) != 0;
    if (line == m_pins.miso)
        return m_target.Miso();
    if (line == m_pins.rst)
        return false;
    if (line == m_pins.mosi || line == m_pins.sck)
        return true;
    return m_bIdleHigh;
}

std::uint8_t CSimTargetSocket::SenseByte() const
{
    std::uint8_t levels = 0;
    for (int line = 0; line < 8; ++line)
        if (Sense(line))
            levels = std::uint8_t(levels | (1u << line));
    return levels;
}
