// The lines between operations, on GPIO lines and on an FTDI cable: MOSI
// and SCK let go and RST low from the open on and after every operation,
// however it ended, so that the freshly programmed chip runs with its port
// pins free; the next operation drives them again. The access hint names
// the gpio group only where the system has one.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <memory>
#include <ostream>
#include <tuple>

#include "isp/FtdiProgrammer.h"
#include "isp/GpioProgrammer.h"
#include "tests/isp/PinKindBench.h"

namespace {

using Kind = PinKind;

struct ReleaseCase {
    const char* name;
    void (*start)(CProgrammer&);
    bool miswired;  // MISO on another line: the chip never answers
    int outcome;
};

void PrintTo(const ReleaseCase& c, std::ostream* os)
{
    *os << c.name;
}

class TargetReleaseTest : public testing::Test {
protected:
    // The start-up status.
    int Open(Kind kind, bool miswired)
    {
        SimIspOptions options;
        if (kind == Kind::Gpio) {
            options.gpioWiring = GpioWiring{};
            if (miswired)
                options.gpioWiring->m_nMiso = 8;
        } else {
            options.ftdiWiring = FtdiWiring{};
            if (miswired)
                options.ftdiWiring->m_nMiso = 3;
        }
        const int code = m_bench.Open(kind, options);
        m_socket = kind == Kind::Gpio ? &m_bench.m_gpio->Socket() : &m_bench.m_ftdi->Socket();
        return code;
    }
    void ExpectLetGo(const char* when)
    {
        SCOPED_TRACE(when);
        const CSimTargetSocket::Pins& pins = m_socket->Wiring();
        EXPECT_FALSE(m_socket->Driven(pins.mosi));
        EXPECT_FALSE(m_socket->Driven(pins.sck));
        EXPECT_TRUE(m_socket->Driven(pins.rst));
        EXPECT_FALSE(m_socket->Sense(pins.rst));
        EXPECT_FALSE(m_bench.m_board->Target().InSerialMode());
    }

    PinKindBench m_bench;
    CProgrammer& m_programmer = m_bench.m_programmer;
    const CSimTargetSocket* m_socket = nullptr;
};

class TargetReleaseKindTest : public TargetReleaseTest,
                              public testing::WithParamInterface<std::tuple<Kind, ReleaseCase>> {};

TEST_P(TargetReleaseKindTest, MosiAndSckAreLetGoAndRstIsLowBetweenOperations)
{
    const auto& [kind, c] = GetParam();
    ASSERT_EQ(Open(kind, c.miswired), kStatusParallelReady);
    ExpectLetGo("opened");
    m_programmer.Buffer1[0] = 0x12;
    m_programmer.Buffer1[1] = 0x34;

    c.start(m_programmer);
    EXPECT_EQ(m_bench.Finish(), c.outcome);
    ExpectLetGo("after the operation");

    // The next operation drives the lines again: the target hears it.
    CSimIspTarget& target = m_bench.m_board->Target();
    const auto frames = target.Frames();
    EXPECT_EQ(m_bench.Run(&CProgrammer::DetectDevice),
              c.miswired ? kStatusReceiveError : kStatusDeviceDetected);
    EXPECT_GT(target.Frames(), frames);
    ExpectLetGo("after the next one");
}

INSTANTIATE_TEST_SUITE_P(
    Operations, TargetReleaseKindTest,
    testing::Combine(
        testing::Values(Kind::Gpio, Kind::Ftdi),
        testing::Values(
            ReleaseCase{"detect", [](CProgrammer& p) { p.DetectDevice(0); }, false,
                        kStatusDeviceDetected},
            ReleaseCase{"erase", [](CProgrammer& p) { p.EraseDevice(0); }, false, kStatusEraseDone},
            ReleaseCase{"write", [](CProgrammer& p) { p.WriteDevice(0); }, false, kStatusWriteDone},
            ReleaseCase{"read", [](CProgrammer& p) { p.ReadDevice(0); }, false, kStatusReadDone},
            ReleaseCase{"lock", [](CProgrammer& p) { p.LockDevice(0, 1); }, false, kStatusLockDone},
            ReleaseCase{"failedWrite", [](CProgrammer& p) { p.WriteDevice(0); }, true,
                        kStatusReceiveError})),
    [](const auto& info) {
        return std::string(std::get<0>(info.param) == Kind::Gpio ? "gpio_" : "ftdi_")
            + std::get<1>(info.param).name;
    });

// The simulated cable, refusing to let go of MOSI and SCK once told to: a
// cable pulled out as the operation ends.
class CRefusingRelease : public IFtdiBitBang {
public:
    explicit CRefusingRelease(std::unique_ptr<CSimFtdiRig> rig) : m_rig(std::move(rig)) {}
    bool Submit(const std::uint8_t* data, int size) override { return m_rig->Submit(data, size); }
    bool Collect(std::uint8_t* samples, int size, std::chrono::milliseconds timeout) override
    {
        return m_rig->Collect(samples, size, timeout);
    }
    bool SetOutputs(std::uint8_t mask) override
    {
        const bool letGo = !(mask & (1u << FtdiWiring{}.m_nMosi));
        return !(refuse && letGo) && m_rig->SetOutputs(mask);
    }
    std::string Error() const override { return "ftdi: USB control request failed"; }
    FtdiChipKind Kind() const override { return m_rig->Kind(); }
    int Baud() const override { return m_rig->Baud(); }
    IIspClock* Clock() override { return m_rig->Clock(); }

    std::atomic<bool> refuse{false};

private:
    std::unique_ptr<CSimFtdiRig> m_rig;
};

// Lines that fail as they let go fail the operation: the outcome is told
// only once they have.
TEST_F(TargetReleaseTest, ACableThatFailsToLetGoFailsTheOperation)
{
    CRefusingRelease* cable = nullptr;
    auto backend = std::make_unique<CFtdiProgrammer>();
    backend->Open(&m_programmer, CFtdiProgrammer::WiringFor(m_programmer),
                  [&](const FtdiAddress& address, const FtdiWiring& wiring,
                      LinesOpenFailure& failure) -> std::unique_ptr<IFtdiBitBang> {
                      auto rig = std::make_unique<CSimFtdiRig>(SimChipType::AT89S52, wiring,
                                                               CSimFtdiRig::Identity{});
                      PrepareSimTarget(rig->Board(), m_programmer, {});
                      if (!rig->Open(address, wiring, failure))
                          return nullptr;
                      auto made = std::make_unique<CRefusingRelease>(std::move(rig));
                      cable = made.get();
                      return made;
                  });
    ASSERT_TRUE(cable);
    m_bench.m_isp = backend.get();
    m_programmer.SetBackend(5, std::move(backend));
    ASSERT_EQ(m_bench.Next(), kStatusParallelReady);
    cable->refuse = true;
    EXPECT_EQ(m_bench.Run(&CProgrammer::EraseDevice), kStatusUnavailable);
    EXPECT_EQ(m_bench.m_isp->LinesError(), "ftdi: USB control request failed");
}

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
