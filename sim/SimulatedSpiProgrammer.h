#pragma once

#include <memory>

#include "isp/SpiProgrammer.h"
#include "sim/SimIspOptions.h"

class CProgrammer;
class CSimSpiRig;

struct SimulatedSpiProgrammer {
    std::unique_ptr<CSpiProgrammer> backend;
    // Shared with the backend's lines; null when the open was refused.
    std::shared_ptr<CSimSpiRig> rig;
};

// The SPI backend on a simulated controller and GPIO chip with an
// AT89S51/52 on them, opened as the real one would be: the host's wiring
// from "Quenby.ini" and programmer.m_strPortPath, status 4 or 1 posted
// through the controller. The bench is really wired as options.spiWiring
// says (by default as the host believes).
SimulatedSpiProgrammer MakeSimulatedSpiProgrammer(CProgrammer& controller,
                                                  const SimIspOptions& options = {});
