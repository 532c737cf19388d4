#include "cli/CliOptions.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>

#include "isp/FtdiAddress.h"
#include "isp/IspSettings.h"
#include "isp/SpiWiring.h"
#include "platform/UiLanguage.h"
#include "programmer/SerialPort.h"

namespace {

const std::set<std::string> kDeviceCommands = {"check", "detect", "erase", "blank", "write",
                                               "read",  "verify", "lock",  "auto",  "gang"};
const std::set<std::string> kFileCommands = {"write", "read", "verify", "auto", "gang"};

// "COM" and digits in any case: a port name, even when out of range.
bool LooksLikeComName(const std::string& text)
{
    if (text.size() < 4)
        return false;
    for (std::size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != "COM"[i])
            return false;
    for (std::size_t i = 3; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

bool ParseSteps(const std::string& list, CliOptions& options, std::string& error)
{
    options.markLoad = options.markErase = options.markWrite = false;
    options.markRead = options.markVerify = options.markBlank = false;
    std::stringstream stream(list);
    std::string step;
    while (std::getline(stream, step, ',')) {
        if (step == "load")
            options.markLoad = true;
        else if (step == "erase")
            options.markErase = true;
        else if (step == "write")
            options.markWrite = true;
        else if (step == "read")
            options.markRead = true;
        else if (step == "verify")
            options.markVerify = true;
        else if (step == "blank")
            options.markBlank = true;
        else {
            error = "unknown step '" + step
                + "' in --steps (load, erase, blank, write, read, verify)";
            return false;
        }
    }
    return true;
}

}  // namespace

const char* CliUsage()
{
    return "Usage: tamberlink-cli [OPTIONS] COMMAND [ARG]\n"
           "  or:  tamberlink-cli [OPTIONS] gang --ports P1,P2,... FILE [GANG OPTIONS]\n"
           "  or:  tamberlink-cli hex2bin IN OUT\n"
           "  or:  tamberlink-cli convert IN OUT\n"
           "  or:  tamberlink-cli devices [--catalogue FILE]\n"
           "  or:  tamberlink-cli --help | --version\n";
}

const char* CliHelp()
{
    return "Usage: tamberlink-cli [OPTIONS] COMMAND [ARG]\n"
           "  or:  tamberlink-cli [OPTIONS] gang --ports P1,P2,... FILE [GANG OPTIONS]\n"
           "  or:  tamberlink-cli hex2bin IN OUT\n"
           "  or:  tamberlink-cli convert IN OUT\n"
           "  or:  tamberlink-cli devices [--catalogue FILE]\n"
           "  or:  tamberlink-cli --help | --version\n"
           "\n"
           "Drives an 8051 programmer as the window does and prints its log lines.\n"
           "\n"
           "commands:\n"
           "  check              ask the programmer whether it is ready\n"
           "  detect             read the device's signature and name the device\n"
           "  erase              erase the device\n"
           "  blank              read the device and say whether it is blank (exit 1\n"
           "                     when it is not)\n"
           "  write FILE         load FILE (see files below) and write it\n"
           "  read FILE          read the device and save the image up to its last used\n"
           "                     byte (.hex, .ihx, .ihex: as Intel HEX, else raw binary)\n"
           "  verify FILE        load FILE, read the device back and compare the first\n"
           "                     64 KB\n"
           "  lock 1|2|3         write the lock bits of that level\n"
           "  auto FILE          load FILE, check, then the steps of --steps\n"
           "  gang FILE          run auto FILE on every port of --ports at once, one\n"
           "                     programmer board on each; every log line starts with\n"
           "                     \"[PORT] \", and a table of the chips ends the run\n"
           "  hex2bin IN OUT     convert IN as the Load file command does, write it to OUT\n"
           "  convert IN OUT     the same, OUT written as read FILE saves (an S-record\n"
           "                     name for OUT is refused)\n"
           "  devices            list the device catalogue\n"
           "\n"
           "options:\n"
           "  --programmer N     0 the serial programmer board (default); 1, 2 or 3 a\n"
           "                     parallel-port ISP cable of that type; 4 ISP over GPIO\n"
           "                     lines; 5 ISP over an FTDI cable in bit-bang mode; 6 ISP\n"
           "                     over Linux SPI (spidev) with RST on a GPIO line (wiring\n"
           "                     of 4 to 6: [GPIO], [FTDI] and [SPI] in Quenby.ini)\n"
           "  --port PORT        COM1..COM4 (default COM1; device paths from [Ports] in\n"
           "                     Tamber_Info.ini, else /dev/ttyS0..3) or a device path\n"
           "                     such as /dev/ttyUSB0; with --programmer 4 a GPIO chip\n"
           "                     (gpiochip0), with 5 an FTDI cable: ftdi (the first one\n"
           "                     found) or ftdi:VID:PID[:SERIAL], with 6 an SPI device\n"
           "                     and optionally RST's GPIO chip and line:\n"
           "                     spidev0.0[:gpiochip0:25]\n"
           "  --baud RATE        115200 (default) or 57600\n"
           "  --latch N          the ISP setting, the latch mode of cable type 1:\n"
           "                     0 (default), 1 or 2\n"
           "  --crystal MHZ      ISP: the target's crystal in MHz (default: Crystal in the\n"
           "                     [ISP] section of Quenby.ini, else 12); the serial clock\n"
           "                     and the write timing follow it\n"
           "  --page-write       --programmer 4 and up: write in page mode, 256 bytes an\n"
           "                     instruction, each page polled until done (as PageWrite=1\n"
           "                     in the [ISP] section of Quenby.ini)\n"
           "  --device D         a catalogue index (default 0) or an exact device name\n"
           "  --catalogue FILE   the device catalogue (default: the user's own\n"
           "                     $XDG_CONFIG_HOME/tamberlink/ChipList.chip when it\n"
           "                     exists, else ChipList.chip in the program folder)\n"
           "  --simulate         no hardware: a simulated board serves the port (with\n"
           "                     --programmer 1..6 a simulated cable), holding a blank\n"
           "                     AT89S52, or an AT89S51 when that device is chosen\n"
           "  --sim-state FILE   with --simulate: load the simulated chip from FILE when\n"
           "                     it exists and save it there after the run, so that its\n"
           "                     memory and lock level last from one run to the next\n"
           "  --sim-crystal MHZ  with --simulate and an ISP programmer: the crystal the\n"
           "                     simulated target really runs on (default: --crystal's)\n"
           "  --sim-fault KIND[=K]\n"
           "                     with --simulate: the simulated board shows a fault, as\n"
           "                     gang's --sim-fault without the port; with an ISP\n"
           "                     programmer the chip's MISO is stuck: miso-low, miso-high\n"
           "  --timeout SECONDS  a step that reports nothing for this long ends as a\n"
           "                     failure (default 30)\n"
           "  --steps LIST       auto, gang: the steps to take, from\n"
           "                     load,erase,blank,write,read,verify, taken in this\n"
           "                     order (default erase,write,verify); blank fails the\n"
           "                     run when the chip is not blank\n"
           "  --detect           auto, gang: detect the device before the other steps\n"
           "  --sim-fault KIND[=K]\n"
           "                     with --simulate, on the serial board: the board shows a\n"
           "                     fault, one of gang's --sim-fault kinds; may be repeated\n"
           "  --progress json    the progress of writes, reads and verifies as one JSON\n"
           "                     object per line on stderr instead of the terminal's\n"
           "                     progress line: {\"step\":\"write\",\"done\":4096,\n"
           "                     \"total\":8192}, at most ten a second and one at each\n"
           "                     step's end (gang: \"port\" first)\n"
           "  --lang zh|en       the language of the log lines and messages: zh\n"
           "                     (default) or en, for every command\n"
           "  --help, -h         show this text\n"
           "  --version          show the program's name and version\n"
           "\n"
           "gang options:\n"
           "  --ports P1,P2,...  the ports, each as --port takes it, one board on each;\n"
           "                     with --simulate each name is a simulated board of its own\n"
           "  --serial ADDR:START[:STEP[:BYTES[:le|be]]]\n"
           "                     write a serial number into each chip's copy of the image\n"
           "                     at ADDR: START, then every STEP (default 1) up, in BYTES\n"
           "                     bytes (default 4), little-endian (le, default) or\n"
           "                     big-endian (be). A number is taken when its chip's write\n"
           "                     starts and never again, whether the chip passes or not\n"
           "  --serial-state F   keep the next serial number in F (made holding START when\n"
           "                     missing), updated on disk before each write begins\n"
           "  --log F            append one JSON line per chip to F: time, port, device,\n"
           "                     signature, image file and its SHA-256, serial number,\n"
           "                     checksum of the image written and of the last read,\n"
           "                     steps, outcome, last log line, seconds\n"
           "  --rounds N         program N chips on each port (default 1); between rounds\n"
           "                     wait for Enter on a terminal (Ctrl-D ends the run), or go\n"
           "                     on at once when the input is not a terminal\n"
           "  --wait-chip        between rounds, poll each port with detect until its chip\n"
           "                     is taken out and a new one answers, instead of Enter\n"
           "  --sim-fault P:KIND[=K]\n"
           "                     with --simulate: port P's board shows a fault, one of\n"
           "                     never-answer, garbage, no-end-answer (the frame that\n"
           "                     ends a write is not answered), drop-ack=K,\n"
           "                     fail-block=K, lose-read-block=K, reply-delay=MS,\n"
           "                     close-after-block=K\n"
           "                     (as tamberlink-board-sim's options); may be repeated\n"
           "  --sim-state DIR    with --simulate: port P's chip is kept in DIR/P.state\n"
           "\n"
           "files:\n"
           "  Image files are read by their extension, in any case: .hex .ihx .ihex Intel\n"
           "  HEX; .s19 .s28 .s37 .srec .mot Motorola S-records; anything else a raw\n"
           "  binary image.\n"
           "\n"
           "exit status:\n"
           "  0  success (gang: every chip passed)\n"
           "  1  the sequence failed or timed out, or the image file does not convert\n"
           "     (no chip operation is run then)\n"
           "  2  usage error, or a file that cannot be read\n"
           "  3  the programmer cannot be reached: its port is missing, busy, not\n"
           "     permitted, has no UART, is no terminal or echoes, or the first\n"
           "     ready check got no answer\n"
           "     (gang: on any of the ports)\n"
           "\n"
           "environment:\n"
           "  TAMBERLINK_LANG    zh or en: the language when --lang is not given. The\n"
           "                     log lines are read by scripts, so they stay Chinese\n"
           "                     whatever the locale says unless one of the two asks\n"
           "                     for English\n";
}

std::string ApplyPortOption(const std::string& value, CliOptions& options)
{
    if (value.empty())
        return "--port needs a COM port or a device path";
    if (LooksLikeComName(value)) {
        options.comPort = CSerialPort::ComNumberFromText(value);
        if (options.comPort == 0)
            return "--port must be COM1..COM4 or a device path";
        options.portPath.clear();
    } else {
        options.portPath = value;
    }
    options.port = value;
    return {};
}

namespace {

// A fault of the one simulated bench: the chip's MISO for the ISP kinds,
// the board's faults (as gang takes them, without the port) for the board.
std::string ApplySingleFault(const std::string& text, CliOptions& options)
{
    if (text == "miso-low" || text == "miso-high") {
        if (options.programmer == 0)
            return "--sim-fault: " + text
                + " is a fault of the ISP programmers' chip (--programmer 1 and up)";
        options.misoFault = text == "miso-low" ? CSimIspTarget::MisoFault::StuckLow
                                               : CSimIspTarget::MisoFault::StuckHigh;
        return {};
    }
    if (options.programmer != 0)
        return "--sim-fault: the ISP programmers' chip shows miso-low or miso-high";
    return ApplyBoardFault(text, options.boardFaults);
}

// Applies one valued option; the error text, or empty.
std::string ApplyOption(const std::string& arg, const std::string& value, CliOptions& options,
                        std::string& steps)
{
    if (arg == "--programmer") {
        if (value.size() != 1 || value[0] < '0' || value[0] > '6')
            return "--programmer must be 0 to 6";
        options.programmer = value[0] - '0';
    } else if (arg == "--port") {
        return ApplyPortOption(value, options);
    } else if (arg == "--latch") {
        if (value != "0" && value != "1" && value != "2")
            return "--latch must be 0, 1 or 2";
        options.latch = value[0] - '0';
    } else if (arg == "--baud") {
        if (value == "115200")
            options.baudSel = 0;
        else if (value == "57600")
            options.baudSel = 1;
        else
            return "--baud must be 115200 or 57600";
    } else if (arg == "--device") {
        if (value.empty())
            return "--device needs an index or a name";
        options.device = value;
    } else if (arg == "--catalogue") {
        options.catalogue = value;
    } else if (arg == "--sim-state") {
        if (value.empty())
            return "--sim-state needs a file";
        options.simState = value;
    } else if (arg == "--crystal" || arg == "--sim-crystal") {
        const double mhz = IspSettings::ParseCrystal(value);
        if (mhz <= 0)
            return arg + " must be a crystal frequency in MHz above 0, at most 40 (such as 12 or"
                         " 11.0592)";
        (arg == "--crystal" ? options.crystalMHz : options.simCrystalMHz) = mhz;
    } else if (arg == "--timeout") {
        char* end = nullptr;
        errno = 0;
        const double seconds = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || errno != 0 || !std::isfinite(seconds)
            || seconds <= 0 || seconds > 86400.0)
            return "--timeout must be a number of seconds above 0 (at most 86400)";
        options.timeoutSeconds = seconds;
    } else if (arg == "--steps") {
        steps = value;
    } else if (arg == "--progress") {
        if (value != "json")
            return "--progress must be json";
        options.progressJson = true;
    } else if (arg == "--lang") {
        if (!UiLanguageFromName(value))
            return "--lang must be zh or en";
        options.lang = value;
    } else {
        return ApplyGangOption(arg, value, options.gang);
    }
    return {};
}

}  // namespace

CliParseResult ParseCliOptions(const std::vector<std::string>& args)
{
    CliParseResult result;
    CliOptions& options = result.options;
    std::set<std::string> given;
    std::string steps;
    std::vector<std::string> simFaults;

    auto fail = [&result](std::string error) {
        result.error = std::move(error);
        return result;
    };

    // The first faulty option is kept, not reported at once: a mistyped
    // command word must be named as such whatever options come with it.
    std::string optionError;
    auto note = [&optionError](std::string error) {
        if (optionError.empty())
            optionError = std::move(error);
    };

    static const std::set<std::string> kValued = {
        "--programmer", "--port",    "--baud",  "--device",  "--catalogue",   "--sim-state",
        "--timeout",    "--steps",   "--latch", "--lang",   "--crystal",     "--sim-crystal",
        "--progress"};
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.help = true;
            return result;
        }
        if (arg == "--version") {
            result.version = true;
            return result;
        }
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            result.words.push_back(arg);
            continue;
        }
        bool gangValued = false;
        if (arg == "--wait-chip" || (IsGangOption(arg, gangValued) && !gangValued)) {
            given.insert(arg);
            note(ApplyGangOption(arg, {}, options.gang));
            continue;
        }
        if (arg == "--simulate" || arg == "--detect" || arg == "--page-write") {
            given.insert(arg);
            if (arg == "--simulate")
                options.simulate = true;
            else if (arg == "--page-write")
                options.pageWrite = true;
            else
                options.detectFirst = true;
            continue;
        }
        if (!kValued.count(arg) && !gangValued) {
            note("unknown option " + arg);
            continue;
        }
        if (i + 1 >= args.size()) {
            note(arg + " needs a value");
            break;
        }
        const std::string& value = args[++i];
        if (arg == "--sim-fault") {
            given.insert(arg);
            simFaults.push_back(value);
            continue;
        }
        if (!given.insert(arg).second) {
            note(arg + " given twice");
            continue;
        }
        // Its form depends on the command (gang names a port), known later.
        if (arg == "--sim-fault") {
            simFaults.push_back(value);
            continue;
        }
        note(ApplyOption(arg, value, options, steps));
    }

    if (result.words.empty())
        return fail(optionError.empty() ? "no command given" : optionError);
    const std::string& command = result.words[0];
    const bool converts = command == "hex2bin" || command == "convert";
    if (!kDeviceCommands.count(command) && !converts && command != "devices")
        return fail("unknown command '" + command + "'");
    if (!optionError.empty())
        return fail(optionError);
    if (converts && result.words.size() != 3)
        return fail(command + " needs IN and OUT");
    if (command == "devices" && result.words.size() != 1)
        return fail("unexpected argument '" + result.words[1] + "'");
    if (!kDeviceCommands.count(command)) {
        // hex2bin, convert and devices take no device options.
        for (const std::string& option : given)
            if (option != "--catalogue" && option != "--lang")
                return fail(option + " does not apply to " + command);
        return result;
    }

    options.command = command;
    const std::size_t needed = kFileCommands.count(command) || command == "lock" ? 2 : 1;
    if (result.words.size() != needed) {
        if (result.words.size() < needed)
            return fail(command + " needs " + (command == "lock" ? "a level" : "a file"));
        return fail("unexpected argument '" + result.words[needed] + "'");
    }
    if (command == "lock") {
        const std::string& level = result.words[1];
        if (level != "1" && level != "2" && level != "3")
            return fail("lock needs a level of 1, 2 or 3");
        options.lockLevel = level[0] - '0';
    } else if (needed == 2) {
        options.file = result.words[1];
        if (options.file.empty())
            return fail(command + " needs a file");
    }
    if (command != "auto" && command != "gang"
        && (given.count("--steps") || given.count("--detect")))
        return fail("--steps and --detect apply to auto and gang only");
    if (command != "gang")
        for (const std::string& option : given) {
            bool valued = false;
            if (IsGangOption(option, valued) && option != "--sim-fault")
                return fail(option + " applies to gang only");
        }
    for (const std::string& fault : simFaults) {
        const std::string error = command == "gang"
            ? ApplyGangOption("--sim-fault", fault, options.gang)
            : ApplySingleFault(fault, options);
        if (!error.empty())
            return fail(error);
    }
    if (!simFaults.empty() && command != "gang" && !options.simulate)
        return fail("--sim-fault needs --simulate");
    if (given.count("--steps")) {
        std::string error;
        if (!ParseSteps(steps, options, error))
            return fail(error);
    }
    if (given.count("--port")) {
        std::string error;
        if (options.programmer == 5 && !FtdiAddress::Parse(options.port, &error))
            return fail("--port: " + error);
        if (options.programmer == 4
            && (LooksLikeComName(options.port) || FtdiAddress::LooksLikeOne(options.port)))
            return fail("--port for GPIO lines names a GPIO chip, such as gpiochip0");
        if (options.programmer == 6)
            if (const std::string spiError = SpiWiring{}.ApplyPort(options.port); !spiError.empty())
                return fail("--port: " + spiError);
    }
    if (!options.simState.empty() && !options.simulate)
        return fail("--sim-state needs --simulate");
    if (given.count("--crystal") && options.programmer == 0)
        return fail("--crystal applies to the ISP programmers (--programmer 1 and up); the serial"
                    " programmer board clocks the chip itself");
    if (given.count("--page-write") && options.programmer < 4)
        return fail("--page-write applies to the kinds that stream their bytes (--programmer 4"
                    " and up)");
    if (given.count("--sim-crystal") && (!options.simulate || options.programmer == 0))
        return fail("--sim-crystal needs --simulate and an ISP programmer (--programmer 1 and up)");
    if (command == "gang") {
        if (given.count("--port"))
            return fail("gang takes its ports from --ports, not --port");
        if (options.programmer != 0)
            return fail("gang drives serial programmer boards (--programmer 0)");
        const std::string error = CheckGangOptions(options.gang, options.simulate,
                                                   options.markWrite, options.simState);
        if (!error.empty())
            return fail(error);
        if (!options.simulate)
            for (const std::string& port : options.gang.ports) {
                CliOptions one = options;
                const std::string portError = ApplyPortOption(port, one);
                if (!portError.empty())
                    return fail("--ports: " + port + ": " + portError);
            }
    }
    if (options.simulate && given.count("--port"))
        return fail("--simulate serves its own port; leave out --port");
    result.words.clear();
    return result;
}

SettingsRecord SettingsFromOptions(const CliOptions& options, int deviceIndex)
{
    SettingsRecord settings;
    settings.progType = options.programmer;
    settings.comPort = options.comPort;
    settings.baudSel = options.baudSel;
    settings.ispSetting = options.latch;
    settings.autoDetect = options.detectFirst ? 1 : 0;
    settings.soundOn = 0;
    settings.hotkeyOn = 0;
    settings.autoLoad = options.markLoad ? 1 : 0;
    settings.autoErase = options.markErase ? 1 : 0;
    settings.autoWrite = options.markWrite ? 1 : 0;
    settings.autoRead = options.markRead ? 1 : 0;
    settings.autoVerify = options.markVerify ? 1 : 0;
    settings.deviceIndex = deviceIndex;
    return settings;
}
