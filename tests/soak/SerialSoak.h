#pragma once

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sim/BoardSimulator.h"
#include "tests/soak/SoakCase.h"
#include "tests/soak/SoakOptions.h"

class CSessionBench;
class CSoakReport;

// Auto runs (erase, write, verify) against the simulated programmer board,
// one session kept across runs as the window keeps it, with a fault from
// BoardFaults injected at random before each run. A run must end as its
// fault calls for, with nothing left over for the next one; after the board
// hung up, the program is started afresh, as a user would have to.
class CSerialSoak {
public:
    using Options = SoakOptions;

    CSerialSoak(Options options, CSoakReport& report);
    ~CSerialSoak();

    using Progress = SoakProgress;
    // Runs them all.
    void Run(const Progress& progress);

private:
    SoakCase PickCase(int blocks, BoardFaults& faults);
    bool StartProgram();
    void RunOne(int number, const Progress& progress);
    bool StartsClean(int number);
    void CheckChip(int number, const std::vector<std::uint8_t>& image);

    Options m_options;
    CSoakReport& m_report;
    std::mt19937 m_random;
    CBoardSimulator m_board;
    std::unique_ptr<CSessionBench> m_pBench;
    std::string m_strImagePath;
    int m_nRestarts = 0;
};
