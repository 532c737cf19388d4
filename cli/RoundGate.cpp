#include "cli/RoundGate.h"

CRoundGate::CRoundGate(int stations, std::function<bool()> betweenRounds)
    : m_betweenRounds(std::move(betweenRounds)), m_nStations(stations)
{
}

bool CRoundGate::Arrive()
{
    std::unique_lock lock(m_mutex);
    if (!m_bGoOn)
        return false;
    const unsigned generation = m_nGeneration;
    ++m_nWaiting;
    OpenWhenAllWait();
    m_cv.wait(lock, [&] { return m_nGeneration != generation; });
    return m_bGoOn;
}

void CRoundGate::Leave()
{
    std::unique_lock lock(m_mutex);
    --m_nStations;
    OpenWhenAllWait();
}

void CRoundGate::OpenWhenAllWait()
{
    if (m_nWaiting == 0 || m_nWaiting < m_nStations)
        return;
    // The others are blocked here anyway; holding the lock while the user
    // is asked keeps a late Leave from opening the gate a second time.
    m_bGoOn = !m_betweenRounds || m_betweenRounds();
    m_nWaiting = 0;
    ++m_nGeneration;
    m_cv.notify_all();
}
