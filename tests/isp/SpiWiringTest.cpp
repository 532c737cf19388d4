// Where ISP over SPI finds its device and RST line: the command line's
// spidevB.C[:CHIP:LINE] and the [SPI] section of Quenby.ini.

#include <gtest/gtest.h>

#include <fstream>

#include "isp/IspTiming.h"
#include "isp/SpiLines.h"
#include "isp/SpiWiring.h"
#include "tests/support/TempDir.h"

namespace {

TEST(SpiWiringTest, PortNamesTheDeviceAndOptionallyRstsChipAndLine)
{
    const struct {
        const char* port;
        const char* device;
        const char* chip;  // as RST's request asks for it
        int rst;
    } cases[] = {
        {"spidev0.0", "/dev/spidev0.0", nullptr, 25},
        {"/dev/spidev1.2", "/dev/spidev1.2", nullptr, 25},
        {"spidev0.1:gpiochip4:17", "/dev/spidev0.1", "gpiochip4", 17},
        {"spidev0.0:pinctrl-rp1:25", "/dev/spidev0.0", "pinctrl-rp1", 25},
        {"/dev/spidev0.0:/dev/gpiochip0:0", "/dev/spidev0.0", "/dev/gpiochip0", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        SpiWiring wiring;
        ASSERT_EQ("", wiring.ApplyPort(c.port));
        EXPECT_EQ(c.device, wiring.m_strDevice);
        EXPECT_EQ(c.chip ? std::string(c.chip) : GpioWiring{}.m_strChip, wiring.RstWiring().m_strChip);
        EXPECT_EQ(c.rst, wiring.m_nRst);
        EXPECT_TRUE(SpiWiring::LooksLikeOne(c.port));
    }

    for (const char* bad : {"spidev0", "spidevX.0", "spidev0.", "gpiochip0", "spidev0.0:",
                            "spidev0.0:gpiochip0", "spidev0.0::25", "spidev0.0:gpiochip0:-1",
                            "spidev0.0:gpiochip0:25:1", "ttyUSB0"}) {
        SCOPED_TRACE(bad);
        SpiWiring wiring;
        wiring.m_nRst = 7;
        EXPECT_NE("", wiring.ApplyPort(bad));
        // Nothing is taken from a port that is refused.
        EXPECT_EQ("/dev/spidev0.0", wiring.m_strDevice);
        EXPECT_EQ(7, wiring.m_nRst);
    }
}

TEST(SpiWiringTest, QuenbyIniGivesTheDeviceAndRstWithThePiDefaults)
{
    CTempDir dir;
    const SpiWiring none = SpiWiring::FromIni(dir.File("Quenby.ini"));
    EXPECT_EQ("/dev/spidev0.0", none.m_strDevice);
    EXPECT_EQ(25, none.m_nRst);
    EXPECT_EQ(GpioWiring{}.m_strChip, none.RstWiring().m_strChip);

    std::ofstream(dir.File("Quenby.ini")) << "[GPIO]\nRST=5\n[SPI]\nDevice=spidev0.1\nChip=gpiochip4\nRST=17\n";
    const SpiWiring set = SpiWiring::FromIni(dir.File("Quenby.ini"));
    EXPECT_EQ("/dev/spidev0.1", set.m_strDevice);
    EXPECT_EQ("spidev0.1:gpiochip4:17", set.ToString());
}

TEST(SpiWiringTest, RstIsTheOnlyGpioLineAskedFor)
{
    SpiWiring wiring;
    wiring.m_nRst = 8;
    const GpioWiring rst = wiring.RstWiring();
    EXPECT_EQ(8, rst.m_nRst);
    for (int line : {rst.m_nMosi, rst.m_nMiso, rst.m_nSck})
        EXPECT_EQ(GpioWiring::kNoLine, line);
    EXPECT_EQ("", wiring.Problem());
    wiring.m_nRst = -3;
    EXPECT_NE("", wiring.Problem());

    // A refused RST request points at [SPI], where RST is set for this kind.
    const LinesOpenFailure failure =
        wiring.RstFailure(rst.Failure(EINVAL, 60, 54));
    EXPECT_EQ(std::string::npos, failure.text.find("[GPIO]")) << failure.text;
    EXPECT_NE(std::string::npos, failure.text.find("[SPI]")) << failure.text;
    EXPECT_NE(std::string::npos, failure.port.fix.find("[SPI]")) << failure.port.fix;
}

// The datasheet's limit: SCK high and low each at least 8 crystal periods.
// The controller's clock is symmetric, so each phase is half a period.
TEST(SpiClockTest, EachSckPhaseLastsAtLeastEightCrystalPeriods)
{
    for (double crystal : {3e6, 11.0592e6, 12e6, 24e6, 33e6}) {
        SCOPED_TRACE(crystal);
        const double hz = CSpiLines::ClockFor(crystal);
        EXPECT_GE(1.0 / (2.0 * hz), 8.0 / crystal);
        // ... and not needlessly slower than the host's margin asks for.
        EXPECT_LT(1.0 / (2.0 * hz), 8.0 * IspTiming::kSckMargin * 1.01 / crystal);
    }
    EXPECT_EQ(599520u, CSpiLines::ClockFor(12e6));
}

}  // namespace
