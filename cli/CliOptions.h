#pragma once

#include <string>
#include <vector>

#include "cli/GangOptions.h"
#include "settings/core/SettingsRecord.h"
#include "sim/BoardFaults.h"
#include "sim/SimIspTarget.h"

// The device commands' options, as given on the command line and checked
// for form (files and the catalogue are checked later).
struct CliOptions {
    int programmer = 0;           // 0 serial board; 1..3 parallel-port cables;
                                  // 4 GPIO lines; 5 FTDI cable; 6 Linux SPI
    std::string port = "COM1";    // COM1..COM4, a device path, a GPIO chip
                                  // or an FTDI cable (ftdi[:VID:PID[:SERIAL]])
                                  // or an SPI device (spidev0.0[:CHIP:LINE])
    int comPort = 1;              // 1..4; the number error texts name
    std::string portPath;         // empty for COMn (resolved by the backend)
                                  // and for the wiring file's GPIO chip or cable
    int baudSel = 0;              // 0: 115200, 1: 57600
    int latch = 0;                // the fourth setting: latch mode of cable type 1, 0..2
    std::string device = "0";     // a catalogue index or an exact name
    std::string catalogue;        // empty: the program folder's
    bool simulate = false;
    std::string simState;
    double crystalMHz = 0;        // --crystal: the ISP target's crystal; 0: Quenby.ini's
    double simCrystalMHz = 0;     // --sim-crystal: the simulated target's real one; 0: as believed
    bool pageWrite = false;       // --page-write: page-mode writes on the streaming kinds
    // --sim-fault KIND[=K] on the single-port commands: the simulated
    // board's faults (programmer 0) or the simulated chip's (the ISP kinds).
    BoardFaults boardFaults;
    CSimIspTarget::MisoFault misoFault = CSimIspTarget::MisoFault::None;
    double timeoutSeconds = 30.0;
    std::string command;          // check, detect, erase, blank, write, read, verify, lock,
                                  // auto, gang
    std::string file;             // write, read, verify, auto, gang
    int lockLevel = 0;            // lock: 1..3
    // auto: the buttons marked for the run, and the detect-first setting.
    bool markLoad = false;
    bool markErase = true;
    bool markWrite = true;
    bool markRead = false;
    bool markVerify = true;
    bool markBlank = false;       // a blank check after the erase (no button)
    bool detectFirst = false;
    GangOptions gang;             // gang only
    std::string lang;             // "zh", "en" or empty (TAMBERLINK_LANG, else zh)
    bool progressJson = false;    // --progress json: JSON lines on stderr
};

// The outcome of parsing: error is empty on success. words holds the
// command words for the commands this parser does not know (hex2bin,
// devices), with only --catalogue allowed among their options.
struct CliParseResult {
    CliOptions options;
    std::vector<std::string> words;
    std::string error;
    bool help = false;
    bool version = false;
};

CliParseResult ParseCliOptions(const std::vector<std::string>& args);
// The short usage text, for stderr after an error.
const char* CliUsage();
// The full text of --help: every command, option and exit status.
const char* CliHelp();
// Sets the port fields as --port value does; the error text, or empty.
std::string ApplyPortOption(const std::string& value, CliOptions& options);
// The settings a device command starts the session with.
SettingsRecord SettingsFromOptions(const CliOptions& options, int deviceIndex);
