#pragma once

#include <memory>
#include <optional>
#include <string>

#include "isp/CableDescription.h"
#include "isp/IspProgrammer.h"
#include "sim/SimChip.h"
#include "sim/SimIspOptions.h"

class CProgrammer;
class CSimIspRig;

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
