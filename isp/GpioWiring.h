#pragma once

#include <string>

#include "isp/IspLines.h"

// Which lines of which GPIO chip carry the programming lines, read from the
// "GPIO" section of "Quenby.ini" (keys Chip, MOSI, MISO, SCK, RST), shaped
// like the type-1 cable's pin section. The defaults are the Raspberry Pi's
// 40-pin header: its controller, MOSI on GPIO10 (pin 19), MISO on GPIO9
// (pin 21), SCK on GPIO11 (pin 23), RST on GPIO25 (pin 22).
struct GpioWiring {
    static constexpr const char* kSection = "GPIO";
    // The labels of the header's controller, Raspberry Pi 5 (RP1), 4 and
    // older, as gpiodetect shows them. Its number varies: on a Pi 5 with a
    // kernel before 6.6.45 gpiochip0 is a SoC controller and the header is
    // gpiochip4.
    static constexpr const char* kHeaderChipLabels[] = {"pinctrl-rp1", "pinctrl-bcm2711",
                                                        "pinctrl-bcm2835"};
    // A line the request leaves alone: ISP over SPI asks for RST only.
    static constexpr int kNoLine = -1;

    // A chip name ("gpiochip0"), a device path ("/dev/gpiochip0"), a label
    // or a number, as gpiodetect lists them.
    std::string m_strChip = "gpiochip0";
    // No chip was given: the header's controller is looked for by its label
    // and m_strChip is taken only where none has one of those labels.
    bool m_bHeaderChip = true;
    // The system has a group "gpio" that opens GPIO chips to its members
    // (Raspberry Pi OS has one, Debian has not): only then does a refused
    // request suggest joining it. FromIni looks it up.
    bool m_bGpioGroup = false;
    int m_nMosi = 10;
    int m_nMiso = 9;
    int m_nSck = 11;
    int m_nRst = 25;

    // The defaults where the file or a key is missing.
    static GpioWiring FromIni(const std::string& iniPath);
    // Whether the system knows the group.
    static bool GroupExists(const char* name);

    // Empty when the lines can be asked for; otherwise what is wrong: a
    // negative line, or one line given for two purposes.
    std::string Problem() const;

    // The chip's device node as far as the name tells it ("gpiochip0" and
    // "0" give "/dev/gpiochip0"); a label is returned as it is.
    std::string DevicePath() const;
    // A failed request in the user's terms: the chip, the system's reason
    // and the fix. line is the line that was refused (-1: the chip itself);
    // lineCount the chip's number of lines, when line is beyond them;
    // consumer whoever holds a busy line.
    std::string Explain(int error, int line = -1, int lineCount = 0,
                        const std::string& consumer = {}) const;
    // The same, with the parts of the log line (kind "GPIO" and the fix).
    LinesOpenFailure Failure(int error, int line = -1, int lineCount = 0,
                             const std::string& consumer = {}) const;
    // A wiring that cannot be asked for (see Problem).
    LinesOpenFailure ProblemFailure(const std::string& problem) const;
};
