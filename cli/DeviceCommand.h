#pragma once

#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "programmer/DeviceRecord.h"

// Runs one device command (check, detect, erase, write, read, verify, lock,
// auto) as the main window would: opens the backend, waits for its first
// answer, then clicks the command's button and follows the sequence to its
// end. Returns the exit status (kExitSuccess, kExitFailure, kExitUsage,
// kExitUnreachable).
int RunDeviceCommand(const CliOptions& options);

// The catalogue index --device names: an index ("3") or an exact name; -1
// when neither matches.
int ResolveDevice(const std::string& text, const std::vector<DeviceRecord>& devices);
