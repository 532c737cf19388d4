#pragma once

#include <ctime>

// CPU time of the calling thread, in seconds: the converters' own cost,
// whatever else the machine is doing.
inline double ThreadCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}
