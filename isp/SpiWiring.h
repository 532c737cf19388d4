#pragma once

#include <string>

#include "isp/GpioWiring.h"
#include "isp/IspLines.h"

// Where ISP over Linux SPI (programmer type 6) finds its lines: MOSI, MISO
// and SCK on a spidev device (the Raspberry Pi's hardware SPI), RST on one
// GPIO line, read from the "SPI" section of "Quenby.ini" (keys Device, Chip,
// RST). The defaults are the Raspberry Pi's: /dev/spidev0.0 (SPI0, header
// pins 19, 21, 23) and RST on GPIO25 (pin 22) of the header's GPIO
// controller.
//
// The command line names the same as "spidev0.0[:CHIP:LINE]": the device,
// and optionally RST's chip and line.
struct SpiWiring {
    static constexpr const char* kSection = "SPI";

    std::string m_strDevice = "/dev/spidev0.0";
    // RST's GPIO chip, as [GPIO] Chip takes it; empty: the chip the GPIO
    // kind uses by default (the 40-pin header's controller).
    std::string m_strRstChip;
    int m_nRst = 25;

    // The defaults where the file or a key is missing.
    static SpiWiring FromIni(const std::string& iniPath);

    // true for text meant as a spidev address, well formed or not.
    static bool LooksLikeOne(const std::string& text);
    // Takes "spidevB.C" or "/dev/spidevB.C", optionally followed by
    // ":CHIP:LINE" for RST, in place of what it names. Empty when taken;
    // otherwise why not, and nothing is changed.
    std::string ApplyPort(const std::string& text);
    // The user's form: "spidev0.0:gpiochip0:25".
    std::string ToString() const;

    // RST's line as the GPIO line request takes it: only RST is asked for;
    // MOSI, MISO and SCK belong to the SPI controller.
    GpioWiring RstWiring() const;
    // Empty when usable; otherwise what is wrong (a negative RST line).
    std::string Problem() const;

    // The spidev device refused a step ("open", "SPI mode 0", ...): the
    // device, the step, the system's reason and the fix, with the parts of
    // the log line (kind "SPI").
    LinesOpenFailure Failure(int error, const std::string& step) const;
    // RST's GPIO request failed: its failure, pointed at the [SPI] section.
    LinesOpenFailure RstFailure(LinesOpenFailure gpio) const;
};
