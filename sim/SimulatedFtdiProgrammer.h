#pragma once

#include <memory>

#include "isp/FtdiProgrammer.h"
#include "sim/SimIspOptions.h"

class CProgrammer;
class CSimFtdiRig;

struct SimulatedFtdiProgrammer {
    std::unique_ptr<CFtdiProgrammer> backend;
    // Owned by the backend's lines: valid while the backend lives; nullptr
    // when the cable was not found.
    CSimFtdiRig* rig = nullptr;
};

// The FTDI backend on a simulated cable with an AT89S51/52 on its lines,
// opened as the real one would be: the host's wiring from "Quenby.ini" and
// programmer.m_strPortPath, status 4 or 1 posted through the controller.
// The chip is really wired as options.ftdiWiring says (by default as the
// host believes).
SimulatedFtdiProgrammer MakeSimulatedFtdiProgrammer(CProgrammer& controller,
                                                    const SimIspOptions& options = {});
