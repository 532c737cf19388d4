// ISP over GPIO lines, FTDI cables and Linux SPI, end to end through the
// controller: the engine on each line layer over the simulated chip, with
// the wiring the host reads from Quenby.ini and the wiring the bench really
// has.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <random>

#include "isp/FtdiProgrammer.h"
#include "isp/GpioProgrammer.h"
#include "isp/FtdiRate.h"
#include "isp/IspByteModeFamily.h"
#include "isp/IspSettings.h"
#include "isp/IspTiming.h"
#include "isp/SpiLines.h"
#include "platform/AppGlobals.h"
#include "programmer/Programmer.h"
#include "programmer/StatusCode.h"
#include "programmer/StatusQueue.h"
#include "sim/SimFtdiRig.h"
#include "sim/SimGpioRig.h"
#include "sim/SimulatedBackends.h"
#include "sim/SimulatedFtdiProgrammer.h"
#include "sim/SimulatedGpioProgrammer.h"
#include "sim/SimulatedSpiProgrammer.h"
#include "sim/SimSpiRig.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TempDir.h"
#include "tests/isp/PinKindBench.h"

namespace {

using Kind = PinKind;

using Sig = std::array<std::uint8_t, 3>;
const Sig kS52 = {0x1E, 0x52, 0x06};


class PinKindTest : public testing::TestWithParam<Kind> {
protected:
    PinKindBench m_bench;
};

TEST_P(PinKindTest, DetectsErasesWritesReadsVerifiesAndLocks)
{
    PinKindBench& b = m_bench;
    ASSERT_EQ(b.Open(GetParam()), kStatusParallelReady);
    CSimChip& chip = b.m_board->Chip();
    chip.SetContents(0, std::array<std::uint8_t, 2>{0x00, 0x11});

    EXPECT_EQ(b.Run(&CProgrammer::DetectDevice), kStatusDeviceDetected);
    EXPECT_EQ(b.m_programmer.Signature(), kS52);
    EXPECT_EQ(b.Run(&CProgrammer::EraseDevice), kStatusEraseDone);
    EXPECT_EQ(chip.PeekByte(0), 0xFF);

    for (int i = 0; i < 40; ++i)
        b.m_programmer.Buffer1[i] = std::uint8_t(i * 37 + 1);
    EXPECT_EQ(b.Run(&CProgrammer::WriteDevice), kStatusWriteDone);
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(chip.PeekByte(std::uint32_t(i)), b.m_programmer.Buffer1[i]) << i;

    b.m_programmer.m_bKeepLength = 1;  // verify: the written length only
    EXPECT_EQ(b.Run(&CProgrammer::ReadDevice), kStatusReadDone);
    EXPECT_TRUE(std::equal(b.m_programmer.Buffer1, b.m_programmer.Buffer1 + 40, b.m_programmer.Buffer2));
    EXPECT_EQ(b.m_programmer.Buffer2[40], 0xFF);

    b.m_programmer.LockDevice(0, 3);
    EXPECT_EQ(b.Finish(), kStatusLockDone);
    EXPECT_EQ(chip.LockLevel(), 3);
    // A locked part no longer reads back what it holds.
    EXPECT_EQ(b.Run(&CProgrammer::ReadDevice), kStatusReadDone);
    EXPECT_FALSE(std::equal(b.m_programmer.Buffer1, b.m_programmer.Buffer1 + 40, b.m_programmer.Buffer2));
    EXPECT_FALSE(b.m_board->Target().InSerialMode());
}

TEST_P(PinKindTest, DeviceThatGoesAwayFailsTheOperationInsteadOfFakingIt)
{
    PinKindBench& b = m_bench;
    ASSERT_EQ(b.Open(GetParam()), kStatusParallelReady);
    if (b.m_gpio)
        b.m_gpio->Unplug();
    if (b.m_ftdi)
        b.m_ftdi->Unplug();
    if (b.m_spi)
        b.m_spi->Unplug();
    // Made-up bytes must not pass for a read, nor an unreached chip for an
    // erase.
    EXPECT_EQ(b.Run(&CProgrammer::ReadDevice), kStatusUnavailable);
    EXPECT_EQ(b.Run(&CProgrammer::EraseDevice), kStatusUnavailable);
    b.m_programmer.CheckReady(0);
    EXPECT_EQ(b.Next(), kStatusUnavailable);
    const std::string gone = GetParam() == Kind::Gpio ? "/dev/gpiochip0 line"
        : GetParam() == Kind::Ftdi                     ? "ftdi: USB"
                                                       : "RST: /dev/gpiochip0 line 25";
    EXPECT_NE(b.m_isp->LinesError().find(gone), std::string::npos) << b.m_isp->LinesError();
}

// An FTDI cable pulled out in the middle of a streamed write, with
// exchanges in flight: the write fails as the lines did, whatever the
// exchanges still to come would have said.
TEST(FtdiInFlight, ACablePulledOutMidStreamFailsTheWrite)
{
    PinKindBench b;
    ASSERT_EQ(b.Open(Kind::Ftdi), kStatusParallelReady);
    for (int i = 0; i < 256; ++i)
        b.m_programmer.Buffer1[i] = std::uint8_t(i & 0x7F);
    b.m_ftdi->UnplugAfter(60000);  // about 120 bytes into the image
    EXPECT_EQ(b.Run(&CProgrammer::WriteDevice), kStatusUnavailable);
    EXPECT_NE(b.m_isp->LinesError().find("ftdi: USB"), std::string::npos) << b.m_isp->LinesError();
}

INSTANTIATE_TEST_SUITE_P(Kinds, PinKindTest, testing::Values(Kind::Gpio, Kind::Ftdi, Kind::Spi),
                         [](const auto& info) { return PinKindName(info.param); });

// What the bench does when the host's idea of the wiring is wrong: a line
// that does not exist or is taken fails the open, as the kernel refuses the
// request; a line that exists but goes elsewhere leaves the chip silent (a
// pulled-low MISO, a chip never reset), and programming enable says so.
struct GpioWiringCase {
    const char* name;
    const char* ini;  // the host's [GPIO] section
    int busyLine;     // held by another consumer, -1 none
    int start;
    int detect;       // -1: not opened
    Sig signature;
    const char* error;
};

class GpioWiringTest : public testing::TestWithParam<GpioWiringCase> {
protected:
    PinKindBench m_bench;
};

TEST_P(GpioWiringTest, FailsAsTheBenchWould)
{
    const GpioWiringCase& c = GetParam();
    PinKindBench& b = m_bench;
    SimIspOptions options;
    options.gpioWiring = GpioWiring{};  // the board: Raspberry Pi defaults
    if (c.busyLine >= 0)
        options.gpioBusyLines[c.busyLine] = "spi0 CS0";
    b.WriteIni(std::string("[GPIO]\n") + c.ini);
    ASSERT_EQ(b.Open(Kind::Gpio, options), c.start);
    EXPECT_NE(b.m_isp->LinesError().find(c.error), std::string::npos) << b.m_isp->LinesError();
    if (c.detect < 0) {
        EXPECT_EQ(b.Run(&CProgrammer::DetectDevice), kStatusUnavailable);
        return;
    }
    EXPECT_EQ(b.Run(&CProgrammer::DetectDevice), c.detect);
    if (c.detect == kStatusDeviceDetected)
        EXPECT_EQ(b.m_programmer.Signature(), c.signature);
    else
        EXPECT_NE(b.m_isp->TakeFailureNote(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GpioWiringTest,
    testing::Values(
        GpioWiringCase{"asWired", "MOSI=10\nMISO=9\n", -1, kStatusParallelReady,
                       kStatusDeviceDetected, kS52, ""},
        GpioWiringCase{"chipByPath", "Chip=/dev/gpiochip0\n", -1, kStatusParallelReady,
                       kStatusDeviceDetected, kS52, ""},
        GpioWiringCase{"misoElsewhere", "MISO=8\n", -1, kStatusParallelReady,
                       kStatusReceiveError, {}, ""},
        GpioWiringCase{"rstElsewhere", "RST=24\n", -1, kStatusParallelReady, kStatusReceiveError,
                       {}, ""},
        GpioWiringCase{"mosiAndSckSwapped", "MOSI=11\nSCK=10\n", -1, kStatusParallelReady,
                       kStatusReceiveError, {}, ""},
        GpioWiringCase{"lineBeyondTheChip", "RST=54\n", -1, kStatusParallelFailed, -1, {},
                       "line 54 does not exist (the chip has lines 0 to 53"},
        GpioWiringCase{"negativeLine", "SCK=-1\n", -1, kStatusParallelFailed, -1, {},
                       "SCK is line -1"},
        GpioWiringCase{"lineTwice", "SCK=10\n", -1, kStatusParallelFailed, -1, {},
                       "MOSI and SCK are both line 10"},
        GpioWiringCase{"otherChip", "Chip=gpiochip4\n", -1, kStatusParallelFailed, -1, {},
                       "/dev/gpiochip4: No such file or directory"},
        GpioWiringCase{"lineHeld", "", 10, kStatusParallelFailed, -1, {},
                       "line 10: Device or resource busy (held by \"spi0 CS0\""}),
    [](const auto& info) { return std::string(info.param.name); });

// The same for the FTDI cable: a line that is not one of the chip's eight,
// or a cable that is not plugged in, fails the open; a line that goes
// elsewhere reads the chip's pull-up (MISO) or never resets the part.
struct FtdiWiringCase {
    const char* name;
    const char* ini;  // the host's [FTDI] section
    int start;
    int detect;  // -1: not opened
    std::optional<Sig> signature;
    const char* error;
};

class FtdiWiringTest : public testing::TestWithParam<FtdiWiringCase> {
protected:
    PinKindBench m_bench;
};

TEST_P(FtdiWiringTest, FailsAsTheBenchWould)
{
    const FtdiWiringCase& c = GetParam();
    PinKindBench& b = m_bench;
    SimIspOptions options;
    options.ftdiWiring = FtdiWiring{};  // the board: the common FT232R wiring
    b.WriteIni(std::string("[FTDI]\n") + c.ini);
    ASSERT_EQ(b.Open(Kind::Ftdi, options), c.start);
    EXPECT_NE(b.m_isp->LinesError().find(c.error), std::string::npos) << b.m_isp->LinesError();
    if (c.detect < 0) {
        EXPECT_EQ(b.Run(&CProgrammer::DetectDevice), kStatusUnavailable);
        return;
    }
    EXPECT_EQ(b.Run(&CProgrammer::DetectDevice), c.detect);
    if (c.signature) {
        EXPECT_EQ(b.m_programmer.Signature(), *c.signature);
    }
    EXPECT_EQ(b.m_isp->TakeFailureNote().empty(), c.detect != kStatusReceiveError);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FtdiWiringTest,
    testing::Values(
        FtdiWiringCase{"asWired", "", kStatusParallelReady, kStatusDeviceDetected, kS52, ""},
        FtdiWiringCase{"byNames", "MOSI=rts\nMISO=RXD\nSCK=D0\nRST=4\n", kStatusParallelReady,
                       kStatusDeviceDetected, kS52, ""},
        FtdiWiringCase{"bySerial", "Device=ftdi:0403:6001:TL000001\n", kStatusParallelReady,
                       kStatusDeviceDetected, kS52, ""},
        FtdiWiringCase{"misoOnCts", "MISO=CTS\n", kStatusParallelReady, kStatusReceiveError,
                       std::nullopt, ""},
        FtdiWiringCase{"rstOnDsr", "RST=DSR\n", kStatusParallelReady, kStatusReceiveError,
                       std::nullopt, ""},
        FtdiWiringCase{"mosiAndSckSwapped", "MOSI=TXD\nSCK=RTS\n", kStatusParallelReady,
                       kStatusReceiveError, std::nullopt, ""},
        FtdiWiringCase{"lineNine", "MOSI=9\n", kStatusParallelFailed, -1, {},
                       "MOSI is not one of D0..D7"},
        FtdiWiringCase{"lineTwice", "SCK=RTS\n", kStatusParallelFailed, -1, {},
                       "MOSI and SCK are both D2 (RTS)"},
        FtdiWiringCase{"otherChip", "Device=ftdi:0403:6014\n", kStatusParallelFailed, -1, {},
                       "ftdi:0403:6014: no such FTDI cable is plugged in"},
        FtdiWiringCase{"otherSerial", "Device=ftdi:403:6001:A50285BI\n", kStatusParallelFailed, -1,
                       {}, "ftdi:0403:6001:A50285BI: no such FTDI cable"},
        FtdiWiringCase{"notAnAddress", "Device=ftdi:0403\n", kStatusParallelFailed, -1, {},
                       "needs both a vendor and a product id"}),
    [](const auto& info) { return std::string(info.param.name); });

// The same for SPI: a device that is not there or not open to the user, or
// a RST line that does not exist or is taken, fails the open and says so in
// [SPI]'s terms; a RST line that exists but goes elsewhere leaves the chip
// in reset, and it never answers.
struct SpiWiringCase {
    const char* name;
    const char* ini;  // the host's [SPI] section
    bool denied;
    int start;
    int detect;  // -1: not opened
    const char* error;
    const char* kind = "";
};

class SpiWiringTest : public testing::TestWithParam<SpiWiringCase> {
protected:
    PinKindBench m_bench;
};

TEST_P(SpiWiringTest, FailsAsTheBenchWould)
{
    const SpiWiringCase& c = GetParam();
    PinKindBench& b = m_bench;
    SimIspOptions options;
    options.spiWiring = SpiWiring{};  // the board: Raspberry Pi defaults
    options.gpioBusyLines[8] = "spi0 CS0";
    options.accessDenied = c.denied;
    b.WriteIni(std::string("[SPI]\n") + c.ini);
    ASSERT_EQ(b.Open(Kind::Spi, options), c.start);
    EXPECT_NE(b.m_isp->LinesError().find(c.error), std::string::npos) << b.m_isp->LinesError();
    // The log line names the device that failed: the SPI device or RST's
    // GPIO chip.
    EXPECT_EQ(b.m_isp->OpenFailure().kind, c.kind);
    if (c.detect < 0) {
        EXPECT_EQ(b.Run(&CProgrammer::DetectDevice), kStatusUnavailable);
        return;
    }
    EXPECT_EQ(b.Run(&CProgrammer::DetectDevice), c.detect);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpiWiringTest,
    testing::Values(
        SpiWiringCase{"asWired", "Device=spidev0.0\nRST=25\n", false, kStatusParallelReady,
                      kStatusDeviceDetected, ""},
        SpiWiringCase{"rstElsewhere", "RST=24\n", false, kStatusParallelReady, kStatusReceiveError,
                      ""},
        SpiWiringCase{"otherDevice", "Device=/dev/spidev0.1\n", false, kStatusParallelFailed, -1,
                      "/dev/spidev0.1: No such file or directory (SPI is off", "SPI"},
        SpiWiringCase{"noAccess", "", true, kStatusParallelFailed, -1,
                      "/dev/spidev0.0: Permission denied", "SPI"},
        SpiWiringCase{"rstOnOtherChip", "Chip=gpiochip4\n", false, kStatusParallelFailed, -1,
                      "RST: /dev/gpiochip4: No such file", "GPIO"},
        SpiWiringCase{"rstBeyondTheChip", "RST=54\n", false, kStatusParallelFailed, -1,
                      "the [SPI] section", "GPIO"},
        SpiWiringCase{"rstHeld", "RST=8\n", false, kStatusParallelFailed, -1,
                      "line 8: Device or resource busy (held by \"spi0 CS0\"", "GPIO"},
        SpiWiringCase{"negativeRst", "RST=-2\n", false, kStatusParallelFailed, -1,
                      "RST is line -2", "SPI"}),
    [](const auto& info) { return std::string(info.param.name); });

// The controller clocks whole instructions: each 4-byte frame is one system
// call, whatever its 100 line changes would cost on GPIO, and costs the
// chip's clock one transfer's overhead and 32 bits at the SPI clock.
TEST(SpiTraffic, AFrameIsOneTransfer)
{
    PinKindBench b;
    ASSERT_EQ(b.Open(Kind::Spi), kStatusParallelReady);
    CIspFamily* family = b.m_isp->FindFamily(CIspByteModeFamily::kDeviceCode);
    family->ProgramEnable();
    b.m_spi->ResetCounters();
    const auto before = b.m_board->Clock().Now();
    EXPECT_EQ(family->ReadByte(0x123), 0xFF);
    EXPECT_EQ(b.m_spi->Transfers(), 1u);
    EXPECT_EQ(b.m_spi->Bytes(), 4u);
    const double bitNs = 1e9 / CSpiLines::ClockFor(12e6);
    EXPECT_NEAR(double((b.m_board->Clock().Now() - before).count()),
                double(std::chrono::nanoseconds(CSimSpiRig::kTransferOverhead).count()) + 32 * bitNs,
                32.0);
    family->EndProgramming();
    EXPECT_EQ(b.m_spi->Transfers(), 1u);

    // A controller that stops answering fails the lines, not just a byte.
    b.m_spi->Unplug();
    EXPECT_EQ(family->ReadByte(0x123), 0xFF);
    EXPECT_TRUE(b.m_isp->Lines()->Failed());
    EXPECT_NE(b.m_isp->LinesError().find("/dev/spidev0.0: SPI transfer of 4 bytes"), std::string::npos)
        << b.m_isp->LinesError();
}

// Through the controller: a byte written is one transfer (0xFF bytes are
// left to the erase), and the write's own check and a read are one
// transfer a page.
TEST(SpiTraffic, AStreamedImageIsOneTransferAByteAndOneAPage)
{
    PinKindBench b;
    ASSERT_EQ(b.Open(Kind::Spi), kStatusParallelReady);
    for (int i = 0; i < 1024; ++i)
        b.m_programmer.Buffer1[i] = i % 4 == 3 ? 0xFF : std::uint8_t(i);
    b.m_spi->ResetCounters();
    // A write enters programming mode twice, a read once.
    ASSERT_EQ(b.Run(&CProgrammer::WriteDevice), kStatusWriteDone);
    EXPECT_EQ(b.m_spi->Transfers(), 2 + 768 + 4u);
    b.m_spi->ResetCounters();
    ASSERT_EQ(b.Run(&CProgrammer::ReadDevice), kStatusReadDone);
    EXPECT_EQ(b.m_spi->Transfers(), 1 + 32u);
    EXPECT_EQ(b.m_spi->Bytes(), 4 + 32 * 258u);
}

// A frame's 65 line states (two a bit, one to end it) go out in one USB
// write and their samples come back in one read. Between exchanges a USB
// round trip has passed, longer than the part's byte write: a polled byte
// is the write frame and one read-back, 2 exchanges, 4 transfers; a read
// byte is one exchange.
TEST(FtdiUsbTraffic, AProgrammedByteCostsTwoExchanges)
{
    PinKindBench b;
    ASSERT_EQ(b.Open(Kind::Ftdi), kStatusParallelReady);
    CIspFamily* family = b.m_isp->FindFamily(CIspByteModeFamily::kDeviceCode);
    b.m_isp->Lines()->EnableOutputs(true);  // as an operation starts
    family->ProgramEnable();
    b.m_ftdi->ResetCounters();
    ASSERT_EQ(family->WriteByte(0x5A, 0x123), 1);
    EXPECT_EQ(b.m_ftdi->Transfers(), 4u);
    EXPECT_EQ(b.m_ftdi->BytesWritten(), 130u);
    b.m_ftdi->ResetCounters();
    EXPECT_EQ(family->ReadByte(0x123), 0x5A);
    EXPECT_EQ(b.m_ftdi->Transfers(), 2u);
    // Outside a frame every change is an exchange of its own.
    family->EndProgramming();
    EXPECT_EQ(b.m_ftdi->Transfers(), 2u + 3 * 2);
}

TEST(FtdiAddress, ParsesTheUsersForms)
{
    const struct {
        const char* text;
        const char* canonical;  // nullptr: refused
    } cases[] = {{"ftdi", "ftdi"},
                 {"ftdi:0403:6001", "ftdi:0403:6001"},
                 {"ftdi:403:6014:FT5X9Z", "ftdi:0403:6014:FT5X9Z"},
                 {"ftdi:0403:6001:", nullptr},
                 {"ftdi:0403", nullptr},
                 {"ftdi:", nullptr},
                 {"ftdi:xyz:6001", nullptr},
                 {"ftdi:0:6001", nullptr},
                 {"ftdi:04030:6001", nullptr},
                 {"FTDI", nullptr},
                 {"/dev/ttyUSB0", nullptr}};
    for (const auto& c : cases) {
        std::string error;
        const auto address = FtdiAddress::Parse(c.text, &error);
        EXPECT_EQ(address.has_value(), c.canonical != nullptr) << c.text;
        if (address)
            EXPECT_EQ(address->ToString(), c.canonical);
        else
            EXPECT_FALSE(error.empty()) << c.text;
    }
    // "ftdi" means any of FTDI's own chips, and only those.
    const FtdiAddress any;
    EXPECT_TRUE(any.Matches(0x0403, 0x6014, "X"));
    EXPECT_FALSE(any.Matches(0x0403, 0x1234, "X"));
    EXPECT_FALSE(any.Matches(0x1a86, 0x7523, "X"));
    for (auto [text, line] : {std::pair{"0", 0}, {"7", 7}, {"d5", 5}, {"Ri", 7}, {"dtr", 4},
                              {"8", -1}, {"D8", -1}, {"RX", -1}, {"", -1}})
        EXPECT_EQ(FtdiWiring::ParseLine(text), line) << text;
}

// Every line operation is accounted for: a frame is 64 SCK changes (each
// phase long enough already at 1 us a line operation), a MOSI set only
// where the bit changes, and 32 reads. A programmed byte is the write frame
// and read-backs until the chip's write cycle has passed on its clock.
TEST(GpioLineTraffic, AFrameCostsWhatTheBitsImplyAndAByteItsWriteCycle)
{
    PinKindBench b;
    ASSERT_EQ(b.Open(Kind::Gpio), kStatusParallelReady);
    CIspFamily* family = b.m_isp->FindFamily(CIspByteModeFamily::kDeviceCode);
    b.m_isp->Lines()->EnableOutputs(true);  // as an operation starts
    family->ProgramEnable();  // MOSI is 0 after the enable frame's left-over 00
    b.m_gpio->ResetCounters();
    // 20 01 23 00: MOSI goes 0 -> 0,0,1,0,0,0,0,0 | 0,...,1 | 0,0,1,0,0,0,1,1 | 0...
    EXPECT_EQ(family->ReadByte(0x123), 0xFF);
    const int mosiChanges = 2 + 1 + 4 + 1;
    EXPECT_EQ(b.m_gpio->LineChanges(), 64u + mosiChanges);
    EXPECT_EQ(b.m_gpio->LineReads(), 32u);

    const auto start = b.m_board->Clock().Now();
    b.m_gpio->ResetCounters();
    ASSERT_EQ(family->WriteByte(0x5A, 0x123), 1);
    const auto frames = b.m_gpio->LineReads() / 32;
    EXPECT_EQ(b.m_gpio->LineReads() % 32, 0u);
    // Polled no longer than the cycle took: the last read-back but one came
    // while the chip was still busy.
    const auto took = b.m_board->Clock().Now() - start;
    const auto frameTime = took / std::int64_t(frames);
    EXPECT_GE(took, b.m_board->Target().ByteWriteCycle());
    EXPECT_LT(took - frameTime, b.m_board->Target().ByteWriteCycle() + frameTime);
    family->EndProgramming();
    EXPECT_EQ(b.m_board->Chip().PeekByte(0x123), 0x5A);
}

TEST(GpioWiring, ReadsItsSectionAndNamesTheDevice)
{
    CTempDir dir;
    const std::string ini = dir.File("Quenby.ini");
    GpioWiring w = GpioWiring::FromIni(ini);
    EXPECT_EQ(std::vector<int>({w.m_nMosi, w.m_nMiso, w.m_nSck, w.m_nRst}), std::vector<int>({10, 9, 11, 25}));
    EXPECT_EQ(w.m_strChip, "gpiochip0");
    std::ofstream(ini) << "[引脚控制]\r\nMOSI=2\r\n[GPIO]\r\nChip=gpiochip4\r\nMOSI=17\r\nRST=4\r\n";
    w = GpioWiring::FromIni(ini);
    EXPECT_EQ(std::vector<int>({w.m_nMosi, w.m_nMiso, w.m_nSck, w.m_nRst}), std::vector<int>({17, 9, 11, 4}));
    EXPECT_EQ(w.m_strChip, "gpiochip4");

    for (auto [chip, path] : {std::pair{"gpiochip1", "/dev/gpiochip1"}, {"2", "/dev/gpiochip2"},
                              {"/dev/gpiochip3", "/dev/gpiochip3"}, {"pinctrl-rp1", "pinctrl-rp1"}}) {
        w.m_strChip = chip;
        EXPECT_EQ(w.DevicePath(), path);
    }
    w.m_strChip = "gpiochip0";
    const std::string denied = w.Explain(EACCES);
    EXPECT_NE(denied.find("/dev/gpiochip0: Permission denied"), std::string::npos) << denied;
    EXPECT_NE(denied.find("60-tamberlink.rules"), std::string::npos) << denied;
}

// A controller without a slot for the type drops what it is given: the
// kind must not go on using a backend that is already gone.
TEST(PinKindOpen, AKindTheControllerCannotHoldIsOpenedThenDroppedWhole)
{
    CStatusQueue queue;
    CRecordingMessageSink messages;
    CProgrammer programmer(queue, messages);  // no backend table: no slot for 4 to 6
    programmer.m_strPortPath = "/no/such/gpiochip";
    EXPECT_EQ(CGpioProgrammer::OpenBackend(programmer, 4, 0), 0);
    EXPECT_EQ(programmer.Backend(), nullptr);
    programmer.m_strPortPath = "ftdi:0403:6001:NO-SUCH-CABLE";
    EXPECT_EQ(CFtdiProgrammer::OpenBackend(programmer, 5, 0), 0);
    EXPECT_EQ(programmer.Backend(), nullptr);
    programmer.m_strPortPath = "spidev9.9";
    EXPECT_EQ(CSpiProgrammer::OpenBackend(programmer, 6, 0), 0);
    EXPECT_EQ(programmer.Backend(), nullptr);
}

// The crystal sets the clock: a host told a faster crystal than the bench
// has clocks too fast and every instruction is garbled; told the right one,
// GPIO pads its phases and FTDI picks a slower rate.
struct CrystalCase {
    const char* name;
    Kind kind;
    int product;      // the FTDI chip (0x6001 FT232R, 0x6014 FT232H)
    double hostMHz;   // what the host is told
    double benchMHz;  // what the target runs on
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
    EXPECT_EQ(b.m_board->Target().ShortPhases() == 0, c.detect == kStatusDeviceDetected);
}

INSTANTIATE_TEST_SUITE_P(
    Benches, IspCrystalTest,
    testing::Values(CrystalCase{"gpio3", Kind::Gpio, 0, 3, 3, kStatusDeviceDetected},
                    CrystalCase{"gpioTold12Runs3", Kind::Gpio, 0, 12, 3, kStatusReceiveError},
                    CrystalCase{"ft232r12", Kind::Ftdi, 0x6001, 12, 12, kStatusDeviceDetected},
                    CrystalCase{"ft232rTold12Runs3", Kind::Ftdi, 0x6001, 12, 3, kStatusReceiveError},
                    CrystalCase{"ft232h3", Kind::Ftdi, 0x6014, 3, 3, kStatusDeviceDetected},
                    CrystalCase{"ft232hTold24Runs12", Kind::Ftdi, 0x6014, 24, 12,
                                kStatusReceiveError},
                    CrystalCase{"spi12", Kind::Spi, 0, 12, 12, kStatusDeviceDetected},
                    CrystalCase{"spi3", Kind::Spi, 0, 3, 3, kStatusDeviceDetected},
                    CrystalCase{"spiTold12Runs3", Kind::Spi, 0, 12, 3, kStatusReceiveError}),
    [](const auto& info) { return std::string(info.param.name); });

// A rate above the crystal's limit does not open, naming both; left out,
// the rate is the fastest the crystal allows. [ISP] is read for both.
TEST(FtdiRate, ACableSetTooFastForTheCrystalDoesNotOpen)
{
    PinKindBench b;
    b.WriteIni("[FTDI]\nBaud=115200\n[ISP]\nCrystal=11.0592\n");
    ASSERT_EQ(b.Open(Kind::Ftdi), kStatusParallelFailed);
    EXPECT_NE(b.m_isp->LinesError().find("Baud=115200 clocks an FT232R"), std::string::npos)
        << b.m_isp->LinesError();
    EXPECT_NE(b.m_isp->LinesError().find("too fast for a 11.0592 MHz crystal"), std::string::npos);
    EXPECT_NE(b.m_isp->OpenFailure().fix.find("FT232R: Baud=115200"), std::string::npos);

    PinKindBench left;
    left.WriteIni("[ISP]\nCrystal=11.0592\nPageWrite=1\n");
    ASSERT_EQ(left.Open(Kind::Ftdi), kStatusParallelReady);
    EXPECT_EQ(left.m_ftdi->Baud(), FtdiRate::MaxSafeBaud(FtdiChipKind::FT232R, 11.0592e6));
    EXPECT_TRUE(IspSettings::For(left.m_programmer).pageWrite);
    for (const char* bad : {"0", "41", "12MHz"}) {
        left.WriteIni(std::string("[ISP]\nCrystal=") + bad + "\n");
        EXPECT_EQ(IspSettings::For(left.m_programmer).crystalMHz, 12) << bad;
    }
}

// Streaming on the timed model: an image is written back to back without
// losing a byte to the write cycle, at the pace the cycle (or an FT232R's
// USB round trip) sets: the next frame is shifted in while the cycle runs
// out, only its last bit waits.
struct StreamCase {
    const char* name;
    Kind kind;
    int product;
    bool pageWrite;
    double rateError = 0;  // the FTDI chip's clock this much fast
};

class IspStreamingTest : public testing::TestWithParam<StreamCase> {
protected:
    PinKindBench m_bench;
};

TEST_P(IspStreamingTest, AnImageIsWrittenWithoutLosingAByteToItsCycle)
{
    const StreamCase& c = GetParam();
    PinKindBench& b = m_bench;
    b.m_programmer.m_bPageWrite = c.pageWrite;
    SimIspOptions options;
    options.ftdiProduct = c.product;
    options.ftdiRateError = c.rateError;
    ASSERT_EQ(b.Open(c.kind, options), kStatusParallelReady);
    std::mt19937 random(3);
    for (int i = 0; i < 1024; ++i)
        b.m_programmer.Buffer1[i] = i % 4 == 3 ? 0xFF : std::uint8_t(random() & 0x7F);
    ASSERT_EQ(b.Run(&CProgrammer::WriteDevice), kStatusWriteDone);
    CSimIspTarget& target = b.m_board->Target();
    EXPECT_EQ(target.LostInstructions() + target.ShortPhases(), 0u);
    for (int i = 0; i < 1024; ++i)
        ASSERT_EQ(b.m_board->Chip().PeekByte(std::uint32_t(i)), b.m_programmer.Buffer1[i]) << i;
    if (c.pageWrite)
        return;

    CIspFamily* family = b.m_isp->FindFamily(2);
    b.m_isp->Lines()->EnableOutputs(true);  // let go after the write
    ASSERT_EQ(family->ProgramEnable(), 1);
    const auto start = b.m_board->Clock().Now();
    for (int i = 0; i < 200; ++i)
        family->StreamByte(0x00, 0x1000 + i);
    family->EndStream();
    b.m_isp->Lines()->Flush();
    const auto perByte = (b.m_board->Clock().Now() - start) / 200;
    const auto cycle = IspTiming::ByteWriteCycle(12e6);
    EXPECT_GE(perByte, cycle);
    // An FT232R's full-speed USB cannot carry the cycle's idle states as
    // fast as the chip clocks them.
    const auto limit = c.kind != Kind::Ftdi ? cycle * 105 / 100
        : c.product == 0x6014               ? cycle * 115 / 100
                                            : cycle * 210 / 100;
    EXPECT_LE(perByte, limit);
    EXPECT_EQ(target.LostInstructions(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, IspStreamingTest,
    testing::Values(StreamCase{"gpio", Kind::Gpio, 0x6001, false},
                    StreamCase{"ft232r", Kind::Ftdi, 0x6001, false},
                    StreamCase{"ft232h", Kind::Ftdi, 0x6014, false},
                    StreamCase{"ft232rFast", Kind::Ftdi, 0x6001, false, 0.049},
                    StreamCase{"ft232hFast", Kind::Ftdi, 0x6014, false, 0.049},
                    StreamCase{"gpioPages", Kind::Gpio, 0x6001, true},
                    StreamCase{"ft232hPages", Kind::Ftdi, 0x6014, true},
                    StreamCase{"spi", Kind::Spi, 0, false},
                    StreamCase{"spiPages", Kind::Spi, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
