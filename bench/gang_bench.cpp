// The gang command on 1 to 8 unpaced simulated boards in one process: does
// adding ports add time? Each run is the whole command as tamberlink-cli
// runs it (RunGangCommand): the boards start, every port's session reaches
// its board, and the auto sequence (erase, write, verify) runs on all ports
// at once. Log lines go to /dev/null.
//
// A plain program rather than Google Benchmark: the figures are to be read
// side by side, each port count against one port, from one run.
//
// The full 8 KB chip is also taken by as many floor clients
// (bench/FloorClient.h), each on a thread and a board of its own: the
// protocol with nothing else, the reference for what the engine costs on
// the same cores (gang_ratio, engine / floor at 8 ports).

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench/FloorClient.h"
#include "cli/CliOptions.h"
#include "cli/GangCommand.h"
#include "cli/GangConsole.h"
#include "platform/AppGlobals.h"
#include "sim/BoardSimulator.h"

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds()
{
    timespec ts {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Figure {
    double results = 0;  // until the summary table is printed
    double wall = 0;     // until the command has returned
    double cpu = 0;
};

// The lines go nowhere, but the moment the summary table starts is noted:
// every chip's result is known then; what follows is the simulated boards
// stopping.
Clock::time_point g_summaryAt;

ssize_t NoteSummary(void*, const char* data, size_t size)
{
    const std::string_view text(data, size);
    if (text.rfind("port ", 0) == 0 && text.find(" outcome ") != std::string_view::npos)
        g_summaryAt = Clock::now();
    return ssize_t(size);
}

std::FILE* OpenSink()
{
    cookie_io_functions_t functions {};
    functions.write = NoteSummary;
    std::FILE* sink = ::fopencookie(nullptr, "w", functions);
    std::setvbuf(sink, nullptr, _IONBF, 0);
    return sink;
}

// One gang run over ports P1..Pn, with more options; exits the benchmark if
// it fails. paced: the ports are boards served here whose bytes take their
// time on the line (115200 baud), reached as real ports are, instead of the
// unpaced boards of --simulate. Their start and stop are not timed.
Figure RunGang(const std::string& image, int ports, bool paced, std::vector<std::string> more,
               std::FILE* sink)
{
    std::vector<std::unique_ptr<CBoardSimulator>> boards;
    std::string list;
    for (int i = 1; i <= ports; ++i) {
        std::string port = "P" + std::to_string(i);
        if (paced) {
            boards.push_back(std::make_unique<CBoardSimulator>(
                CBoardSimulator::Options {.paced = true}));
            if (!boards.back()->Start()) {
                std::fprintf(stderr, "bench_gang: %s\n", boards.back()->LastError().c_str());
                std::exit(1);
            }
            port = boards.back()->DevicePath();
        }
        list += (i > 1 ? "," : "") + port;
    }
    std::vector<std::string> args = {"gang", image, "--ports", list};
    if (!paced)
        args.insert(args.begin(), "--simulate");
    args.insert(args.end(), more.begin(), more.end());
    const CliParseResult parsed = ParseCliOptions(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "bench_gang: %s\n", parsed.error.c_str());
        std::exit(1);
    }
    CGangConsole console(sink, sink);
    const double cpu = ProcessCpuSeconds();
    const Clock::time_point start = Clock::now();
    const int status = RunGangCommand(parsed.options, console);
    const Clock::time_point end = Clock::now();
    Figure figure {std::chrono::duration<double>(g_summaryAt - start).count(),
                   std::chrono::duration<double>(end - start).count(), ProcessCpuSeconds() - cpu};
    if (status != 0) {
        std::fprintf(stderr, "bench_gang: %d ports on %s ended with %d\n", ports, image.c_str(),
                     status);
        std::exit(1);
    }
    return figure;
}

// N floor clients at once, each taking one chip as gang's auto run does:
// ready check, erase, write, read back and compare. Timed from before the
// boards start until every chip is done, as gang's results column is; the
// CPU is the whole process's, the boards' included, as gang's is.
Figure RunFloor(const std::vector<std::uint8_t>& image, int ports)
{
    constexpr std::uint8_t kCode = 2;  // the AT89S52's
    const double cpu = ProcessCpuSeconds();
    const Clock::time_point start = Clock::now();
    std::vector<std::unique_ptr<CBoardSimulator>> boards;
    for (int i = 0; i < ports; ++i)
        boards.push_back(std::make_unique<CBoardSimulator>(CBoardSimulator::Options {}));
    std::atomic<int> failures {0};
    {
        std::vector<std::jthread> threads;
        for (auto& board : boards)
            threads.emplace_back([&image, &failures, board = board.get()] {
                const int size = int(image.size());
                std::vector<std::uint8_t> read(image.size());
                bool ok = board->Start();
                if (ok) {
                    CFloorClient client(board->DevicePath());
                    ok = client.IsOpen() && client.Command(0, kCode) && client.Command(2, kCode)
                        && client.Write(image.data(), size, kCode)
                        && client.Read(read.data(), size, kCode) && read == image;
                }
                if (!ok)
                    ++failures;
            });
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double used = ProcessCpuSeconds() - cpu;
    if (failures > 0) {
        std::fprintf(stderr, "bench_gang: %d of %d floor clients failed\n", failures.load(), ports);
        std::exit(1);
    }
    return {seconds, seconds, used};
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 7;
    int maxPorts = 8;
    bool withPaced = false;  // about 2 s a run: only when asked for
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--paced") == 0)
            withPaced = true;
        else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--max-ports") == 0 && i + 1 < argc)
            maxPorts = std::max(1, std::atoi(argv[++i]));
    }
    InitAppGlobals();

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("bench_gang." + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    // The demo program (56 bytes to write) and a full AT89S52 (8 KB, no
    // 0xFF byte, so every block is written and read back).
    const std::string blink = (folder / "blink.hex").string();
    std::ofstream(blink) << ":03000000020030CB\n:08003000B2907FFFDFFE80F8B3\n:00000001FF\n";
    const std::string full = (folder / "full.bin").string();
    std::vector<std::uint8_t> fullImage(8192);
    for (int i = 0; i < 8192; ++i)
        fullImage[std::size_t(i)] = std::uint8_t((i * 31 + (i >> 8)) & 0x7F);
    std::ofstream(full, std::ios::binary)
        .write(reinterpret_cast<const char*>(fullImage.data()), std::streamsize(fullImage.size()));
    std::FILE* sink = OpenSink();

    // As a production run would: a serial number at the top of the chip
    // (so the whole 8 KB is written), its state file and the result log,
    // each flushed to disk once per chip.
    const std::vector<std::string> production = {
        "--serial", "0x1FF0:1", "--serial-state", (folder / "serial").string(),
        "--log", (folder / "log").string()};
    struct Scenario {
        const char* name;
        std::string image;
        bool paced;
        std::vector<std::string> more;
        bool floor;  // also run by floor clients
    };
    const Scenario scenarios[] = {
        {"blink.hex, 56 bytes", blink, false, {}, false},
        {"8 KB, every byte", full, false, {}, true},
        {"blink.hex + serial at 0x1FF0, state file, log", blink, false, production, false},
        {"8 KB, paced boards at 115200 baud", full, true, {}, false},
    };

    std::printf("%d runs each, median; ratio: against one port's time; floor: as many floor "
                "clients run right after each gang run, engine / floor the median of those "
                "pairs' ratios\n\n",
                runs);
    std::printf("| image | ports | results ms | ratio | whole command ms | ratio | CPU ms "
                "| floor ms | engine / floor | floor CPU ms |\n"
                "|---|---|---|---|---|---|---|---|---|---|\n");
    double gangRatio = 0;
    for (const Scenario& scenario : scenarios) {
        if (scenario.paced && !withPaced)
            continue;
        RunGang(scenario.image, 1, false, scenario.more, sink);  // warm up: catalogue, libraries
        std::vector<int> counts;
        for (int ports = 1; ports <= maxPorts; ports = ports < 2 ? 2 : ports * 2)
            counts.push_back(ports);
        // Interleaved, so that load from elsewhere on the machine falls on
        // every port count alike.
        std::vector<std::vector<double>> results(counts.size()), walls(counts.size()),
            cpus(counts.size()), floors(counts.size()), floorCpus(counts.size()),
            pairs(counts.size());
        for (int run = 0; run < runs; ++run)
            for (std::size_t i = 0; i < counts.size(); ++i) {
                const Figure figure =
                    RunGang(scenario.image, counts[i], scenario.paced, scenario.more, sink);
                results[i].push_back(figure.results);
                walls[i].push_back(figure.wall);
                cpus[i].push_back(figure.cpu);
                if (!scenario.floor)
                    continue;
                const Figure floor = RunFloor(fullImage, counts[i]);
                floors[i].push_back(floor.results);
                floorCpus[i].push_back(floor.cpu);
                // Side by side in time: load from elsewhere falls on both.
                pairs[i].push_back(figure.results / floor.results);
            }
        for (std::size_t i = 0; i < counts.size(); ++i) {
            std::string floor = "| - | - | - ";
            if (scenario.floor) {
                const double ratio = Median(pairs[i]);
                char text[96];
                std::snprintf(text, sizeof text, "| %.1f | %.2f | %.1f ", Median(floors[i]) * 1e3,
                              ratio, Median(floorCpus[i]) * 1e3);
                floor = text;
                if (counts[i] == 8)
                    gangRatio = ratio;
            }
            std::printf("| %s | %d | %.1f | %.2f | %.1f | %.2f | %.1f %s|\n", scenario.name,
                        counts[i], Median(results[i]) * 1e3,
                        Median(results[i]) / Median(results[0]), Median(walls[i]) * 1e3,
                        Median(walls[i]) / Median(walls[0]), Median(cpus[i]) * 1e3,
                        floor.c_str());
        }
        std::fflush(stdout);
    }
    if (gangRatio > 0)
        std::printf("\ngang_ratio = %.2f (8 ports, 8 KB: engine results / floor clients)\n",
                    gangRatio);
    std::fclose(sink);
    std::filesystem::remove_all(folder);
    return 0;
}
