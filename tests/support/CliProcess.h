#pragma once

#include <string>
#include <vector>

// Runs the built tamberlink-cli (from $TAMBERLINK_BIN_DIR) as a child
// process, for tests of the command-line interface.
struct CliRun {
    int exitCode = -1;  // -1: could not start, or killed by a signal
    std::string out;
    std::string err;
};

std::string TamberlinkCliPath();
// stdin is /dev/null; stdout and stderr go through files in scratchDir,
// so a chatty child never blocks on a pipe.
CliRun RunTamberlinkCli(const std::vector<std::string>& args, const std::string& scratchDir);
// The same with RLIMIT_FSIZE at limitBytes for the child (any signal
// disposition left as it is); its stdout and stderr go together into out
// through a pipe, which the limit does not touch.
CliRun RunTamberlinkCliWithFileSizeLimit(const std::vector<std::string>& args,
                                         unsigned long limitBytes);
// The same for another program built beside it (tamberlink-board-sim).
CliRun RunBuiltProgram(const std::string& name, const std::vector<std::string>& args,
                       const std::string& scratchDir);
