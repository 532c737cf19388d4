// The serial link end to end: the real controller, backend and port channel
// against the simulated board on a pseudo-terminal.
//
// Unpaced, the board answers at once, so the time per 16-byte block is what
// the host, the pty and the simulator themselves cost. Paced, every byte takes
// its 10 bit times, and a write can be no faster than its frames and
// acknowledgements on the line: 19 bytes per block.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/core/HardwareBackends.h"
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
// Per block on the line: an 18-byte data frame out, a 1-byte acknowledgement
// back.
constexpr int kLineBytesPerWrittenBlock = 18 + 1;
// Generous: a hang guard only.
constexpr auto kEventGuard = std::chrono::seconds(30);

class CNullMessageSink : public IMessageSink {
public:
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
};

double ProcessCpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Never 0xFF, so the trimmed image is the whole 64 KB; flash only clears
// bits, so writing the same pattern again always verifies.
std::uint8_t PatternByte(int address)
{
    return std::uint8_t((address * 31 + (address >> 8)) & 0x7F);
}

// The time per block in the typical stretch of 64 blocks (the median over
// the transfer): the steady cost of a block, with bursts of outside load on
// the machine left out. Whole stretches, so that events that a late reader
// takes in a bunch do not count as fast blocks.
double TypicalBlockSeconds(const std::vector<Clock::time_point>& times)
{
    constexpr std::size_t kStretch = 64;
    std::vector<double> perBlock;
    for (std::size_t i = kStretch; i < times.size(); i += kStretch)
        perBlock.push_back(std::chrono::duration<double>(times[i] - times[i - kStretch]).count()
                           / kStretch);
    if (perBlock.empty())
        return 0;
    std::nth_element(perBlock.begin(), perBlock.begin() + std::ptrdiff_t(perBlock.size() / 2),
                     perBlock.end());
    return perBlock[perBlock.size() / 2];
}

// A controller connected to a simulated board with a 64 KB part, a 64 KB
// device selected and the board answering.
class CSerialRig {
public:
    explicit CSerialRig(int baud, bool paced)
        : m_board({.baud = baud, .paced = paced, .flashKB = kImageBytes / 1024})
    {
        if (!m_board.Start()) {
            m_strError = "board simulator: " + m_board.LastError();
            return;
        }
        m_programmer.SetCatalogue({{"64K-BENCH", 2, kImageBytes / 1024, 5.0f, {0x1E, 0x52, 0x06}}});
        m_programmer.m_strPortPath = m_board.DevicePath();
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
        m_blockTimes.reserve(kBlocks);
    }

    const std::string& Error() const { return m_strError; }
    CBoardSimulator& Board() { return m_board; }

    // One whole write: 10, an 11 per block, 12, and the 5 that answers the
    // end frame (what a following step waits for). Returns the error text,
    // empty on success.
    std::string Write()
    {
        m_programmer.WriteDevice(0);
        return Transfer(kStatusWriteStart, kStatusWriteProgress, kStatusWriteDone, true);
    }

    // One whole read into Buffer2: 14, a 15 per block, 16.
    std::string Read()
    {
        m_programmer.ReadDevice(0);
        return Transfer(kStatusReadStart, kStatusReadProgress, kStatusReadDone, false);
    }

    bool ReadBackMatches() const
    {
        return std::memcmp(m_programmer.Buffer1, m_programmer.Buffer2, kImageBytes) == 0;
    }

    // When each block's progress event was taken, in the last transfer.
    const std::vector<Clock::time_point>& BlockTimes() const { return m_blockTimes; }

private:
    std::string Transfer(int start, int progress, int done, bool readyAfter)
    {
        m_blockTimes.clear();
        if (int code = NextStatus(); code != start)
            return Unexpected(start, code);
        for (int block = 0; block < kBlocks; ++block) {
            if (int code = NextStatus(); code != progress)
                return Unexpected(progress, code);
            m_blockTimes.push_back(Clock::now());
        }
        if (int code = NextStatus(); code != done)
            return Unexpected(done, code);
        if (readyAfter)
            if (int code = NextStatus(); code != kStatusReady)
                return Unexpected(kStatusReady, code);
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

    static std::string Unexpected(int expected, int code)
    {
        return "expected status " + std::to_string(expected) + ", got " + std::to_string(code);
    }

    // The board is declared first: the backend must close the port before
    // the pty goes away.
    CBoardSimulator m_board;
    CStatusQueue m_queue;
    CNullMessageSink m_messages;
    CProgrammer m_programmer{m_queue, m_messages};
    std::vector<Clock::time_point> m_blockTimes;
    std::string m_strError;
};

// The same write with none of the host's threads: one thread writes each
// frame and blocks until its acknowledgement is back. What the pty and the
// simulator cost by themselves, to tell them apart from the host's share.
class CRawWriter {
public:
    explicit CRawWriter(int baud, bool paced)
        : m_board({.baud = baud, .paced = paced, .flashKB = kImageBytes / 1024})
    {
        if (!m_board.Start()) {
            m_strError = "board simulator: " + m_board.LastError();
            return;
        }
        m_port.Reset(::open(m_board.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        termios tio{};
        if (!m_port.IsValid() || ::tcgetattr(m_port.Get(), &tio) != 0) {
            m_strError = "cannot open " + m_board.DevicePath();
            return;
        }
        ::cfmakeraw(&tio);
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        ::tcsetattr(m_port.Get(), TCSANOW, &tio);
        m_blockTimes.reserve(kBlocks);
    }

    const std::string& Error() const { return m_strError; }
    const std::vector<Clock::time_point>& BlockTimes() const { return m_blockTimes; }

    std::string Write()
    {
        m_blockTimes.clear();
        std::uint8_t frame[18] = {3, 2};
        if (!Exchange(frame, 18) || m_reply[0] != 3)
            return "no write go-ahead";
        frame[0] = 7;
        for (int block = 0; block < kBlocks; ++block) {
            for (int i = 0; i < kBlockBytes; ++i)
                frame[2 + i] = PatternByte(block * kBlockBytes + i);
            if (!Exchange(frame, 1) || m_reply[0] != 1)
                return "block " + std::to_string(block) + " not acknowledged";
            m_blockTimes.push_back(Clock::now());
        }
        frame[0] = 0;
        if (!Exchange(frame, 18) || m_reply[0] != 0)
            return "no answer to the end frame";
        return {};
    }

private:
    bool Exchange(const std::uint8_t* frame, std::size_t replySize)
    {
        if (::write(m_port.Get(), frame, 18) != 18)
            return false;
        std::size_t got = 0;
        while (got < replySize) {
            pollfd pfd{m_port.Get(), POLLIN, 0};
            if (::poll(&pfd, 1, 5000) <= 0)
                return false;
            const ssize_t n = ::read(m_port.Get(), m_reply + got, replySize - got);
            if (n <= 0)
                return false;
            got += std::size_t(n);
        }
        return true;
    }

    CBoardSimulator m_board;
    CUniqueFd m_port;
    std::uint8_t m_reply[18] = {};
    std::vector<Clock::time_point> m_blockTimes;
    std::string m_strError;
};

// Shared by both directions of the unpaced run and its baseline.
template <typename Rig, typename Transfer>
void RunUnpaced(benchmark::State& state, Rig& rig, Transfer transfer)
{
    if (!rig.Error().empty()) {
        state.SkipWithError(rig.Error().c_str());
        return;
    }
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double typicalSum = 0;
    std::int64_t blocks = 0;
    for (auto _ : state) {
        const double cpu0 = ProcessCpuSeconds();
        const auto t0 = Clock::now();
        const std::string error = transfer();
        wallSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
        cpuSeconds += ProcessCpuSeconds() - cpu0;
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
        typicalSum += TypicalBlockSeconds(rig.BlockTimes());
        blocks += kBlocks;
    }
    if (blocks == 0)
        return;
    state.counters["blocks_per_s"] = double(blocks) / wallSeconds;
    // Wall time per block: host, pty and simulator together, the board
    // itself taking no time.
    state.counters["us_per_block"] = wallSeconds * 1e6 / double(blocks);
    state.counters["typical_us_per_block"] = typicalSum * 1e6 / double(state.iterations());
    // CPU of every thread in the process (host threads and the simulator).
    state.counters["cpu_us_per_block"] = cpuSeconds * 1e6 / double(blocks);
    state.SetBytesProcessed(blocks * kBlockBytes);
}

void BM_UnpacedWrite64K(benchmark::State& state)
{
    CSerialRig rig(115200, false);
    RunUnpaced(state, rig, [&] { return rig.Write(); });
    if (rig.Error().empty() && rig.Board().BlocksWritten() != kBlocks * int(state.iterations()))
        state.SkipWithError("the board did not program every block");
}
BENCHMARK(BM_UnpacedWrite64K)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_UnpacedRead64K(benchmark::State& state)
{
    CSerialRig rig(115200, false);
    // Something worth reading back.
    if (rig.Error().empty()) {
        if (const std::string error = rig.Write(); !error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    RunUnpaced(state, rig, [&] { return rig.Read(); });
    if (rig.Error().empty() && !rig.ReadBackMatches())
        state.SkipWithError("the data read back differs from what was written");
}
BENCHMARK(BM_UnpacedRead64K)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_UnpacedRawLineWrite64K(benchmark::State& state)
{
    CRawWriter raw(115200, false);
    RunUnpaced(state, raw, [&] { return raw.Write(); });
}
BENCHMARK(BM_UnpacedRawLineWrite64K)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// One 64 KB write with every byte paced at the baud rate, against the time
// the line needs for it.
template <typename Rig>
void RunPaced(benchmark::State& state, Rig& rig, int baud)
{
    if (!rig.Error().empty()) {
        state.SkipWithError(rig.Error().c_str());
        return;
    }
    double wallSeconds = 0;
    double typicalSum = 0;
    int writes = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const std::string error = rig.Write();
        wallSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
        typicalSum += TypicalBlockSeconds(rig.BlockTimes());
        ++writes;
    }
    if (writes == 0)
        return;
    const double blockLimit = double(kLineBytesPerWrittenBlock) * 10 / double(baud);
    const double lineLimit = blockLimit * kBlocks;
    const double perWrite = wallSeconds / writes;
    state.counters["wall_s"] = perWrite;
    state.counters["line_limit_s"] = lineLimit;
    state.counters["ratio"] = perWrite / lineLimit;
    state.counters["overhead_us_per_block"] = (perWrite - lineLimit) * 1e6 / kBlocks;
    // The same for a typical block, bursts of outside load left out.
    state.counters["typical_ratio"] = typicalSum / writes / blockLimit;
}

void BM_PacedWrite64K(benchmark::State& state)
{
    const int baud = int(state.range(0));
    CSerialRig rig(baud, true);
    RunPaced(state, rig, baud);
}
BENCHMARK(BM_PacedWrite64K)
    ->Arg(115200)
    ->Arg(57600)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(3);

void BM_PacedRawLineWrite64K(benchmark::State& state)
{
    CRawWriter raw(115200, true);
    RunPaced(state, raw, 115200);
}
BENCHMARK(BM_PacedRawLineWrite64K)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
