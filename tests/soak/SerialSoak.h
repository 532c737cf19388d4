#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sim/BoardSimulator.h"
#include "tests/soak/SoakCase.h"

class CSessionBench;
class CSoakReport;

// Auto runs (erase, write, verify) against the simulated programmer board,
// one session kept across runs as the window keeps it, with a fault from
// BoardFaults injected at random before each run. A run must end as its
// fault calls for, with nothing left over for the next one; after the board
// hung up, the program is started afresh, as a user would have to.
class CSerialSoak {
public:
    struct Options {
        int runs = 1000;
        std::uint32_t seed = 1;
        std::chrono::milliseconds stepTimeout{2000};
        std::string folder;          // scratch folder: catalogue, image file
        std::string cataloguePath;
        bool verbose = false;
    };

    CSerialSoak(Options options, CSoakReport& report);
    ~CSerialSoak();

    // Called with a run's name as it starts, and with "" when it is over.
    using Progress = std::function<void(const std::string&)>;
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
