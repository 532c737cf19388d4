// The crystal sets the clock: GPIO pads its SCK phases, FTDI derives its
// rate from it (and refuses one above the limit), each fake layer charges
// its operations to the chip's clock, and a bench whose real crystal is
// slower than the host believes fails as a bench would.

#include <gtest/gtest.h>

#include "isp/FtdiRate.h"
#include "isp/IspByteModeFamily.h"
#include "isp/IspSettings.h"
#include "isp/IspTiming.h"
#include "tests/isp/PinKindBench.h"

namespace {

using namespace std::chrono_literals;

struct CrystalCase {
    const char* name;
    Kind kind;
    int product;        // the FTDI chip (0x6001 FT232R, 0x6014 FT232H)
    double hostMHz;     // what the host is told
    double benchMHz;    // what the target runs on
    int detect;
};

class IspCrystalTest : public testing::TestWithParam<CrystalCase> {
protected:
    PinKindBench m_bench;
};

TEST_P(IspCrystalTest, TheHostClocksNoFasterThanTheCrystalItIsTold)
{
    const CrystalCase& c = GetParam();
    PinKindBench& b = m_bench;
    b.m_programmer.m_dCrystalMHz = c.hostMHz;
    SimIspOptions options;
    options.crystalMHz = c.benchMHz;
    options.ftdiProduct = c.product;
    ASSERT_EQ(b.Open(c.kind, options), kStatusParallelReady);
    EXPECT_EQ(b.Run(&CProgrammer::DetectDevice), c.detect);
    // Too fast for the crystal: every bit was clocked with a short phase.
    EXPECT_EQ(b.m_board->Target().ShortPhases() == 0, c.detect == kStatusDeviceDetected)
        << b.m_board->Target().ShortPhases();
}

INSTANTIATE_TEST_SUITE_P(
    Benches, IspCrystalTest,
    testing::Values(CrystalCase{"gpio12", Kind::Gpio, 0, 12, 12, kStatusDeviceDetected},
                    CrystalCase{"gpio3", Kind::Gpio, 0, 3, 3, kStatusDeviceDetected},
                    CrystalCase{"gpioTold12Runs3", Kind::Gpio, 0, 12, 3, kStatusReceiveError},
                    CrystalCase{"ft232r12", Kind::Ftdi, 0x6001, 12, 12, kStatusDeviceDetected},
                    CrystalCase{"ft232rTold12Runs3", Kind::Ftdi, 0x6001, 12, 3, kStatusReceiveError},
                    CrystalCase{"ft232h3", Kind::Ftdi, 0x6014, 3, 3, kStatusDeviceDetected},
                    CrystalCase{"ft232hTold24Runs12", Kind::Ftdi, 0x6014, 24, 12,
                                kStatusReceiveError}),
    [](const auto& info) { return std::string(info.param.name); });

// A GPIO line operation far quicker than a phase: the layer waits on the
// clock rather than clocking too fast, and no more than it must.
TEST(GpioLines, SckPhasesArePaddedToTheCrystalsLimit)
{
    PinKindBench b;
    b.m_programmer.m_dCrystalMHz = 3;
    SimIspOptions options;
    options.gpioLineTime = 50ns;
    ASSERT_EQ(b.Open(Kind::Gpio, options), kStatusParallelReady);
    CIspFamily* family = b.m_isp->FindFamily(CIspByteModeFamily::kDeviceCode);
    family->ProgramEnable();
    const auto start = b.m_board->Clock().Now();
    EXPECT_EQ(family->ReadByte(0), 0xFF);
    const auto frame = b.m_board->Clock().Now() - start;
    EXPECT_EQ(b.m_board->Target().ShortPhases(), 0u);
    const auto phase = IspTiming::MinSckPhase(3e6);
    EXPECT_GE(frame, 64 * phase);
    // Each phase ends at most a line operation (and the sample) past its
    // minimum.
    EXPECT_LE(frame, 64 * (phase + 3 * options.gpioLineTime));
}

TEST(FtdiRate, TheLimitFollowsTheCrystalAndTheChip)
{
    // One line state per SCK phase: 12 MHz allows 1.2 million a second.
    EXPECT_EQ(FtdiRate::MaxSafeBaud(FtdiChipKind::FT232R, 12e6), 17857);
    EXPECT_EQ(FtdiRate::MaxSafeBaud(FtdiChipKind::FT232H, 12e6), 57142);
    EXPECT_EQ(FtdiRate::MaxSafeBaud(FtdiChipKind::FT232R, 3e6), 4464);
    for (auto kind : {FtdiChipKind::FT232R, FtdiChipKind::FT232H})
        for (double hz : {3e6, 11.0592e6, 12e6, 33e6}) {
            const double states = FtdiRate::StatesPerSecond(kind, FtdiRate::MaxSafeBaud(kind, hz));
            EXPECT_GE(1e9 / (states * FtdiRate::kGeneratorTolerance),
                      double(IspTiming::MinSckPhase(hz).count()) - 1.0);
        }
    std::string problem, fix;
    EXPECT_EQ(FtdiRate::Choose(FtdiChipKind::FT232R, 0, 12e6, &problem, &fix), 17857);
    EXPECT_EQ(FtdiRate::Choose(FtdiChipKind::FT232R, 9600, 12e6, &problem, &fix), 9600);
    EXPECT_TRUE(problem.empty());
    EXPECT_EQ(FtdiRate::Choose(FtdiChipKind::FT232R, 115200, 12e6, &problem, &fix), 0);
    EXPECT_NE(problem.find("Baud=115200 clocks an FT232R"), std::string::npos) << problem;
    EXPECT_NE(problem.find("12 MHz crystal"), std::string::npos) << problem;
    EXPECT_NE(problem.find("at most 17857"), std::string::npos) << problem;
}

TEST(FtdiRate, ACableSetTooFastForTheCrystalDoesNotOpen)
{
    PinKindBench b;
    b.WriteIni("[FTDI]\nBaud=115200\n[ISP]\nCrystal=11.0592\n");
    ASSERT_EQ(b.Open(Kind::Ftdi), kStatusParallelFailed);
    EXPECT_NE(b.m_isp->LinesError().find("too fast for a 11.0592 MHz crystal"), std::string::npos)
        << b.m_isp->LinesError();
    EXPECT_NE(b.m_isp->OpenFailure().fix.find("FT232R: Baud=115200"), std::string::npos);

    // Left out, the rate is the fastest the crystal allows.
    PinKindBench auto_;
    auto_.WriteIni("[ISP]\nCrystal=11.0592\n");
    ASSERT_EQ(auto_.Open(Kind::Ftdi), kStatusParallelReady);
    EXPECT_EQ(auto_.m_ftdi->Baud(), FtdiRate::MaxSafeBaud(FtdiChipKind::FT232R, 11.0592e6));
}

// What each fake layer's operations cost on the chip's clock.
TEST(SimLayers, EachOperationCostsItsTimeOnTheChipsClock)
{
    PinKindBench gpio;
    SimIspOptions options;
    options.gpioLineTime = 3us;
    ASSERT_EQ(gpio.Open(Kind::Gpio, options), kStatusParallelReady);
    auto before = gpio.m_board->Clock().Now();
    gpio.m_isp->SetRst(1);
    gpio.m_isp->ReadMiso();
    EXPECT_EQ(gpio.m_board->Clock().Now() - before, 6us);

    for (int product : {0x6001, 0x6014}) {
        PinKindBench ftdi;
        SimIspOptions ftdiOptions;
        ftdiOptions.ftdiProduct = product;
        ASSERT_EQ(ftdi.Open(Kind::Ftdi, ftdiOptions), kStatusParallelReady);
        const FtdiChipKind kind = FtdiRate::KindOfProduct(product);
        const double stateNs = 1e9 / FtdiRate::StatesPerSecond(kind, ftdi.m_ftdi->Baud());
        EXPECT_EQ(ftdi.m_ftdi->Latency(), product == 0x6001 ? 1000us : 125us);
        before = ftdi.m_board->Clock().Now();
        // One change: one state written, its sample read back.
        ftdi.m_isp->SetRst(1);
        const auto took = ftdi.m_board->Clock().Now() - before;
        EXPECT_NEAR(double(took.count()), double(ftdi.m_ftdi->Latency().count()) + stateNs, 1.0)
            << product;
    }
}

TEST(IspSettings, ReadFromTheCableFileAndTheCommandLine)
{
    CTempDir dir;
    const std::string ini = dir.File("Quenby.ini");
    const struct {
        const char* text;
        double mhz;
    } cases[] = {{"12", 12}, {"11.0592", 11.0592}, {"3.579545", 3.579545}, {"0", 12},
                 {"-4", 12}, {"41", 12},          {"12MHz", 12},         {"", 12}};
    for (const auto& c : cases) {
        std::ofstream(ini) << "[ISP]\nCrystal=" << c.text << "\nPageWrite=1\n";
        const IspSettings settings = IspSettings::FromIni(ini);
        EXPECT_EQ(settings.crystalMHz, c.mhz) << c.text;
        EXPECT_TRUE(settings.pageWrite);
    }
    ASSERT_TRUE(IspSettings::StoreCrystal(ini, 22.1184));
    EXPECT_EQ(IspSettings::FromIni(ini).crystalMHz, 22.1184);
    EXPECT_FALSE(IspSettings::StoreCrystal(ini, 0));
    EXPECT_EQ(IspSettings::CrystalText(24.0), "24");

    SetAppDir(dir.Path().string());
    CStatusQueue queue;
    CRecordingMessageSink messages;
    CProgrammer programmer(queue, messages);
    EXPECT_EQ(IspSettings::For(programmer).crystalMHz, 22.1184);
    programmer.m_dCrystalMHz = 4;
    EXPECT_EQ(IspSettings::For(programmer).crystalMHz, 4);
}

}  // namespace
