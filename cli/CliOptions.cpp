#include "cli/CliOptions.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>

#include "programmer/SerialPort.h"

namespace {

const std::set<std::string> kDeviceCommands = {"check", "detect", "erase", "write",
                                               "read",  "verify", "lock",  "auto"};
const std::set<std::string> kFileCommands = {"write", "read", "verify", "auto"};

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
    options.markRead = options.markVerify = false;
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
        else {
            error = "unknown step '" + step + "' in --steps (load, erase, write, read, verify)";
            return false;
        }
    }
    return true;
}

}  // namespace

const char* CliUsage()
{
    return "usage: tamberlink-cli hex2bin IN OUT\n"
           "       tamberlink-cli devices [--catalogue FILE]\n"
           "       tamberlink-cli [--programmer N] [--port PORT] [--baud RATE] [--latch N]\n"
           "                      [--device D]\n"
           "                      [--catalogue FILE] [--simulate] [--sim-state FILE]\n"
           "                      [--timeout SECONDS] COMMAND [ARG]\n"
           "commands: check | detect | erase | write FILE | read FILE | verify FILE |\n"
           "          lock 1|2|3 | auto FILE [--steps LIST] [--detect]\n"
           "  --programmer 0 (serial board, default) or 1..3 (parallel-port cables)\n"
           "  --port COM1..COM4 (default COM1) or a device path\n"
           "  --baud 115200 (default) or 57600\n"
           "  --latch the ISP setting, the latch mode of cable type 1: 0 (default), 1 or 2\n"
           "  --device a catalogue index (default 0) or an exact device name\n"
           "  --steps the steps an auto run takes, from load,erase,write,read,verify\n"
           "          (default erase,write,verify); --detect detects the device first\n"
           "exit status: 0 success; 1 the sequence failed, timed out or the image did\n"
           "  not convert; 2 usage error or unreadable file; 3 the programmer cannot be\n"
           "  reached (port missing, busy, not permitted, no UART, or no answer)\n";
}

CliParseResult ParseCliOptions(const std::vector<std::string>& args)
{
    CliParseResult result;
    CliOptions& options = result.options;
    std::set<std::string> given;
    std::string steps;

    auto fail = [&result](std::string error) {
        result.error = std::move(error);
        return result;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.help = true;
            return result;
        }
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            result.words.push_back(arg);
            continue;
        }
        if (arg == "--simulate" || arg == "--detect") {
            given.insert(arg);
            if (arg == "--simulate")
                options.simulate = true;
            else
                options.detectFirst = true;
            continue;
        }
        static const std::set<std::string> kValued = {
            "--programmer", "--port",    "--baud",  "--device", "--catalogue",
            "--sim-state",  "--timeout", "--steps", "--latch"};
        if (!kValued.count(arg))
            return fail("unknown option " + arg);
        if (i + 1 >= args.size())
            return fail(arg + " needs a value");
        if (!given.insert(arg).second)
            return fail(arg + " given twice");
        const std::string& value = args[++i];

        if (arg == "--programmer") {
            if (value == "0" || value == "1" || value == "2" || value == "3")
                options.programmer = value[0] - '0';
            else
                return fail("--programmer must be 0, 1, 2 or 3");
        } else if (arg == "--port") {
            if (value.empty())
                return fail("--port needs a COM port or a device path");
            if (LooksLikeComName(value)) {
                options.comPort = CSerialPort::ComNumberFromText(value);
                if (options.comPort == 0)
                    return fail("--port must be COM1..COM4 or a device path");
                options.portPath.clear();
            } else {
                options.portPath = value;
            }
            options.port = value;
        } else if (arg == "--latch") {
            if (value == "0" || value == "1" || value == "2")
                options.latch = value[0] - '0';
            else
                return fail("--latch must be 0, 1 or 2");
        } else if (arg == "--baud") {
            if (value == "115200")
                options.baudSel = 0;
            else if (value == "57600")
                options.baudSel = 1;
            else
                return fail("--baud must be 115200 or 57600");
        } else if (arg == "--device") {
            if (value.empty())
                return fail("--device needs an index or a name");
            options.device = value;
        } else if (arg == "--catalogue") {
            options.catalogue = value;
        } else if (arg == "--sim-state") {
            if (value.empty())
                return fail("--sim-state needs a file");
            options.simState = value;
        } else if (arg == "--timeout") {
            char* end = nullptr;
            errno = 0;
            const double seconds = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || errno != 0 || !std::isfinite(seconds)
                || seconds <= 0 || seconds > 86400.0)
                return fail("--timeout must be a number of seconds above 0 (at most 86400)");
            options.timeoutSeconds = seconds;
        } else if (arg == "--steps") {
            steps = value;
        }
    }

    if (result.words.empty())
        return fail("no command given");
    const std::string& command = result.words[0];
    if (!kDeviceCommands.count(command)) {
        // hex2bin and devices take no device options.
        for (const std::string& option : given)
            if (option != "--catalogue")
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
    if (command != "auto" && (given.count("--steps") || given.count("--detect")))
        return fail("--steps and --detect apply to auto only");
    if (given.count("--steps")) {
        std::string error;
        if (!ParseSteps(steps, options, error))
            return fail(error);
    }
    if (!options.simState.empty() && !options.simulate)
        return fail("--sim-state needs --simulate");
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
