#pragma once

#include <memory>
#include <random>
#include <string>

#include "tests/soak/SoakCase.h"
#include "tests/soak/SoakOptions.h"

class CSessionBench;
class CSimIspRig;
class CSoakReport;

// Auto runs (erase, write, verify) on the simulated parallel-port cable with
// an AT89S52 at its end, one session per cable type, with a fault from the
// simulator's switches injected at random before each run: MISO stuck high
// or low, a locked chip with or without the erase step.
class CCableSoak {
public:
    using Options = SoakOptions;
    using Progress = SoakProgress;

    CCableSoak(Options options, CSoakReport& report);
    ~CCableSoak();

    void Run(const Progress& progress);

private:
    bool StartProgram(int cableType);
    SoakCase PickCase(bool detectFirst, bool& skipErase);
    void RunOne(int number, const Progress& progress);

    Options m_options;
    CSoakReport& m_report;
    std::mt19937 m_random;
    std::unique_ptr<CSessionBench> m_pBench;
    CSimIspRig* m_pRig = nullptr;  // owned by the bench's backend
    std::string m_strImagePath;
};
