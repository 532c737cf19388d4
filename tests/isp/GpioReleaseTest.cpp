// GPIO lines between operations: MOSI and SCK let go and RST low after every
// operation, however it ended, so that the freshly programmed chip runs with
// its port pins free; the access hint names the gpio group only where the
// system has one.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fstream>

#include "isp/GpioProgrammer.h"
#include "platform/AppGlobals.h"
#include "programmer/Programmer.h"
#include "programmer/StatusCode.h"
#include "programmer/StatusQueue.h"
#include "sim/SimGpioRig.h"
#include "sim/SimulatedBackends.h"
#include "sim/SimulatedGpioProgrammer.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TempDir.h"

namespace {

struct ReleaseCase {
    const char* name;
    void (*start)(CProgrammer&);
    int misoOnBoard;  // where the target's MISO really is
    int outcome;
};

class GpioReleaseTest : public testing::TestWithParam<ReleaseCase> {
protected:
    GpioReleaseTest()
    {
        SetAppDir(m_dir.Path().string());
        m_programmer.SetBackendTable(&m_kinds);
        m_programmer.SetCatalogue({{"AT89S52", 2, 8, 5.0f, {0x1E, 0x52, 0x06}}});
    }
    int Next()
    {
        for (;;) {
            const auto event = m_queue.Wait(std::chrono::seconds(20));
            if (!event)
                return -1;
            if (event->kind == StatusEvent::Kind::Status && event->value != kStatusWriteProgress
                && event->value != kStatusReadProgress)
                return event->value;
        }
    }

    CTempDir m_dir;
    CStatusQueue m_queue;
    CRecordingMessageSink m_messages;
    const CBackendTable m_kinds = SimulatedIspBackends({});
    CProgrammer m_programmer{m_queue, m_messages};
};

TEST_P(GpioReleaseTest, MosiAndSckAreLetGoAndRstIsLowAfterTheOperation)
{
    const ReleaseCase& c = GetParam();
    SimIspOptions options;
    options.gpioWiring = GpioWiring{};
    options.gpioWiring->m_nMiso = c.misoOnBoard;
    SimulatedGpioProgrammer made = MakeSimulatedGpioProgrammer(m_programmer, options);
    ASSERT_TRUE(made.rig);
    CGpioProgrammer& backend = *made.backend;
    m_programmer.SetBackend(4, std::move(made.backend));
    ASSERT_EQ(Next(), kStatusParallelReady);
    m_programmer.Buffer1[0] = 0x12;
    m_programmer.Buffer1[1] = 0x34;

    c.start(m_programmer);
    EXPECT_EQ(Next(), c.outcome);
    backend.WaitIdle();
    // The kernel refuses to set an input.
    EXPECT_EQ(made.rig->Set(IGpioLineRequest::kMosi, 1), EPERM);
    EXPECT_EQ(made.rig->Set(IGpioLineRequest::kSck, 1), EPERM);
    EXPECT_EQ(made.rig->Get(IGpioLineRequest::kRst), 0);
    EXPECT_FALSE(made.rig->Target().InSerialMode());
}

INSTANTIATE_TEST_SUITE_P(
    Operations, GpioReleaseTest,
    testing::Values(
        ReleaseCase{"detect", [](CProgrammer& p) { p.DetectDevice(0); }, 9, kStatusDeviceDetected},
        ReleaseCase{"erase", [](CProgrammer& p) { p.EraseDevice(0); }, 9, kStatusEraseDone},
        ReleaseCase{"write", [](CProgrammer& p) { p.WriteDevice(0); }, 9, kStatusWriteDone},
        ReleaseCase{"read", [](CProgrammer& p) { p.ReadDevice(0); }, 9, kStatusReadDone},
        ReleaseCase{"lock", [](CProgrammer& p) { p.LockDevice(0, 1); }, 9, kStatusLockDone},
        // MISO on another line: the chip never answers, the write fails.
        ReleaseCase{"failedWrite", [](CProgrammer& p) { p.WriteDevice(0); }, 8,
                    kStatusReceiveError}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GpioAccessHint, NamesTheGpioGroupOnlyWhereItExists)
{
    for (bool group : {false, true}) {
        GpioWiring wiring;
        wiring.m_bGpioGroup = group;
        const LinesOpenFailure failure = wiring.Failure(EACCES);
        EXPECT_EQ(failure.text.find("group gpio") != std::string::npos, group) << failure.text;
        EXPECT_EQ(failure.port.fix.find("gpio 组") != std::string::npos, group) << failure.port.fix;
        EXPECT_NE(failure.port.fix.find("60-tamberlink.rules"), std::string::npos);
    }
}

TEST(GpioWiringChip, TheHeadersControllerIsLookedForOnlyWhenNoChipIsGiven)
{
    CTempDir dir;
    SetAppDir(dir.Path().string());
    CStatusQueue queue;
    CRecordingMessageSink messages;
    CProgrammer programmer(queue, messages);
    GpioWiring wiring = CGpioProgrammer::WiringFor(programmer);
    EXPECT_TRUE(wiring.m_bHeaderChip);
    EXPECT_EQ(wiring.m_bGpioGroup, GpioWiring::GroupExists("gpio"));
    std::ofstream(dir.File("Quenby.ini")) << "[GPIO]\r\nChip=gpiochip0\r\n";
    EXPECT_FALSE(CGpioProgrammer::WiringFor(programmer).m_bHeaderChip);
    std::ofstream(dir.File("Quenby.ini")) << "[GPIO]\r\nMOSI=10\r\n";
    EXPECT_TRUE(CGpioProgrammer::WiringFor(programmer).m_bHeaderChip);
    programmer.m_strPortPath = "gpiochip0";
    wiring = CGpioProgrammer::WiringFor(programmer);
    EXPECT_FALSE(wiring.m_bHeaderChip);
    EXPECT_EQ(wiring.m_strChip, "gpiochip0");
}

}  // namespace
