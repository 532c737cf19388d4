#pragma once

#include "cli/CliOptions.h"

class CGangConsole;

// tamberlink-cli gang: the auto sequence of FILE on every port of --ports
// at once, one programmer and one session per port, with serial numbers,
// the result log and rounds. Checks everything it can before any port is
// touched (exit 2). Returns the exit status: 0 when every chip passed, 3
// when a port could not be reached, 1 otherwise.
int RunGangCommand(const CliOptions& options);
// The same, writing through console (benchmarks).
int RunGangCommand(const CliOptions& options, CGangConsole& console);
