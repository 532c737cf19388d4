#pragma once

#include <memory>

#include "isp/GpioProgrammer.h"
#include "sim/SimIspOptions.h"

class CProgrammer;
class CSimGpioRig;

struct SimulatedGpioProgrammer {
    std::unique_ptr<CGpioProgrammer> backend;
    // Owned by the backend's lines: valid while the backend lives; nullptr
    // when the request was refused.
    CSimGpioRig* rig = nullptr;
};

// The GPIO backend on a simulated chip with an AT89S51/52 on its lines,
// opened as the real one would be: the host's wiring from "Quenby.ini" and
// programmer.m_strPortPath, status 4 or 1 posted through the controller.
// The chip is really wired as options.gpioWiring says (by default as the
// host believes).
SimulatedGpioProgrammer MakeSimulatedGpioProgrammer(CProgrammer& controller,
                                                    const SimIspOptions& options = {});
