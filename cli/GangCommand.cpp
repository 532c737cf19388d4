#include "cli/GangCommand.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include <unistd.h>

#include "cli/Commands.h"
#include "cli/DeviceCommand.h"
#include "cli/GangConsole.h"
#include "cli/GangStation.h"
#include "cli/ResultLog.h"
#include "cli/RoundGate.h"
#include "cli/SerialAllocator.h"
#include "formats/ImageFile.h"
#include "platform/FileBytes.h"
#include "platform/StderrMessageSink.h"
#include "programmer/Programmer.h"
#include "programmer/SerialPort.h"
#include "sim/BoardSimulator.h"

namespace {

void Complain(const std::string& text)
{
    std::fprintf(stderr, "tamberlink-cli: %s\n", text.c_str());
}

std::vector<std::string> StepNames(const CliOptions& options)
{
    const std::pair<bool, const char*> steps[] = {
        {options.markLoad, "load"},   {options.detectFirst, "detect"},
        {options.markErase, "erase"}, {options.markBlank, "blank"}, {options.markWrite, "write"},
        {options.markRead, "read"},   {options.markVerify, "verify"},
    };
    std::vector<std::string> names;
    for (const auto& [taken, name] : steps)
        if (taken)
            names.push_back(name);
    return names;
}

// Asks for the next chips on a terminal; anything else (a script, a pipe,
// /dev/null) goes on at once, as nobody is there to press a key.
std::function<bool()> EnterPrompt(int rounds)
{
    if (::isatty(STDIN_FILENO) != 1)
        return {};
    auto round = std::make_shared<int>(1);
    return [round, rounds] {
        ++*round;
        std::fprintf(stderr,
                     "Round %d of %d: put the next chips in, then press Enter "
                     "(Ctrl-D ends the run). ",
                     *round, rounds);
        std::fflush(stderr);
        std::string line;
        return bool(std::getline(std::cin, line));
    };
}

std::string SummaryTable(const std::vector<std::unique_ptr<CGangStation>>& stations, int rounds)
{
    std::vector<std::array<std::string, 5>> rows = {
        {"port", "signature", "serial", "outcome", "seconds"}};
    // Round by round, in --ports order within a round.
    for (int round = 0; round < rounds; ++round)
        for (const auto& station : stations) {
            if (std::size_t(round) >= station->Records().size())
                continue;
            const ChipRecord& record = station->Records()[std::size_t(round)];
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.2f", record.seconds);
            rows.push_back({record.port, record.signature.empty() ? "-" : record.signature,
                            record.serial ? std::to_string(*record.serial) : "-",
                            record.outcome, seconds});
        }
    std::array<std::size_t, 5> widths {};
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    std::string table;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::string pad(widths[i] - row[i].size(), ' ');
            // Seconds line up on the right, the rest on the left.
            line += i + 1 < row.size() ? row[i] + pad + "  " : pad + row[i];
        }
        table += line + "\n";
    }
    return table;
}

} // namespace

int RunGangCommand(const CliOptions& options)
{
    CGangConsole console;
    return RunGangCommand(options, console);
}

int RunGangCommand(const CliOptions& options, CGangConsole& console)
{
    const GangOptions& gang = options.gang;
    errno = 0;
    if (!ReadFileBytes(options.file)) {
        Complain("cannot read " + options.file + ": " + std::strerror(errno ? errno : EIO));
        return kExitUsage;
    }
    {
        // A file that does not convert fails every chip the same way: say so
        // once and touch none.
        CStderrMessageSink messages;
        std::vector<std::uint8_t> scratch(kImageBufferSize, 0xFF);
        const ImageLoad load = LoadImageToBuffer(options.file, UpperExtension(options.file),
                                                 scratch.data(), messages);
        if (!load.Loaded()) {
            Complain(options.file + " does not give an image; no chip was touched");
            return load.outcome == ImageLoad::Outcome::Unreadable ? kExitUsage : kExitFailure;
        }
    }

    const std::optional<ChosenDevice> chosen = ChooseDevice(options);
    if (!chosen)
        return kExitUsage;
    const std::string& cataloguePath = chosen->cataloguePath;
    const int deviceIndex = chosen->index;
    const DeviceRecord& device = chosen->Record();

    // Two sessions on one board would interleave their frames: the same
    // device under two names (COM1 and /dev/ttyS0, a by-id link) is refused.
    if (!options.simulate) {
        std::vector<std::pair<std::string, std::string>> devicesByPort;
        for (const std::string& port : gang.ports) {
            std::error_code error;
            const std::filesystem::path path = CSerialPort::PortPathFromText(port);
            std::string device = std::filesystem::weakly_canonical(path, error).string();
            if (error)
                device = path.string();
            for (const auto& [other, seen] : devicesByPort)
                if (seen == device) {
                    Complain("--ports: " + other + " and " + port + " are the same device, "
                             + device);
                    return kExitUsage;
                }
            devicesByPort.emplace_back(port, device);
        }
    }

    std::unique_ptr<CSerialAllocator> serials;
    if (gang.serial) {
        const std::uint64_t rom =
            std::min<std::uint64_t>(std::uint64_t(device.romSizeKB) * 1024, kImageBufferSize);
        if (std::uint64_t(gang.serial->address) + std::uint64_t(gang.serial->bytes) > rom) {
            char range[64];
            std::snprintf(range, sizeof range, "0x%X..0x%llX", gang.serial->address,
                          (unsigned long long)gang.serial->address + gang.serial->bytes - 1);
            Complain("--serial: " + std::string(range) + " lies outside the " + device.name
                     + "'s " + std::to_string(device.romSizeKB) + " KB");
            return kExitUsage;
        }
    }

    // Each simulated board with its chip and faults, before anything runs,
    // so a state file that does not load is a usage error.
    std::vector<std::unique_ptr<CBoardSimulator>> boards(gang.ports.size());
    std::vector<std::string> statePaths(gang.ports.size());
    if (options.simulate) {
        std::error_code error;
        if (!options.simState.empty()) {
            std::filesystem::create_directories(options.simState, error);
            if (!std::filesystem::is_directory(options.simState, error)) {
                Complain("--sim-state " + options.simState + " is not a folder that can be made");
                return kExitUsage;
            }
        }
        for (std::size_t i = 0; i < gang.ports.size(); ++i) {
            CBoardSimulator::Options board;
            board.at89s51 = device.name == "AT89S51";
            board.baud = options.baudSel == 1 ? 57600 : 115200;
            boards[i] = std::make_unique<CBoardSimulator>(board);
            if (const auto faults = gang.simFaults.find(gang.ports[i]);
                faults != gang.simFaults.end())
                boards[i]->SetFaults(faults->second);
            if (options.simState.empty())
                continue;
            statePaths[i] = (std::filesystem::path(options.simState) / (gang.ports[i] + ".state"))
                                .string();
            std::string why;
            if (std::filesystem::exists(statePaths[i], error)
                && !boards[i]->Chip().LoadState(statePaths[i], &why)) {
                Complain("cannot load the simulated chip from " + statePaths[i] + ": " + why);
                return kExitUsage;
            }
        }
    }

    CResultLog log;
    if (!gang.log.empty()) {
        std::string error;
        if (!log.Open(gang.log, error)) {
            Complain(error);
            return kExitUsage;
        }
    }
    if (gang.serial) {
        serials = std::make_unique<CSerialAllocator>(*gang.serial);
        std::string error;
        if (!gang.serialState.empty() && !serials->UseStateFile(gang.serialState, error)) {
            Complain(error);
            return kExitUsage;
        }
        if (!serials->CanHandOut(std::uint64_t(gang.ports.size()) * std::uint64_t(gang.rounds),
                                 error)) {
            Complain("--serial: " + error);
            return kExitUsage;
        }
    }

    std::unique_ptr<CRoundGate> gate;
    if (gang.rounds > 1 && !gang.waitChip)
        gate = std::make_unique<CRoundGate>(int(gang.ports.size()), EnterPrompt(gang.rounds));

    GangRun run;
    run.options = &options;
    run.cataloguePath = cataloguePath;
    run.deviceIndex = deviceIndex;
    run.deviceName = device.name;
    run.steps = StepNames(options);
    run.serials = serials.get();
    run.log = log.IsOpen() ? &log : nullptr;
    run.console = &console;
    run.gate = gate.get();

    std::vector<std::unique_ptr<CGangStation>> stations;
    for (std::size_t i = 0; i < gang.ports.size(); ++i)
        stations.push_back(std::make_unique<CGangStation>(run, gang.ports[i],
                                                          std::move(boards[i]), statePaths[i]));
    {
        std::vector<std::jthread> threads;
        for (auto& station : stations)
            threads.emplace_back([&station] { station->Run(); });
    }

    console.Raw(SummaryTable(stations, gang.rounds));
    bool unreachable = false;
    bool faulty = false;
    for (const auto& station : stations) {
        unreachable = unreachable || station->Unreachable();
        faulty = faulty || station->Faulty();
    }
    {
        // Side by side: each waits in the kernel for its line to close.
        std::vector<std::jthread> threads;
        for (auto& station : stations)
            threads.emplace_back([&station] { station->StopBoard(); });
    }
    return unreachable ? kExitUnreachable : faulty ? kExitFailure : kExitSuccess;
}
