// The ISP engine on the simulated cable: register traffic per programmed
// byte for each latch mode, raw simulated register throughput, and the time
// to write and verify 8 KB through the controller. The same engine on the
// fake GPIO line layer (line changes per programmed byte) and on the fake
// FTDI layer (USB transfers per programmed byte), and ChipCycle: erase,
// write and verify of 8 KB in the timed chip model's time against the
// datasheet floor.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "isp/IspByteModeFamily.h"
#include "isp/IspProgrammer.h"
#include "platform/AppGlobals.h"
#include "platform/MessageSink.h"
#include "programmer/Programmer.h"
#include "programmer/StatusCode.h"
#include "programmer/StatusQueue.h"
#include "sim/SimFtdiRig.h"
#include "sim/SimGpioRig.h"
#include "sim/SimIspRig.h"
#include "sim/SimSpiRig.h"
#include "sim/SimulatedBackends.h"
#include "sim/SimulatedFtdiProgrammer.h"
#include "sim/SimulatedGpioProgrammer.h"
#include "sim/SimulatedIspProgrammer.h"
#include "sim/SimulatedSpiProgrammer.h"

namespace {

// The status that ends the running operation; -1 when none came in time.
int WaitForOperationEnd(CStatusQueue& queue)
{
    for (;;) {
        const auto event = queue.Wait(std::chrono::seconds(60));
        if (!event)
            return -1;
        if (event->kind == StatusEvent::Kind::Status && event->value != kStatusWriteProgress &&
            event->value != kStatusReadProgress)
            return event->value;
    }
}

class CNullMessageSink : public IMessageSink {
public:
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
};

// A controller with the simulated cable installed and an AT89S52 selected.
struct Bench {
    explicit Bench(int cableType, int latchMode)
    {
        // No cable file here: type 1 takes its default wiring.
        SetAppDir("/nonexistent-tamberlink-bench");
        programmer.SetCatalogue({{"AT89S52", 2, 8, 5.0f, {0x1E, 0x52, 0x06}}});
        auto sim = MakeSimulatedIspProgrammer(programmer, cableType, latchMode);
        isp = sim.backend.get();
        rig = sim.rig;
        programmer.SetBackend(cableType, std::move(sim.backend));
        queue.Wait(std::chrono::seconds(5));  // "parallel port ready"
    }

    int WaitForEnd() { return WaitForOperationEnd(queue); }

    CStatusQueue queue;
    CNullMessageSink messages;
    CProgrammer programmer{queue, messages};
    CIspProgrammer* isp = nullptr;
    CSimIspRig* rig = nullptr;
};

// Register writes caused by one line change: the pin itself plus the latch
// work (mode 2: none; mode 1: LE re-driven; otherwise LE pulsed twice).
std::uint64_t WritesPerLineChange(int latchMode)
{
    return latchMode == 2 ? 1 : latchMode == 1 ? 2 : 3;
}

// One 4-byte frame: per byte one SCK low, then per bit MOSI, SCK high and
// SCK low (3 line changes) and one MISO sample, which is preceded by the
// latch work (writes per change - 1) and is one register read.
//   writes = 4 * (1 + 8 * 3) * w + 32 * (w - 1), reads = 32
// mode 0 (w = 3): 364 + 32 = 396; mode 1 (w = 2): 232 + 32 = 264;
// mode 2 (w = 1): 100 + 32 = 132 register operations.
std::uint64_t RegisterOpsPerFrame(int latchMode)
{
    const std::uint64_t w = WritesPerLineChange(latchMode);
    return 4 * (1 + 8 * 3) * w + 32 * (w - 1) + 32;
}

// A programmed byte is one write frame plus read-back frames until the byte
// reads back: until the chip's write cycle (64 crystal periods + 400 us)
// has passed at a microsecond per register access, which takes 2, 2 and 4
// read-backs for latch modes 0, 1 and 2 (3, 3 and 5 frames; every frame
// 32 reads).
void BM_RegisterOpsPerProgrammedByte(benchmark::State& state)
{
    const int latchMode = int(state.range(0));
    Bench bench(1, latchMode);
    CIspFamily* family = bench.isp->FindFamily(CIspByteModeFamily::kDeviceCode);
    family->ProgramEnable();
    bench.rig->Cable().ResetCounters();
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        const int address = int(bytes & 0x1FFF);
        // Programming only clears bits, so writing 0x00 always verifies.
        benchmark::DoNotOptimize(family->WriteByte(0x00, address));
        ++bytes;
    }
    const auto& cable = bench.rig->Cable();
    const double measured = double(cable.Reads() + cable.Writes()) / double(bytes);
    const double frames = double(cable.Reads()) / 32.0 / double(bytes);
    const double expected = frames * double(RegisterOpsPerFrame(latchMode));
    state.counters["frames_per_byte"] = frames;
    state.counters["reg_ops_per_byte"] = measured;
    state.counters["expected"] = expected;
    if (measured != expected)
        state.SkipWithError("register traffic differs from what the algorithm implies");
    family->EndProgramming();
}
BENCHMARK(BM_RegisterOpsPerProgrammedByte)->Arg(0)->Arg(1)->Arg(2);

// Simulated register operations per second, frames shifted back to back.
void BM_SimulatedRegisterOps(benchmark::State& state)
{
    Bench bench(1, 0);
    bench.isp->FindFamily(CIspByteModeFamily::kDeviceCode)->ProgramEnable();
    auto& tx = bench.isp->TxFrame();
    tx = {0x20, 0x00, 0x00, 0x00};
    bench.rig->Cable().ResetCounters();
    for (auto _ : state)
        bench.isp->Transfer(4);
    const auto& cable = bench.rig->Cable();
    state.counters["reg_ops_per_s"] =
        benchmark::Counter(double(cable.Reads() + cable.Writes()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SimulatedRegisterOps);

// Write an 8 KB image and read it back for verify through the controller,
// the way the session does; includes the fixed reset and enable waits
// (3 x 20 ms).
void BM_WriteAndVerify8K(benchmark::State& state)
{
    Bench bench(int(state.range(0)), 0);
    std::mt19937 random(7);
    for (int i = 0; i < 0x2000; ++i)
        bench.programmer.Buffer1[i] = std::uint8_t(random() & 0x7F);  // never all 0xFF at the end
    for (auto _ : state) {
        bench.rig->Chip().ChipErase();
        bench.programmer.WriteDevice(0);
        const int written = bench.WaitForEnd();
        bench.programmer.m_bKeepLength = 1;
        bench.programmer.ReadDevice(0);
        const int read = bench.WaitForEnd();
        bench.isp->WaitIdle();
        if (written != kStatusWriteDone || read != kStatusReadDone ||
            std::memcmp(bench.programmer.Buffer1, bench.programmer.Buffer2, 0x2000) != 0) {
            state.SkipWithError("write or verify failed");
            break;
        }
    }
}
// A controller with the GPIO (4), FTDI (5) or SPI (6) backend on its fake
// line layer and an AT89S52 selected.
struct PinBench {
    explicit PinBench(int progType, const SimIspOptions& options = {}, bool pageWrite = false)
    {
        SetAppDir("/nonexistent-tamberlink-bench");
        programmer.m_bPageWrite = pageWrite;
        programmer.SetBackendTable(&kinds);
        programmer.SetCatalogue({{"AT89S52", 2, 8, 5.0f, {0x1E, 0x52, 0x06}}});
        if (progType == 4)
            gpio = Install(4, MakeSimulatedGpioProgrammer(programmer, options));
        else if (progType == 5)
            ftdi = Install(5, MakeSimulatedFtdiProgrammer(programmer, options));
        else
            spi = Install(6, MakeSimulatedSpiProgrammer(programmer, options));
        queue.Wait(std::chrono::seconds(5));  // "parallel port ready"
    }

    // Hands the backend to the controller; its bench's rig.
    template <typename Made>
    auto Install(int progType, Made made) -> decltype(made.rig)
    {
        isp = made.backend.get();
        chip = &made.rig->Chip();
        board = &made.rig->Board();
        programmer.SetBackend(progType, std::move(made.backend));
        return made.rig;
    }

    int WaitForEnd() { return WaitForOperationEnd(queue); }

    CStatusQueue queue;
    CNullMessageSink messages;
    const CBackendTable kinds = SimulatedIspBackends({});
    CProgrammer programmer{queue, messages};
    CIspEngine* isp = nullptr;
    CSimGpioRig* gpio = nullptr;
    CSimFtdiRig* ftdi = nullptr;
    std::shared_ptr<CSimSpiRig> spi;
    CSimChip* chip = nullptr;
    CSimTargetBoard* board = nullptr;
};

// GPIO: every line change is one set of one line (one ioctl on a real
// chip), every sample one read. A frame is 100 changes (per byte one SCK
// low, per bit MOSI, SCK high, SCK low) and 32 reads; a programmed byte on
// the simulated chip is 5 frames (the write and four read-backs), so 500
// changes and 160 reads.
void BM_GpioLineChangesPerProgrammedByte(benchmark::State& state)
{
    PinBench bench(4);
    CIspFamily* family = bench.isp->FindFamily(CIspByteModeFamily::kDeviceCode);
    family->ProgramEnable();
    bench.gpio->ResetCounters();
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(family->WriteByte(0x00, int(bytes & 0x1FFF)));
        ++bytes;
    }
    const double changes = double(bench.gpio->LineChanges()) / double(bytes);
    state.counters["line_changes_per_byte"] = changes;
    state.counters["line_reads_per_byte"] = double(bench.gpio->LineReads()) / double(bytes);
    state.counters["frames_per_byte"] = double(bench.gpio->LineReads()) / 32.0 / double(bytes);
    family->EndProgramming();
}
BENCHMARK(BM_GpioLineChangesPerProgrammedByte);

// FTDI: a frame's 100 changes go out in one USB write and its 100 samples
// come back in one read, so a frame is one exchange of 2 transfers. A
// programmed byte is the write frame and the read-backs until it reads
// back; a USB round trip (1 ms or more) outlasts the part's byte write, so
// the first read-back, one exchange later, already matches: 2 exchanges, 4
// transfers (target: at most 6).
void BM_FtdiUsbTransfersPerProgrammedByte(benchmark::State& state)
{
    PinBench bench(5);
    CIspFamily* family = bench.isp->FindFamily(CIspByteModeFamily::kDeviceCode);
    family->ProgramEnable();
    bench.ftdi->ResetCounters();
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(family->WriteByte(0x00, int(bytes & 0x1FFF)));
        ++bytes;
    }
    const double transfers = double(bench.ftdi->Transfers()) / double(bytes);
    state.counters["usb_transfers_per_byte"] = transfers;
    state.counters["usb_bytes_per_byte"] = double(bench.ftdi->BytesWritten()) / double(bytes);
    state.counters["expected"] = 2 * 2;
    if (transfers != 4 || transfers > 6)
        state.SkipWithError("USB transfers differ from what the algorithm implies");
    family->EndProgramming();
}
BENCHMARK(BM_FtdiUsbTransfersPerProgrammedByte);

// Write and verify 8 KB on GPIO lines (4) and an FTDI cable (5), through the
// controller. The fakes answer at once: this is the host's own cost.
void BM_PinKindWriteAndVerify8K(benchmark::State& state)
{
    PinBench bench(int(state.range(0)));
    std::mt19937 random(7);
    for (int i = 0; i < 0x2000; ++i)
        bench.programmer.Buffer1[i] = std::uint8_t(random() & 0x7F);
    for (auto _ : state) {
        bench.chip->ChipErase();
        bench.programmer.WriteDevice(0);
        const int written = bench.WaitForEnd();
        bench.programmer.m_bKeepLength = 1;
        bench.programmer.ReadDevice(0);
        const int read = bench.WaitForEnd();
        bench.isp->WaitIdle();
        if (written != kStatusWriteDone || read != kStatusReadDone ||
            std::memcmp(bench.programmer.Buffer1, bench.programmer.Buffer2, 0x2000) != 0) {
            state.SkipWithError("write or verify failed");
            break;
        }
    }
}
BENCHMARK(BM_PinKindWriteAndVerify8K)
    ->Arg(4)
    ->Arg(5)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

// The datasheet floor of erase + write + verify of an 8 KB AT89S52 at
// crystalHz, from the model's own constants: the erase; per byte a 4-byte
// instruction at the fastest serial clock (SCK high and low 8 crystal
// periods each) and its write cycle (64 periods + 400 us); the verify as
// page-mode reads (two header bytes and 256 data bytes a page).
double FloorSeconds(double crystalHz, int bytes)
{
    const double sckPeriod = 2.0 * CSimIspTarget::kSckPhasePeriods / crystalHz;
    const double cycle = CSimIspTarget::kWriteCyclePeriods / crystalHz
        + std::chrono::duration<double>(CSimIspTarget::kWriteCycleFixed).count();
    const double erase = std::chrono::duration<double>(CSimIspTarget::kEraseTime).count();
    const double write = bytes * (32 * sckPeriod + cycle);
    const int pages = (bytes + 255) / 256;
    const double verify = (bytes + 2.0 * pages) * 8 * sckPeriod;
    return erase + write + verify;
}

// Erase, write and verify a random 8 KB image on an AT89S52 at 12 MHz the
// way the automatic sequence does, on the timed chip model: model_s is the
// time the chip saw pass, floor_s the datasheet's floor beside it.
void RunChipCycle(benchmark::State& state, PinBench& bench)
{
    constexpr int kBytes = 0x2000;
    std::mt19937 random(11);
    for (int i = 0; i < kBytes; ++i)
        bench.programmer.Buffer1[i] = std::uint8_t(random());
    bench.programmer.Buffer1[kBytes - 1] = 0x5A;  // the image runs to the end
    double model = 0, erase = 0, write = 0;
    const auto since = [&](std::chrono::nanoseconds start) {
        return std::chrono::duration<double>(bench.board->Clock().Now() - start).count();
    };
    for (auto _ : state) {
        const auto start = bench.board->Clock().Now();
        bench.programmer.m_bKeepLength = 0;
        bench.programmer.EraseDevice(0);
        const int erased = bench.WaitForEnd();
        bench.isp->WaitIdle();
        erase = since(start);
        bench.programmer.WriteDevice(0);
        const int written = bench.WaitForEnd();
        bench.isp->WaitIdle();
        write = since(start) - erase;
        bench.programmer.m_bKeepLength = 1;
        bench.programmer.ReadDevice(0);
        const int read = bench.WaitForEnd();
        bench.isp->WaitIdle();
        model = since(start);
        if (erased != kStatusEraseDone || written != kStatusWriteDone || read != kStatusReadDone
            || std::memcmp(bench.programmer.Buffer1, bench.programmer.Buffer2, kBytes) != 0) {
            state.SkipWithError("erase, write or verify failed");
            break;
        }
    }
    const double floor = FloorSeconds(12e6, kBytes);
    state.counters["model_s"] = model;
    state.counters["floor_s"] = floor;
    state.counters["x_floor"] = model / floor;
    // Where the model time went: the erase step, the write step (its own
    // read-back included) and the verify step's read.
    state.counters["erase_s"] = erase;
    state.counters["write_s"] = write;
    state.counters["verify_s"] = model - erase - write;
}

void BM_ChipCycle_Gpio(benchmark::State& state)
{
    PinBench bench(4);  // 1 us a line set or read
    RunChipCycle(state, bench);
}

void BM_ChipCycle_Spi(benchmark::State& state)
{
    PinBench bench(6);  // 15 us a transfer besides its bits
    RunChipCycle(state, bench);
}

void BM_ChipCycle_FT232H(benchmark::State& state)
{
    SimIspOptions options;
    options.ftdiProduct = 0x6014;  // 125 us a USB round trip
    PinBench bench(5, options);
    RunChipCycle(state, bench);
}

void BM_ChipCycle_FT232R(benchmark::State& state)
{
    PinBench bench(5);  // FT232R: 1 ms a USB round trip
    RunChipCycle(state, bench);
}

// The same with page-mode writes ([ISP] PageWrite=1), whose page time the
// model takes as 2 ms.
void BM_ChipCycle_FT232R_PageWrite(benchmark::State& state)
{
    PinBench bench(5, {}, true);
    RunChipCycle(state, bench);
}

BENCHMARK(BM_ChipCycle_Gpio)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ChipCycle_Spi)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ChipCycle_FT232H)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ChipCycle_FT232R)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ChipCycle_FT232R_PageWrite)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

BENCHMARK(BM_WriteAndVerify8K)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
