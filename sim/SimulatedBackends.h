#pragma once

#include "programmer/BackendTable.h"
#include "sim/SimIspOptions.h"

// The simulated kinds of ISP programmer, each on a simulated AT89S51/52 with
// the same pin-level rules as the bench: the parallel-port cables (types 1
// to 3), GPIO lines (4), an FTDI cable (5) and Linux SPI (6). Opening one
// posts what the real one would.
CBackendTable SimulatedIspBackends(const SimIspOptions& options);
