#include "isp/IspTiming.h"

#include <cmath>

std::chrono::nanoseconds IspTiming::MinSckPhase(double crystalHz)
{
    return std::chrono::nanoseconds(
        std::llround(std::ceil(kSckPhasePeriods * kSckMargin * 1e9 / crystalHz)));
}

std::chrono::nanoseconds IspTiming::ByteWriteCycle(double crystalHz)
{
    const double seconds = kWriteCyclePeriods / crystalHz
        + std::chrono::duration<double>(kWriteCycleFixed).count();
    return std::chrono::nanoseconds(std::llround(std::ceil(seconds * kWriteCycleMargin * 1e9)));
}

double IspTiming::MaxPhaseRate(double crystalHz)
{
    return crystalHz / (kSckPhasePeriods * kSckMargin);
}
