#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>

#include "isp/CableDescription.h"
#include "isp/FtdiWiring.h"
#include "isp/GpioWiring.h"
#include "isp/SpiWiring.h"
#include "sim/SimChip.h"
#include "sim/SimIspTarget.h"

// What a simulated ISP bench holds and how it is really wired. Every wiring
// defaults to what the host believes (the same "Quenby.ini"), so a bench
// only differs from its description when a test says so.
struct SimIspOptions {
    SimChipType chip = SimChipType::AT89S52;
    // The parallel-port cable's real wiring (types 1 to 3).
    std::optional<CableDescription> wiring;
    // The GPIO chip's real wiring (type 4): its name, and on which of its
    // lines the target's pins sit.
    std::optional<GpioWiring> gpioWiring;
    // The simulated GPIO chip's number of lines (a Raspberry Pi's gpiochip0
    // has 54) and the lines some other consumer holds.
    int gpioLineCount = 54;
    std::map<int, std::string> gpioBusyLines;
    // The FTDI cable's real wiring (type 5): on which of D0..D7 the target's
    // pins sit; and the ids the simulated chip answers to.
    std::optional<FtdiWiring> ftdiWiring;
    int ftdiVendor = 0x0403;
    int ftdiProduct = 0x6001;
    std::string ftdiSerial = "TL000001";
    // The SPI bench's real wiring (type 6): its spidev device, and on which
    // line of which GPIO chip the target's RST sits.
    std::optional<SpiWiring> spiWiring;
    // The user lacks access to the GPIO chip, the FTDI cable or the SPI
    // device (no udev rule, not in the group).
    bool accessDenied = false;
    // The chip's memory and lock level: loaded from this file when it
    // exists, saved to it when the backend goes. Empty: a fresh chip, not
    // kept.
    std::string statePath;
    // The crystal the target really runs on, in MHz; 0: the one the host
    // believes ([ISP] Crystal or --crystal).
    double crystalMHz = 0;
    // What a GPIO line set or read costs (a system call on the bench).
    std::chrono::nanoseconds gpioLineTime{1000};
    // One USB round trip of the FTDI cable; zero: the chip family's usual.
    std::chrono::nanoseconds ftdiLatency{0};
    // How much faster than asked the FTDI chip's rate generator runs
    // (libftdi accepts up to 0.05).
    double ftdiRateError = 0;
    // MISO stuck at one level (a broken wire, a chip without power).
    CSimIspTarget::MisoFault misoFault = CSimIspTarget::MisoFault::None;
};

class CProgrammer;
class CSimTargetBoard;

// Sets up a made bench's target as options say: its real crystal (by
// default the one the controller's host believes) and its MISO fault.
void PrepareSimTarget(CSimTargetBoard& board, const CProgrammer& host,
                      const SimIspOptions& options);
