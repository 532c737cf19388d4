// tamberlink-soak: many Auto runs in a row against the simulated board (or,
// with --cable, the simulated ISP cable), each with a fault injected at
// random from a seeded generator. Every run must end as its fault calls for,
// every status event posted must be handled, and the process must neither
// hang nor grow.
//
//   tamberlink-soak [--cable] [--runs N] [--seed S] [--timeout-ms MS]
//                   [--rss-limit-mb MB] [--verbose]
//
// Exit status: 0 all runs as due, 1 a run went wrong, 2 usage, 3 a hang.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>

#include "platform/AppGlobals.h"
#include "programmer/DeviceCatalogue.h"
#include "tests/soak/CableSoak.h"
#include "tests/soak/HangGuard.h"
#include "tests/soak/SerialSoak.h"
#include "tests/soak/SoakReport.h"
#include "tests/support/TempDir.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TL_SANITIZED 1
#endif
#endif

namespace {

struct CommandLine {
    bool cable = false;
    int runs = -1;  // default per kind
    std::uint32_t seed = 1;
    int timeoutMs = 2000;
    long rssLimitMb = 32;
    bool verbose = false;
};

void Usage()
{
    std::fprintf(stderr,
                 "usage: tamberlink-soak [--cable] [--runs N] [--seed S] [--timeout-ms MS]\n"
                 "                       [--rss-limit-mb MB] [--verbose]\n");
}

bool ParseNumber(const char* text, long& value)
{
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end && *end == '\0' && end != text;
}

bool Parse(int argc, char** argv, CommandLine& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        long value = 0;
        auto number = [&](long min) {
            return i + 1 < argc && ParseNumber(argv[++i], value) && value >= min;
        };
        if (arg == "--cable")
            options.cable = true;
        else if (arg == "--verbose")
            options.verbose = true;
        else if (arg == "--runs" && number(1))
            options.runs = int(value);
        else if (arg == "--seed" && number(0))
            options.seed = std::uint32_t(value);
        else if (arg == "--timeout-ms" && number(100))
            options.timeoutMs = int(value);
        else if (arg == "--rss-limit-mb" && number(1))
            options.rssLimitMb = value;
        else
            return false;
    }
    return true;
}

// Resident memory of this process in kilobytes; 0 when unknown.
long ResidentKb()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    if (!(statm >> size >> resident))
        return 0;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

int main(int argc, char** argv)
{
    CommandLine options;
    if (!Parse(argc, argv, options)) {
        Usage();
        return 2;
    }
    if (options.runs < 0)
        options.runs = options.cable ? 200 : 1000;

    // A folder of our own as the program folder: no ini file of the real
    // one may change what the runs do.
    CTempDir folder;
    SetAppDir(folder.Path().string());
    const std::string catalogue = folder.File("ChipList.chip");
    if (!WriteCatalogueFile(catalogue, {{"AT89S52", 2, 8, 5.0f, {0x1e, 0x52, 0x06}},
                                        {"AT89S51", 2, 4, 5.0f, {0x1e, 0x51, 0x06}}})) {
        std::fprintf(stderr, "tamberlink-soak: cannot write %s\n", catalogue.c_str());
        return 1;
    }

    std::mutex currentMutex;
    std::string current = "starting";
    CHangGuard guard(std::chrono::seconds(120), [&] {
        std::lock_guard lock(currentMutex);
        return "last run started: " + current;
    });

    long baselineKb = 0;
    int done = 0;
    const int baselineAfter = std::max(1, options.runs / 10);
    auto progress = [&](const std::string& tag) {
        if (!tag.empty()) {
            std::lock_guard lock(currentMutex);
            current = tag;
            return;
        }
        guard.Beat();
        if (++done == baselineAfter)
            baselineKb = ResidentKb();
    };

    std::printf("tamberlink-soak: %d %s runs, seed %u, step time-out %d ms\n", options.runs,
                options.cable ? "cable" : "serial board", options.seed, options.timeoutMs);
    std::fflush(stdout);
    const auto started = std::chrono::steady_clock::now();
    CSoakReport report;
    SoakOptions soak;
    soak.runs = options.runs;
    soak.seed = options.seed;
    soak.stepTimeout = std::chrono::milliseconds(options.timeoutMs);
    soak.folder = folder.Path().string();
    soak.cataloguePath = catalogue;
    soak.verbose = options.verbose;
    if (options.cable)
        CCableSoak(soak, report).Run(progress);
    else
        CSerialSoak(soak, report).Run(progress);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();

    if (report.Runs() != options.runs)
        report.Fail("only " + std::to_string(report.Runs()) + " of " + std::to_string(options.runs)
                    + " runs were made");
    const long endKb = ResidentKb();
    std::string memory = "resident memory " + std::to_string(baselineKb / 1024) + " MB after run "
        + std::to_string(baselineAfter) + ", " + std::to_string(endKb / 1024) + " MB at the end";
#ifdef TL_SANITIZED
    // The sanitizers keep freed memory aside; their leak check runs at exit.
    memory += " (sanitized build: not judged)";
#else
    if (baselineKb > 0 && endKb - baselineKb > options.rssLimitMb * 1024)
        report.Fail(memory + ": grew by more than " + std::to_string(options.rssLimitMb) + " MB");
#endif
    report.Note(memory);
    report.Note("took " + std::to_string(seconds) + " s");
    report.PrintSummary(options.cable ? "cable soak" : "serial soak");
    return report.Failures() == 0 ? 0 : 1;
}
