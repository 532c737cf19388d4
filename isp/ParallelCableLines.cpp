#include "isp/ParallelCableLines.h"

#include "platform/AppGlobals.h"

CParallelCableLines::CParallelCableLines(IMessageSink& messages, int cableType, int latchMode)
    : CParallelPort(messages), m_nCableType(cableType), m_nLatchMode(latchMode)
{
}

void CParallelCableLines::Prepare()
{
    m_Cable = CableDescription::ForType(m_nCableType, IniFilePath("Quenby.ini"));
    SetPin(m_Cable.m_nPinLe, m_Cable.m_nLeEnable);
}

void CParallelCableLines::WorkLatch()
{
    switch (m_nLatchMode) {
    case 2:
        // The cable has no latch to work, or it is transparent.
        return;
    case 1:
        SetPin(m_Cable.m_nPinLe, m_Cable.m_nLeEnable);
        return;
    default:
        // A pulse copies the new line states through the latch.
        SetPin(m_Cable.m_nPinLe, m_Cable.m_nLeEnable);
        SetPin(m_Cable.m_nPinLe, m_Cable.m_nLeDisable);
        return;
    }
}

void CParallelCableLines::SetMosi(int level)
{
    SetPin(m_Cable.m_nPinMosi, level);
    WorkLatch();
}

void CParallelCableLines::SetRst(int level)
{
    SetPin(m_Cable.m_nPinRst, level);
    WorkLatch();
}

void CParallelCableLines::SetSck(int level)
{
    SetPin(m_Cable.m_nPinSck, level);
    WorkLatch();
}

int CParallelCableLines::ReadMiso()
{
    WorkLatch();
    return ReadPin(m_Cable.m_nPinMiso);
}

void CParallelCableLines::EnableOutputs(bool on)
{
    SetPin(m_Cable.m_nPinOe, on ? m_Cable.m_nOeEnable : m_Cable.m_nOeDisable);
}

void CParallelCableLines::Wait(std::chrono::nanoseconds duration)
{
    IIspClock* clock = RegistersClock();
    if (!clock)
        clock = &m_steadyClock;
    clock->WaitUntil(clock->Now() + duration);
}
