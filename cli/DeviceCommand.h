#pragma once

#include "cli/CliOptions.h"

// Runs one device command (check, detect, erase, write, read, verify, lock,
// auto) as the main window would: opens the backend, waits for its first
// answer, then clicks the command's button and follows the sequence to its
// end. Returns the exit status (kExitSuccess, kExitFailure, kExitUsage,
// kExitUnreachable).
int RunDeviceCommand(const CliOptions& options);
