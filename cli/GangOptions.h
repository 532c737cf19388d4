#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/SerialNumberFormat.h"
#include "sim/BoardFaults.h"

// The gang command's own options.
struct GangOptions {
    std::vector<std::string> ports;  // as given, in order
    std::optional<SerialNumberFormat> serial;
    std::string serialState;
    std::string log;
    int rounds = 1;
    bool waitChip = false;
    // --sim-fault PORT:KIND[=K], by port: the faults its simulated board shows.
    std::map<std::string, BoardFaults> simFaults;
};

// Whether arg is one of the options above; valued tells whether it takes a
// value. Only --sim-fault may be given more than once.
bool IsGangOption(const std::string& arg, bool& valued);
// Applies one of them; the error text, or empty.
std::string ApplyGangOption(const std::string& arg, const std::string& value, GangOptions& gang);
// Checks that need several options at once (simulate: --simulate given;
// writes: the write step is among the steps). The error text, or empty.
std::string CheckGangOptions(const GangOptions& gang, bool simulate, bool writes,
                             const std::string& simState);
// Sets one fault from "KIND[=K]" (the simulated board's fault switches by
// the names tamberlink-board-sim gives them); the error text, or empty.
std::string ApplyBoardFault(const std::string& text, BoardFaults& faults);
