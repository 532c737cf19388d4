// The ISP backend end to end: through the controller, on the simulated cable
// and chip, for every cable type and latch mode.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>

#include "isp/IspByteModeFamily.h"
#include "isp/IspProgrammer.h"
#include "programmer/StatusCode.h"
#include "sim/SimIspRig.h"
#include "platform/AppGlobals.h"
#include "programmer/Programmer.h"
#include "programmer/StatusQueue.h"
#include "sim/SimulatedIspProgrammer.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TempDir.h"

namespace {

using Operation = void (CProgrammer::*)(int);

enum Device { kAT89S52 = 0, kAT89S51 = 1, kOtherCode = 2 };

// A controller with a small catalogue and an empty program folder (cable
// type 1 takes its default wiring), driving the backend on a simulated rig.
class IspEngineTest : public ::testing::Test {
protected:
    IspEngineTest()
    {
        SetAppDir(m_dir.Path().string());
        m_programmer.SetCatalogue({
            {"AT89S52", 2, 8, 5.0f, {0x1E, 0x52, 0x06}},
            {"AT89S51", 2, 4, 5.0f, {0x1E, 0x51, 0x06}},
            {"AT89C51", 9, 4, 12.0f, {0x1E, 0x51, 0xFF}},
        });
    }

    void Make(int cableType, int latchMode, const SimIspOptions& options = {})
    {
        auto sim = MakeSimulatedIspProgrammer(m_programmer, cableType, latchMode, options);
        m_isp = sim.backend.get();
        m_rig = sim.rig;
        m_programmer.SetBackend(cableType, std::move(sim.backend));
        ASSERT_EQ(kStatusParallelReady, Next());
    }

    // The next status code, skipping device-list selections; -1 when none
    // came within the hang guard.
    int Next()
    {
        for (;;) {
            const auto event = m_queue.Wait(std::chrono::seconds(60));
            if (!event)
                return -1;
            if (event->kind == StatusEvent::Kind::Status)
                return event->value;
        }
    }
    // Codes up to and including the first one of last.
    std::vector<int> Until(std::initializer_list<int> last)
    {
        std::vector<int> codes;
        do
            codes.push_back(Next());
        while (codes.back() >= 0 && std::find(last.begin(), last.end(), codes.back()) == last.end());
        return codes;
    }

    // Runs one operation to its end, worker gone, and returns its codes.
    std::vector<int> Run(Operation operation, int device = kAT89S52)
    {
        (m_programmer.*operation)(device);
        auto codes = Until({kStatusEraseDone, kStatusWriteDone, kStatusWriteError, kStatusReadDone,
                            kStatusDeviceDetected, kStatusNoDevice, kStatusUnavailable,
                            kStatusInvalidOperation, kStatusReceiveError});
        m_isp->WaitIdle();
        return codes;
    }
    int Last(Operation operation, int device = kAT89S52) { return Run(operation, device).back(); }
    int Lock(int level)
    {
        m_programmer.LockDevice(kAT89S52, level);
        const int code = Next();
        m_isp->WaitIdle();
        return code;
    }
    std::uint64_t Traffic() { return m_rig->Cable().Reads() + m_rig->Cable().Writes(); }

    // The controller (and the backend in it) goes before the sinks its
    // worker posts to.
    CTempDir m_dir;
    CStatusQueue m_queue;
    CRecordingMessageSink m_messages;
    CProgrammer m_programmer{m_queue, m_messages};
    CIspProgrammer* m_isp = nullptr;
    CSimIspRig* m_rig = nullptr;
};

TEST_F(IspEngineTest, ReadyOnlyForAServedCodeAndNothingStartsForOthers)
{
    Make(2, 0);
    m_programmer.CheckReady(kAT89S52);
    EXPECT_EQ(kStatusReady, Next());
    const std::uint64_t traffic = Traffic();

    m_programmer.CheckReady(kOtherCode);
    EXPECT_EQ(kStatusUnavailable, Next());
    m_programmer.DetectDevice(kOtherCode);
    m_programmer.EraseDevice(kOtherCode);
    m_programmer.WriteDevice(kOtherCode);
    m_programmer.ReadDevice(kOtherCode);
    m_programmer.LockDevice(kOtherCode, 1);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(kStatusInvalidOperation, Next());
    m_isp->WaitIdle();
    EXPECT_EQ(traffic, Traffic());
    // A failed lookup keeps the handler found before.
    ASSERT_NE(nullptr, m_isp->CurrentFamily());
    EXPECT_EQ(CIspByteModeFamily::kDeviceCode, m_isp->CurrentFamily()->m_byDeviceCode);
}

TEST_F(IspEngineTest, PortThatDidNotOpenRefusesEverything)
{
    auto isp = std::make_unique<CIspProgrammer>(m_messages);
    EXPECT_EQ(0, isp->InitWith(&m_programmer, nullptr, 2, 0));
    m_programmer.SetBackend(2, std::move(isp));
    EXPECT_EQ(kStatusParallelFailed, Next());
    // Reads of a missing port would pass for data, erase and lock for done.
    m_programmer.CheckReady(0);
    m_programmer.ReadDevice(0);
    m_programmer.EraseDevice(0);
    m_programmer.LockDevice(0, 1);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(kStatusUnavailable, Next());
}

struct CableCase {
    int type;
    int latchMode;
};

class IspEngineCableTest : public IspEngineTest, public ::testing::WithParamInterface<CableCase> {};

TEST_P(IspEngineCableTest, WriteVerifyDetectAndReadBack)
{
    Make(GetParam().type, GetParam().latchMode);
    for (int i = 0; i < 16; ++i)
        m_programmer.Buffer1[i] = std::uint8_t(0xA5 ^ (i * 13));
    // Progress after bytes 0 and 15.
    EXPECT_EQ((std::vector<int>{kStatusWriteProgress, kStatusWriteProgress, kStatusWriteDone}),
              Run(&CProgrammer::WriteDevice));
    EXPECT_EQ(16, m_programmer.m_nLength.load());
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(m_programmer.Buffer1[i], m_rig->Chip().PeekByte(i)) << i;

    // Verify: only the written length comes back.
    m_programmer.m_bKeepLength = 1;
    EXPECT_EQ(kStatusReadDone, Last(&CProgrammer::ReadDevice));
    EXPECT_TRUE(std::equal(m_programmer.Buffer1, m_programmer.Buffer1 + 16, m_programmer.Buffer2));
    EXPECT_EQ(0xFF, m_programmer.Buffer2[16]);

    // Detected from the other part's entry: the chip's own becomes current.
    EXPECT_EQ(kStatusDeviceDetected, Last(&CProgrammer::DetectDevice, kAT89S51));
    EXPECT_EQ(kAT89S52, m_programmer.m_nCurDevice.load());

    // A whole 8 KB part, every address high byte first.
    m_rig->Chip().SetContents(0x1234, std::array<std::uint8_t, 1>{0x5C});
    m_programmer.m_bKeepLength = 0;
    const auto codes = Run(&CProgrammer::ReadDevice);
    EXPECT_EQ(8191 / 15 + 1, std::count(codes.begin(), codes.end(), kStatusReadProgress));
    EXPECT_EQ(0x2000, m_programmer.m_nLength.load());
    EXPECT_EQ(0x5C, m_programmer.Buffer2[0x1234]);
    m_programmer.Buffer2[0x1234] = 0xFF;
    EXPECT_TRUE(std::equal(m_programmer.Buffer1, m_programmer.Buffer1 + 0x2000, m_programmer.Buffer2));
    // Every operation released the outputs (only type 1 has OE).
    if (GetParam().type == 1) {
        EXPECT_FALSE(m_rig->Cable().OutputsEnabled());
    }
}

INSTANTIATE_TEST_SUITE_P(Cables, IspEngineCableTest,
                         ::testing::Values(CableCase{1, 0}, CableCase{1, 1}, CableCase{1, 2},
                                           CableCase{2, 0}, CableCase{3, 0}, CableCase{3, 2}));

class IspEngineTrafficTest : public IspEngineTest, public ::testing::WithParamInterface<int> {};

// Every register access is accounted for: a byte that never verifies costs
// exactly the frames and line changes the engine implies for its latch mode.
TEST_P(IspEngineTrafficTest, ByteRefusedByALockedChipCostsAThousandReadBacks)
{
    const int latchMode = GetParam();
    Make(1, latchMode);
    ASSERT_EQ(kStatusLockDone, Lock(1));
    m_programmer.Buffer1[0] = 0x12;
    m_programmer.Buffer1[1] = 0x34;
    m_rig->Cable().ResetCounters();
    EXPECT_EQ((std::vector<int>{kStatusWriteError}), Run(&CProgrammer::WriteDevice));

    // Register writes per line change: one, plus the latch work.
    const std::uint64_t perChange = latchMode == 2 ? 1 : latchMode == 1 ? 2 : 3;
    // A frame: per byte one SCK low and 8 x (MOSI, SCK high, SCK low), plus
    // the latch work before each of the 32 MISO samples.
    const std::uint64_t frameWrites = 4 * (1 + 8 * 3) * perChange + 32 * (perChange - 1);
    const std::uint64_t frames = 2 + 1 + CIspByteModeFamily::kMaxVerifyReads;
    // OE on; two programming enables (4 line changes and a frame each); the
    // write and read-back frames; EndProgramming (3 line changes); OE stays.
    EXPECT_EQ(1 + 2 * 4 * perChange + frames * frameWrites + 3 * perChange,
              m_rig->Cable().Writes());
    EXPECT_EQ(frames * 32, m_rig->Cable().Reads());
    EXPECT_TRUE(m_rig->Cable().OutputsEnabled());
    EXPECT_FALSE(m_rig->Target().InSerialMode());
    EXPECT_FALSE(m_isp->IsBusy());
}

INSTANTIATE_TEST_SUITE_P(LatchModes, IspEngineTrafficTest, ::testing::Values(0, 1, 2));

class IspEngineLockTest : public IspEngineTest, public ::testing::WithParamInterface<int> {};

TEST_P(IspEngineLockTest, EachLockStepFollowsItsOwnProgrammingEnable)
{
    Make(3, 0);
    EXPECT_EQ(kStatusLockDone, Lock(GetParam()));
    EXPECT_EQ(GetParam(), m_rig->Chip().LockLevel());
    // Then the lock bits are read back.
    EXPECT_EQ(std::uint64_t(2 * GetParam() + 1), m_rig->Target().Frames());
    EXPECT_EQ(0x24, m_rig->Target().LastFrame()[0]);
}

INSTANTIATE_TEST_SUITE_P(Levels, IspEngineLockTest, ::testing::Values(1, 2, 3));

TEST_F(IspEngineTest, LockLevelThreeHidesTheContentsUntilErased)
{
    Make(2, 0);
    for (int i = 0; i < 8; ++i)
        m_programmer.Buffer1[i] = std::uint8_t(i);
    ASSERT_EQ(kStatusWriteDone, Last(&CProgrammer::WriteDevice));
    ASSERT_EQ(kStatusLockDone, Lock(3));
    m_programmer.m_bKeepLength = 1;
    EXPECT_EQ(kStatusReadDone, Last(&CProgrammer::ReadDevice));
    EXPECT_FALSE(std::equal(m_programmer.Buffer1, m_programmer.Buffer1 + 8, m_programmer.Buffer2));
    EXPECT_EQ(kStatusEraseDone, Last(&CProgrammer::EraseDevice));
    EXPECT_EQ(0, m_rig->Chip().LockLevel());
}

TEST_F(IspEngineTest, EmptyImageWritesNothingAndTheFollowingVerifyReadsNothing)
{
    Make(2, 0);
    EXPECT_EQ((std::vector<int>{kStatusWriteDone}), Run(&CProgrammer::WriteDevice));
    EXPECT_EQ(0, m_programmer.m_nLength.load());
    m_programmer.m_bKeepLength = 1;
    EXPECT_EQ((std::vector<int>{kStatusReadDone}), Run(&CProgrammer::ReadDevice));
    // Only the programming-enable frames of both operations.
    EXPECT_EQ(3u, m_rig->Target().Frames());
    EXPECT_EQ(kStatusLockDone, Lock(1));
}

// A chip that does not answer programming enable (MISO stuck at one level:
// a broken wire, no supply) fails every operation with the reason, after
// the retries, rather than passing made-up data or an unreached chip off.
TEST_F(IspEngineTest, SilentDeviceFailsEveryOperationWithTheReason)
{
    const std::string reason = "芯片没有应答编程使能指令, 请检查连线、晶振和电源.";
    for (auto fault : {CSimCable::MisoFault::StuckHigh, CSimCable::MisoFault::StuckLow}) {
        Make(2, 0);
        m_rig->Cable().SetMisoFault(fault);
        m_programmer.SetSignature({0x12, 0x34, 0x56});
        m_programmer.Buffer1[0] = 0x12;
        for (Operation operation : {&CProgrammer::DetectDevice, &CProgrammer::EraseDevice,
                                    &CProgrammer::WriteDevice, &CProgrammer::ReadDevice}) {
            EXPECT_EQ(kStatusReceiveError, Last(operation));
            EXPECT_EQ(reason, m_isp->TakeFailureNote());
            EXPECT_EQ("", m_isp->TakeFailureNote());  // once
        }
        EXPECT_EQ(kStatusReceiveError, Lock(3));
        EXPECT_EQ(reason, m_isp->TakeFailureNote());
        // Nothing was read from it: the last signature stands.
        EXPECT_EQ((std::array<std::uint8_t, 3>{0x12, 0x34, 0x56}), m_programmer.Signature());
        m_programmer.SetBackend(2, nullptr);
    }
}

struct MismatchCase {
    const char* name;
    int backendType;
    int latchMode;
    int wiringType;           // how the cable is really wired
    bool swappedLatchLevels;  // the cable file's LE levels the wrong way round
    int detect;
};

class IspEngineMismatchTest : public IspEngineTest,
                              public ::testing::WithParamInterface<MismatchCase> {};

TEST_P(IspEngineMismatchTest, CableThatDoesNotFitItsDescription)
{
    if (GetParam().swappedLatchLevels)
        std::ofstream(m_dir.File("Quenby.ini")) << "[锁存控制(LE)]\r\nEnable=0\r\nDisable=1\r\n";
    SimIspOptions options;
    options.wiring = CableDescription::ForType(GetParam().wiringType, "");
    Make(GetParam().backendType, GetParam().latchMode, options);
    EXPECT_EQ(GetParam().detect, Last(&CProgrammer::DetectDevice));
}

// With the levels swapped, Init leaves the latch closed; only the pulsing
// mode ends each change at the level that opens it.
INSTANTIATE_TEST_SUITE_P(
    Cables, IspEngineMismatchTest,
    ::testing::Values(MismatchCase{"pulse", 1, 0, 1, true, kStatusDeviceDetected},
                      MismatchCase{"redrive", 1, 1, 1, true, kStatusReceiveError},
                      MismatchCase{"never", 1, 2, 1, true, kStatusReceiveError},
                      MismatchCase{"matching", 1, 2, 1, false, kStatusDeviceDetected},
                      MismatchCase{"wrongType", 2, 0, 3, false, kStatusReceiveError}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IspEngineTest, StartIsRefusedFromTheMomentAnotherWasAccepted)
{
    Make(2, 0);
    // A read of 16 KB keeps the worker busy for a long while (waits cost
    // no real time on the simulated chip; line operations do).
    m_programmer.m_bKeepLength = 1;
    m_programmer.m_nLength = 0x4000;
    // The worker may not even have run yet: the refusal must not depend on it.
    m_programmer.ReadDevice(kAT89S52);
    m_programmer.DetectDevice(kAT89S52);
    m_programmer.LockDevice(kAT89S52, 3);
    // The ready check does not look at the worker.
    m_programmer.CheckReady(kAT89S52);
    std::vector<int> codes = Until({kStatusReadDone});
    codes.erase(std::remove(codes.begin(), codes.end(), int(kStatusReadProgress)), codes.end());
    EXPECT_EQ((std::vector<int>{kStatusUnavailable, kStatusUnavailable, kStatusReady,
                                kStatusReadDone}),
              codes);
    m_isp->WaitIdle();
    EXPECT_EQ(0, m_rig->Chip().LockLevel());
}

TEST_F(IspEngineTest, DestroyingTheBackendEndsARunningRead)
{
    Make(2, 0);
    m_programmer.m_bKeepLength = 1;
    m_programmer.m_nLength = CProgrammer::kBufferSize;
    m_programmer.ReadDevice(kAT89S52);
    m_programmer.SetBackend(2, nullptr);  // must join the worker, not hang
    SUCCEED();
}

TEST_F(IspEngineTest, ChipStateIsKeptInItsFileAcrossBackends)
{
    SimIspOptions options;
    options.statePath = m_dir.File("chip.state");
    Make(3, 0, options);
    m_programmer.Buffer1[0] = 0x5A;
    ASSERT_EQ(kStatusWriteDone, Last(&CProgrammer::WriteDevice));
    m_programmer.SetBackend(3, nullptr);

    Make(3, 0, options);
    EXPECT_EQ(0x5A, m_rig->Chip().PeekByte(0));
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(IspEngineTest, UnreadableStateFileIsReportedAndLeftAlone)
{
    const std::string path = m_dir.File("chip.state");
    std::ofstream(path) << "not a chip";
    SimIspOptions options;
    options.statePath = path;
    Make(2, 0, options);
    EXPECT_EQ(1u, m_messages.Texts().size());
    EXPECT_EQ(0xFF, m_rig->Chip().PeekByte(0));
    m_programmer.SetBackend(2, nullptr);
    std::ifstream in(path);
    EXPECT_EQ("not a chip", std::string(std::istreambuf_iterator<char>(in), {}));
}

}  // namespace
