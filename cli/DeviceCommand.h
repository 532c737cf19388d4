#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "programmer/DeviceRecord.h"

class CProgrammer;

// Runs one device command (check, detect, erase, blank, write, read, verify,
// lock, auto) as the main window would: opens the backend, waits for its first
// answer, then clicks the command's button and follows the sequence to its
// end. Returns the exit status (kExitSuccess, kExitFailure, kExitUsage,
// kExitUnreachable).
int RunDeviceCommand(const CliOptions& options);

// The catalogue a command reads (--catalogue, else the program folder's) and
// the entry --device names in it (an index such as "3" or an exact name).
struct ChosenDevice {
    std::string cataloguePath;
    std::vector<DeviceRecord> devices;
    int index = -1;

    const DeviceRecord& Record() const { return devices[std::size_t(index)]; }
};
// Reads the catalogue and finds the device; nullopt after saying on stderr
// why not (the caller exits with kExitUsage).
std::optional<ChosenDevice> ChooseDevice(const CliOptions& options);

// Why the programmer could not be reached, with what the user can do: its
// port (or ISP lines) would not open when portFailed, else it never answered.
std::string UnreachableText(CProgrammer& programmer, const CliOptions& options, bool portFailed);
