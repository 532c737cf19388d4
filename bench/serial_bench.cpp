// The serial engine end to end (the real controller, backend and port
// channel) against the simulated board on a pseudo-terminal, beside a floor
// client (bench/FloorClient.h) on an identical board, in the same run.
//
// Each board runs in a child process of its own, so that the CPU time,
// context switches and system calls counted in this process are the host's
// alone. An iteration runs one engine transfer and one floor transfer, one
// after the other, so that load from elsewhere falls on both alike; what
// matters is their ratio.
//
// Unpaced, the board answers at once: the figures are the host's cost per
// 16-byte block. Paced, every byte takes its 10 bit times and a write can be
// no faster than its frames and acknowledgements on the line.

#include <benchmark/benchmark.h>

#include <linux/perf_event.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/core/HardwareBackends.h"
#include "bench/FloorClient.h"
#include "platform/MessageSink.h"
#include "programmer/Programmer.h"
#include "programmer/StatusCode.h"
#include "programmer/StatusQueue.h"
#include "programmer/UniqueFd.h"
#include "sim/BoardSimulator.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kImageBytes = 64 * 1024;
constexpr int kBlockBytes = 16;
constexpr int kBlocks = kImageBytes / kBlockBytes;
constexpr std::uint8_t kDeviceCode = 2;
// Per block on the line: an 18-byte data frame out, a 1-byte acknowledgement
// back.
constexpr int kLineBytesPerWrittenBlock = 18 + 1;
// Generous: a hang guard only.
constexpr auto kEventGuard = std::chrono::seconds(30);

// The thread ids of process pid ("self": this one), as /proc lists them.
std::vector<std::string> Threads(const std::string& pid)
{
    std::vector<std::string> ids;
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc/" + pid + "/task", error), end;
         !error && it != end; it.increment(error))
        ids.push_back(it->path().filename().string());
    return ids;
}

class CNullMessageSink : public IMessageSink {
public:
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
};

double ProcessCpuSeconds()
{
    timespec ts {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Never 0xFF, so the trimmed image is the whole 64 KB; flash only clears
// bits, so writing the same pattern again always verifies.
std::uint8_t PatternByte(int address)
{
    return std::uint8_t((address * 31 + (address >> 8)) & 0x7F);
}

// A simulated board with a 64 KB part, served by a child process.
class CBoardProcess {
public:
    explicit CBoardProcess(bool paced, int baud = 115200)
    {
        int pathPipe[2];
        int controlPipe[2];
        if (::pipe2(pathPipe, O_CLOEXEC) != 0 || ::pipe2(controlPipe, O_CLOEXEC) != 0)
            return;
        // Forked before this rig starts a thread: the child has only the
        // benchmark's thread to copy.
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(pathPipe[0]);
            ::close(controlPipe[1]);
            ServeUntilClosed(paced, baud, pathPipe[1], controlPipe[0]);
        }
        ::close(pathPipe[1]);
        ::close(controlPipe[0]);
        m_control.Reset(controlPipe[1]);
        char path[256] = {};
        const ssize_t n = ::read(pathPipe[0], path, sizeof path - 1);
        ::close(pathPipe[0]);
        if (n > 1)
            m_strPath.assign(path, std::size_t(n - 1));
    }

    ~CBoardProcess()
    {
        m_control.Reset();  // the child stops its board and ends
        if (m_pid > 0)
            ::waitpid(m_pid, nullptr, 0);
    }

    // The board's line; empty when it did not start.
    const std::string& Path() const { return m_strPath; }

    // CPU time of the board's threads so far.
    double CpuSeconds() const
    {
        const std::string pid = std::to_string(m_pid);
        double seconds = 0;
        for (const std::string& thread : Threads(pid)) {
            std::ifstream stat("/proc/" + pid + "/task/" + thread + "/schedstat");
            double nanoseconds = 0;
            if (stat >> nanoseconds)
                seconds += nanoseconds * 1e-9;
        }
        return seconds;
    }

private:
    [[noreturn]] static void ServeUntilClosed(bool paced, int baud, int pathFd, int controlFd)
    {
        CBoardSimulator board({.baud = baud, .paced = paced, .flashKB = kImageBytes / 1024});
        if (board.Start()) {
            const std::string line = board.DevicePath() + "\n";
            [[maybe_unused]] ssize_t n = ::write(pathFd, line.data(), line.size());
        }
        ::close(pathFd);
        char byte = 0;
        while (::read(controlFd, &byte, 1) < 0 && errno == EINTR) {
        }
        board.Stop();
        ::_exit(0);
    }

    pid_t m_pid = -1;
    CUniqueFd m_control;
    std::string m_strPath;
};

// What this process has used: CPU, context switches, and system calls
// where the kernel's tracepoint can be counted (it needs tracefs mounted and
// the right to trace: see bench/README.md).
struct Usage {
    double cpu = 0;
    long switches = 0;
    long syscalls = -1;

    Usage operator-(const Usage& other) const
    {
        return {cpu - other.cpu, switches - other.switches,
                syscalls < 0 || other.syscalls < 0 ? -1 : syscalls - other.syscalls};
    }
};

// One counter of raw_syscalls:sys_enter per thread of this process, each
// inheriting to the threads that thread starts.
class CSyscallCounter {
public:
    CSyscallCounter()
    {
        const int id = TracepointId();
        if (id < 0)
            return;
        for (const std::string& thread : Threads("self")) {
            perf_event_attr attr {};
            attr.type = PERF_TYPE_TRACEPOINT;
            attr.size = sizeof attr;
            attr.config = std::uint64_t(id);
            attr.inherit = 1;
            attr.exclude_kernel = 0;
            const long fd = ::syscall(SYS_perf_event_open, &attr, std::atoi(thread.c_str()), -1, -1,
                                      PERF_FLAG_FD_CLOEXEC);
            if (fd < 0 && errno == ESRCH)
                continue;  // a thread that has just ended
            if (fd < 0) {
                m_counters.clear();
                break;
            }
            m_counters.emplace_back(int(fd));
        }
    }

    bool Works() const { return !m_counters.empty(); }

    long Count() const
    {
        if (m_counters.empty())
            return -1;
        long total = 0;
        for (const CUniqueFd& counter : m_counters) {
            std::uint64_t value = 0;
            if (::read(counter.Get(), &value, sizeof value) == sizeof value)
                total += long(value);
        }
        return total;
    }

private:
    static int TracepointId()
    {
        for (const char* root : {"/sys/kernel/tracing", "/sys/kernel/debug/tracing"}) {
            std::ifstream file(std::string(root) + "/events/raw_syscalls/sys_enter/id");
            int id = -1;
            if (file >> id)
                return id;
        }
        return -1;
    }

    std::vector<CUniqueFd> m_counters;
};

Usage Now(const CSyscallCounter& syscalls)
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return {ProcessCpuSeconds(), usage.ru_nvcsw + usage.ru_nivcsw, syscalls.Count()};
}

// A controller connected to a simulated board, a 64 KB device selected
// and the board answering. Status events go through a queue that one
// thread drains, as the command line's session does.
class CEngineRig {
public:
    CEngineRig(const std::string& path, int baud)
    {
        if (path.empty()) {
            m_strError = "the simulated board did not start";
            return;
        }
        m_programmer.SetCatalogue(
            {{"64K-BENCH", kDeviceCode, kImageBytes / 1024, 5.0f, {0x1E, 0x52, 0x06}}});
        m_programmer.m_strPortPath = path;
        m_programmer.m_nBaudSel = baud == 57600 ? 1 : 0;
        m_programmer.SetBackendTable(&HardwareBackends());
        m_programmer.SelectBackend(0, 0);
        if (NextStatus() != kStatusSerialOpened) {
            m_strError = "the port did not open";
            return;
        }
        // A new backend refuses commands until the board has answered once.
        m_programmer.CheckReady(0);
        if (NextStatus() != kStatusReady) {
            m_strError = "the board did not answer";
            return;
        }
        for (int i = 0; i < CProgrammer::kBufferSize; ++i)
            m_programmer.Buffer1[i] = i < kImageBytes ? PatternByte(i) : 0xFF;
    }

    const std::string& Error() const { return m_strError; }

    // A whole write, up to the 5 that answers its end frame (what a
    // following step waits for). The error text, empty on success.
    std::string Write()
    {
        m_programmer.WriteDevice(0);
        return Await(kStatusWriteDone, true);
    }

    // A whole read into Buffer2.
    std::string Read()
    {
        m_programmer.ReadDevice(0);
        return Await(kStatusReadDone, false);
    }

    bool ReadBackMatches() const
    {
        return std::memcmp(m_programmer.Buffer1, m_programmer.Buffer2, kImageBytes) == 0;
    }

private:
    // Takes every event up to done (and the ready report after it), as the
    // session would; anything but the transfer's own codes is an error.
    std::string Await(int done, bool readyAfter)
    {
        for (;;) {
            const int code = NextStatus();
            if (code == done)
                break;
            if (code != kStatusWriteStart && code != kStatusWriteProgress
                && code != kStatusReadStart && code != kStatusReadProgress)
                return "unexpected status " + std::to_string(code);
        }
        if (readyAfter)
            if (const int code = NextStatus(); code != kStatusReady)
                return "expected the ready report, got " + std::to_string(code);
        return {};
    }

    // The next status code; -1 when none comes (hang guard).
    int NextStatus()
    {
        for (;;) {
            const auto event = m_queue.Wait(kEventGuard);
            if (!event)
                return -1;
            if (event->kind == StatusEvent::Kind::Status)
                return event->value;
        }
    }

    CStatusQueue m_queue {CStatusQueue::Progress::Coalesced};
    CNullMessageSink m_messages;
    CProgrammer m_programmer {m_queue, m_messages};
    std::string m_strError;
};

// The floor client with its own 64 KB image.
class CFloorRig {
public:
    explicit CFloorRig(const std::string& path) : m_client(path), m_image(kImageBytes)
    {
        for (int i = 0; i < kImageBytes; ++i)
            m_image[std::size_t(i)] = PatternByte(i);
        if (!m_client.IsOpen() || !m_client.Command(0, kDeviceCode))
            m_strError = "the floor client cannot reach its board";
    }

    const std::string& Error() const { return m_strError; }

    std::string Write()
    {
        return m_client.Write(m_image.data(), kImageBytes, kDeviceCode) ? "" : "floor write failed";
    }

    std::string Read()
    {
        std::vector<std::uint8_t> read(kImageBytes);
        if (!m_client.Read(read.data(), kImageBytes, kDeviceCode))
            return "floor read failed";
        return read == m_image ? "" : "the floor read back other data";
    }

private:
    CFloorClient m_client;
    std::vector<std::uint8_t> m_image;
    std::string m_strError;
};

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2),
                     values.end());
    return values[values.size() / 2];
}

// One transfer's figures, per block.
struct Sample {
    double cpuUs = 0;
    double switches = 0;
    double syscalls = -1;
    double wallUs = 0;
    double boardCpuUs = 0;
};

// Engine and floor, each on its own unpaced board, one transfer each per
// iteration. Medians over the iterations, and the median of each
// iteration's engine / floor CPU ratio: a burst of outside load then spoils
// one pair, not the figure. writeFirst: a read benchmark writes the image
// once first.
template <typename Transfer>
void RunAgainstFloor(benchmark::State& state, Transfer transfer, bool writeFirst)
{
    CBoardProcess engineBoard(false);
    CBoardProcess floorBoard(false);
    CEngineRig engine(engineBoard.Path(), 115200);
    CFloorRig floor(floorBoard.Path());
    for (const std::string* error : {&engine.Error(), &floor.Error()})
        if (!error->empty()) {
            state.SkipWithError(error->c_str());
            return;
        }
    if (writeFirst) {
        const std::string error = engine.Write() + floor.Write();
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    const CSyscallCounter syscalls;
    std::vector<Sample> samples[2];  // engine, floor
    std::vector<double> ratios;
    for (auto _ : state) {
        for (const bool isEngine : {true, false}) {
            const CBoardProcess& board = isEngine ? engineBoard : floorBoard;
            const Usage before = Now(syscalls);
            const double boardBefore = board.CpuSeconds();
            const auto t0 = Clock::now();
            const std::string error = isEngine ? transfer(engine) : transfer(floor);
            const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
            // A thread that ended with the transfer is counted once it is gone.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            const Usage used = Now(syscalls) - before;
            const double boardCpu = board.CpuSeconds() - boardBefore;
            if (!error.empty()) {
                state.SkipWithError(error.c_str());
                return;
            }
            samples[isEngine ? 0 : 1].push_back(
                {used.cpu * 1e6 / kBlocks, double(used.switches) / kBlocks,
                 used.syscalls < 0 ? -1 : double(used.syscalls) / kBlocks, wall * 1e6 / kBlocks,
                 boardCpu * 1e6 / kBlocks});
        }
        ratios.push_back(samples[0].back().cpuUs / samples[1].back().cpuUs);
    }
    if (ratios.empty())
        return;
    auto median = [](const std::vector<Sample>& from, double Sample::*field) {
        std::vector<double> values;
        for (const Sample& sample : from)
            values.push_back(sample.*field);
        return Median(values);
    };
    state.counters["host_cpu_us"] = median(samples[0], &Sample::cpuUs);
    state.counters["floor_cpu_us"] = median(samples[1], &Sample::cpuUs);
    state.counters["cpu_ratio"] = Median(ratios);
    state.counters["context_switches"] = median(samples[0], &Sample::switches);
    state.counters["floor_context_switches"] = median(samples[1], &Sample::switches);
    if (syscalls.Works()) {
        state.counters["syscalls"] = median(samples[0], &Sample::syscalls);
        state.counters["floor_syscalls"] = median(samples[1], &Sample::syscalls);
    }
    state.counters["us_per_block"] = median(samples[0], &Sample::wallUs);
    state.counters["floor_us_per_block"] = median(samples[1], &Sample::wallUs);
    state.counters["board_cpu_us"] = median(samples[0], &Sample::boardCpuUs);
    state.counters["floor_board_cpu_us"] = median(samples[1], &Sample::boardCpuUs);
}

void BM_Write64K(benchmark::State& state)
{
    RunAgainstFloor(state, [](auto& rig) { return rig.Write(); }, false);
}
BENCHMARK(BM_Write64K)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(25);

void BM_Read64K(benchmark::State& state)
{
    RunAgainstFloor(state, [](auto& rig) { return rig.Read(); }, true);
}
BENCHMARK(BM_Read64K)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(25);

// One 64 KB write with every byte paced at the baud rate, against the time
// the line needs for it: the engine (range 1) or the floor (range 0).
void BM_PacedWrite64K(benchmark::State& state)
{
    const int baud = int(state.range(0));
    const bool isEngine = state.range(1) != 0;
    CBoardProcess board(true, baud);
    std::unique_ptr<CEngineRig> engine;
    std::unique_ptr<CFloorRig> floor;
    if (isEngine)
        engine = std::make_unique<CEngineRig>(board.Path(), baud);
    else
        floor = std::make_unique<CFloorRig>(board.Path());
    const std::string& setup = isEngine ? engine->Error() : floor->Error();
    if (!setup.empty()) {
        state.SkipWithError(setup.c_str());
        return;
    }
    double wallSeconds = 0;
    int writes = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const std::string error = isEngine ? engine->Write() : floor->Write();
        wallSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
        ++writes;
    }
    if (writes == 0)
        return;
    const double lineLimit = double(kLineBytesPerWrittenBlock) * 10 / double(baud) * kBlocks;
    const double perWrite = wallSeconds / writes;
    state.counters["wall_s"] = perWrite;
    state.counters["line_limit_s"] = lineLimit;
    state.counters["ratio"] = perWrite / lineLimit;
    state.counters["overhead_us_per_block"] = (perWrite - lineLimit) * 1e6 / kBlocks;
}
BENCHMARK(BM_PacedWrite64K)
    ->ArgNames({"baud", "engine"})
    ->Args({115200, 1})
    ->Args({115200, 0})
    ->Args({57600, 1})
    ->Args({57600, 0})
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
