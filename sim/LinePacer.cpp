#include "sim/LinePacer.h"

#include <algorithm>

CLinePacer::CLinePacer(int baud, bool paced)
    : m_bPaced(paced && baud > 0)
    , m_byteTime(m_bPaced ? std::chrono::duration_cast<Clock::duration>(
                     std::chrono::nanoseconds((10'000'000'000LL + baud / 2) / baud))
                          : Clock::duration::zero())
{
}

CLinePacer::Clock::time_point CLinePacer::Receive(Clock::time_point readAt)
{
    if (!m_bPaced)
        return readAt;
    m_rxLineFree = std::max(m_rxLineFree, readAt) + m_byteTime;
    return m_rxLineFree;
}

CLinePacer::Clock::time_point CLinePacer::Transmit(Clock::time_point readyAt)
{
    if (!m_bPaced)
        return readyAt;
    m_txLineFree = std::max(m_txLineFree, readyAt) + m_byteTime;
    return m_txLineFree;
}
