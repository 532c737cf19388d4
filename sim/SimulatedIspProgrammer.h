#pragma once

#include <memory>
#include <optional>
#include <string>

#include "isp/CableDescription.h"
#include "isp/IspProgrammer.h"
#include "sim/SimChip.h"

class CProgrammer;
class CSimIspRig;

struct SimIspOptions {
    SimChipType chip = SimChipType::AT89S52;
    // How the simulated cable is really wired; by default as the backend
    // believes it is (the same cable file).
    std::optional<CableDescription> wiring;
    // The chip's memory and lock level: loaded from this file when it
    // exists, saved to it when the backend goes. Empty: a fresh chip, not
    // kept.
    std::string statePath;
};

struct SimulatedIspProgrammer {
    std::unique_ptr<CIspProgrammer> backend;
    // Owned by the backend's port: valid while the backend lives.
    CSimIspRig* rig = nullptr;
};

// The parallel-port backend on a simulated cable with an AT89S51/52 at its
// end, initialised as the real one would be (status 4 is posted through the
// controller). A state file that cannot be loaded is shown through the
// controller's message sink; the chip then starts erased and the file is
// left alone.
SimulatedIspProgrammer MakeSimulatedIspProgrammer(CProgrammer& controller, int cableType,
                                                  int latchMode,
                                                  const SimIspOptions& options = {});
