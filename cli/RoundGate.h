#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

// Holds the stations of a gang run between two rounds until all of them
// are through the round, then lets one of them run the step between
// rounds (wait for Enter) once for all. A station that has no more rounds
// leaves instead of arriving.
class CRoundGate {
public:
    // betweenRounds returns false when the run is to stop.
    CRoundGate(int stations, std::function<bool()> betweenRounds);

    // Blocks until every station still in has arrived; true to go on.
    bool Arrive();
    void Leave();

private:
    // With the lock held: when every station still in is waiting, opens.
    void OpenWhenAllWait();

    std::function<bool()> m_betweenRounds;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_nStations;
    int m_nWaiting = 0;
    unsigned m_nGeneration = 0;
    bool m_bGoOn = true;
};
