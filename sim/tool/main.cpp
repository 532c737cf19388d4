// tamberlink-board-sim: a simulated programmer board on a pseudo-terminal.
// Prints the device path to open as the serial port on its first line, then
// serves until SIGINT or SIGTERM. With --link the board can also be
// unplugged and plugged in again under the same name.

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "sim/BoardSimulator.h"

namespace {

void PrintUsage(std::FILE* out)
{
    std::fputs(
        "Usage: tamberlink-board-sim [OPTIONS]\n"
        "\n"
        "Serves a simulated 8051 programmer board on a pseudo-terminal; its path is\n"
        "the first line printed.\n"
        "\n"
        "Options:\n"
        "  --at89s51               an AT89S51 in the socket (default AT89S52)\n"
        "  --baud N                line speed for --paced (default 115200)\n"
        "  --paced                 bytes take their real time on the line\n"
        "  --state FILE            load the chip from FILE if it exists, save it on exit\n"
        "  --link PATH             keep a symbolic link PATH to the line (a stable name\n"
        "                          for --port, like /dev/ttyUSB0 for an adapter)\n"
        "  --socket FILE           a chip is in the socket only while FILE exists; one\n"
        "                          put in after the socket was seen empty is blank\n"
        "  --help, -h              show this text\n"
        "  --version               show the program's name and version\n"
        "\n"
        "Faults:\n"
        "  --never-answer          take commands, never reply\n"
        "  --drop-ack K            write block K gets no acknowledgement\n"
        "  --fail-block K          write block K is answered 0xFF\n"
        "  --lose-read-block K     the first request for read block K gets no reply\n"
        "  --garbage               replies are random bytes\n"
        "  --reply-delay MS        every reply waits MS milliseconds\n"
        "  --close-after-block K   close the line after block K of a transfer\n"
        "  --no-end-answer         the frame that ends a write gets no answer\n"
        "  --unplug-after-block K  the same: the adapter is pulled out after block K\n"
        "  --replug-after MS       after that, plug it back in MS milliseconds later:\n"
        "                          a new line, --link pointing at it, the chip kept\n",
        out);
}

bool ParseNumber(std::string_view text, int& value)
{
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size();
}

struct CommandLine {
    CBoardSimulator::Options options;
    CBoardSimulator::Faults faults;
    std::string statePath;
};

// 0 parsed, otherwise the exit code.
int ParseCommandLine(int argc, char** argv, CommandLine& line)
{
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto number = [&](int& target, int minimum) {
            if (i + 1 >= argc || !ParseNumber(argv[i + 1], target) || target < minimum) {
                std::fprintf(stderr, "tamberlink-board-sim: %s needs a number >= %d\n", argv[i],
                             minimum);
                return false;
            }
            ++i;
            return true;
        };

        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return -1;
        } else if (arg == "--version") {
            std::printf("tamberlink-board-sim %s\n", TAMBERLINK_VERSION);
            return -1;
        } else if (arg == "--at89s51") {
            line.options.at89s51 = true;
        } else if (arg == "--paced") {
            line.options.paced = true;
        } else if (arg == "--baud") {
            if (!number(line.options.baud, 1))
                return 2;
        } else if (arg == "--state") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tamberlink-board-sim: --state needs a file\n");
                return 2;
            }
            line.statePath = argv[++i];
        } else if (arg == "--socket") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tamberlink-board-sim: --socket needs a file\n");
                return 2;
            }
            line.options.socketPath = argv[++i];
        } else if (arg == "--never-answer") {
            line.faults.neverAnswer = true;
        } else if (arg == "--garbage") {
            line.faults.garbage = true;
        } else if (arg == "--no-end-answer") {
            line.faults.noEndAnswer = true;
        } else if (arg == "--drop-ack") {
            if (!number(line.faults.dropAckOfBlock, 0))
                return 2;
        } else if (arg == "--fail-block") {
            if (!number(line.faults.failBlock, 0))
                return 2;
        } else if (arg == "--lose-read-block") {
            if (!number(line.faults.loseReadBlock, 0))
                return 2;
        } else if (arg == "--reply-delay") {
            if (!number(line.faults.replyDelayMs, 0))
                return 2;
        } else if (arg == "--close-after-block" || arg == "--unplug-after-block") {
            if (!number(line.faults.closeAfterBlock, 0))
                return 2;
        } else if (arg == "--replug-after") {
            if (!number(line.options.replugAfterMs, 0))
                return 2;
        } else if (arg == "--link") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tamberlink-board-sim: --link needs a path\n");
                return 2;
            }
            line.options.linkPath = argv[++i];
        } else {
            std::fprintf(stderr, "tamberlink-board-sim: unknown option %s\n", argv[i]);
            PrintUsage(stderr);
            return 2;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    CommandLine line;
    if (int rc = ParseCommandLine(argc, argv, line); rc != 0)
        return rc < 0 ? 0 : rc;

    // Blocked before the serving thread starts, so it inherits the mask and
    // the signals are only ever taken by sigwait() below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    CBoardSimulator board(line.options);
    if (!line.statePath.empty() && std::filesystem::exists(line.statePath)) {
        std::string error;
        // A state file of another chip is kept untouched rather than
        // overwritten on exit.
        if (!board.Chip().LoadState(line.statePath, &error)) {
            std::fprintf(stderr, "tamberlink-board-sim: %s\n", error.c_str());
            return 1;
        }
    }
    board.SetFaults(line.faults);
    if (!board.Start()) {
        std::fprintf(stderr, "tamberlink-board-sim: %s\n", board.LastError().c_str());
        return 1;
    }

    std::printf("%s\n", board.DevicePath().c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    board.Stop();

    if (!line.statePath.empty()) {
        std::string error;
        if (!board.Chip().SaveState(line.statePath, &error)) {
            std::fprintf(stderr, "tamberlink-board-sim: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
