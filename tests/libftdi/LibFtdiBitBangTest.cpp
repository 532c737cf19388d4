// The libftdi wrapper on a link-time fake of the library: the order in
// which the cable is set up, the state it is left in when closed, samples
// moved as the chip takes them, and refusals that say why.

#include <gtest/gtest.h>

#include <ftdi.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "isp/FtdiLines.h"
#include "isp/LibFtdiBitBang.h"
#include "tests/libftdi/FakeLibFtdi.h"

namespace {

class LibFtdiBitBangTest : public testing::Test {
protected:
    LibFtdiBitBangTest() { Bus().Reset(); }
    ~LibFtdiBitBangTest() override
    {
        EXPECT_EQ(Bus().m_nLive, 0) << "libftdi contexts, device lists or transfers were left";
        for (const auto& chip : Bus().m_chips) {
            EXPECT_FALSE(chip->open) << "a cable was left open";
            for (const std::string& misuse : chip->misuse)
                ADD_FAILURE() << misuse;
        }
    }

    static CFakeFtdiBus& Bus() { return CFakeFtdiBus::Get(); }

    std::unique_ptr<IFtdiBitBang> Open(const FtdiWiring& wiring, const std::string& address = "ftdi")
    {
        m_failure = {};
        return CLibFtdiBitBang::Open(*FtdiAddress::Parse(address), wiring, m_failure);
    }

    LinesOpenFailure m_failure;
};

FtdiWiring Wiring(const char* mosi, const char* sck, const char* rst, const char* miso, int baud)
{
    FtdiWiring wiring;
    wiring.m_nMosi = FtdiWiring::ParseLine(mosi);
    wiring.m_nSck = FtdiWiring::ParseLine(sck);
    wiring.m_nRst = FtdiWiring::ParseLine(rst);
    wiring.m_nMiso = FtdiWiring::ParseLine(miso);
    wiring.m_nBaud = baud;
    return wiring;
}

// libftdi scales a rate for the bit-bang clock only when the mode is
// already on: set before it, the rate would reach the chip 4 times too low.
TEST_F(LibFtdiBitBangTest, SetsBitBangModeWithTheWiringsOutputsBeforeTheRate)
{
    const struct {
        FtdiWiring wiring;
        int outputs;
    } cases[] = {{Wiring("RTS", "TXD", "DTR", "RXD", 9600), 0x15},
                 {Wiring("D5", "D6", "D7", "D0", 1200), 0xE0},
                 {Wiring("D1", "D0", "D3", "D2", 15625), 0x0B}};
    for (const auto& c : cases) {
        Bus().Reset();
        FakeFtdiChip& chip = Bus().Plug();
        {
            auto cable = Open(c.wiring);
            ASSERT_TRUE(cable) << m_failure.text;
            EXPECT_EQ(chip.mode, BITMODE_SYNCBB);
            EXPECT_EQ(chip.outputs, c.outputs);
            EXPECT_EQ(chip.baudGenerator, c.wiring.m_nBaud * FakeFtdiChip::kBitBangScale);
            const int mode = chip.CallAt("bitmode"), rate = chip.CallAt("baud");
            EXPECT_TRUE(mode >= 0 && mode < rate) << "bit-bang mode at " << mode << ", rate at " << rate;
            EXPECT_GT(chip.CallAt("flush"), rate) << "samples from before the rate are dropped";
        }
    }
}

// The rate: left out, the fastest the crystal allows on the chip's family;
// above that, refused before it reaches the chip, naming both.
TEST_F(LibFtdiBitBangTest, TheRateIsBoundByTheCrystalAndTheChip)
{
    const struct {
        bool high;
        int baud;
        double crystalHz;
        int set;  // 0: refused
    } cases[] = {{false, 0, 12e6, 17857}, {true, 0, 12e6, 57142},
                 {false, 115200, 12e6, 0}, {true, 60000, 12e6, 0}, {false, 9600, 3e6, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.high << " " << c.baud << " " << c.crystalHz);
        Bus().Reset();
        FakeFtdiChip& chip = Bus().Plug();
        chip.highSpeed = c.high;
        FtdiWiring wiring = Wiring("RTS", "TXD", "DTR", "RXD", c.baud);
        wiring.m_dCrystalHz = c.crystalHz;
        auto cable = Open(wiring);
        if (c.set) {
            ASSERT_TRUE(cable) << m_failure.text;
            EXPECT_EQ(chip.baudGenerator, c.set * FakeFtdiChip::kBitBangScale);
            EXPECT_EQ(cable->Baud(), c.set);
            EXPECT_EQ(cable->Kind(), c.high ? FtdiChipKind::FT232H : FtdiChipKind::FT232R);
        } else {
            EXPECT_FALSE(cable);
            EXPECT_EQ(chip.CallAt("baud"), -1);
            EXPECT_NE(m_failure.text.find(c.high ? "FT232H" : "FT232R"), std::string::npos)
                << m_failure.text;
            EXPECT_NE(m_failure.text.find(" MHz crystal"), std::string::npos) << m_failure.text;
        }
    }
}

// Closed, the cable stays in bit-bang mode with RST driven low and every
// other line an input: the programmed chip runs and its port pins are
// free. (Back in UART mode, DTR idles high and holds an RST wired to it.)
// So too with exchanges in flight and the chip's receive buffer full of
// samples nobody will read, while which it clocks nothing more.
TEST_F(LibFtdiBitBangTest, ClosingLeavesRstLowAndTheOtherLinesInputs)
{
    const FtdiWiring wiring = Wiring("RTS", "TXD", "DTR", "RXD", 9600);
    const std::uint8_t rst = 1u << 4;
    for (int inFlight : {0, 3}) {
        for (std::uint8_t last : {std::uint8_t(0x15), std::uint8_t(0x05), std::uint8_t(0x00)}) {
            Bus().Reset();
            FakeFtdiChip& chip = Bus().Plug();
            {
                auto cable = Open(wiring);
                ASSERT_TRUE(cable) << m_failure.text;
                std::vector<std::uint8_t> bytes(200, 0x15), samples(200);
                bytes.back() = last;
                for (int n = 0; n <= inFlight; ++n)
                    ASSERT_TRUE(cable->Submit(bytes.data(), 200));
                ASSERT_TRUE(cable->Collect(samples.data(), 200, std::chrono::milliseconds(500)));
                ASSERT_EQ(chip.samples.size() == chip.RxBuffer(), inFlight > 0);
            }
            EXPECT_EQ(chip.mode, BITMODE_SYNCBB);
            EXPECT_EQ(chip.outputs, rst);
            EXPECT_EQ(chip.Pins() & rst, 0) << "RST held high";
            EXPECT_EQ(chip.latch & ~rst, last & ~rst) << "the other lines moved on the way out";
            EXPECT_EQ(chip.calls.back(), "close");
            EXPECT_EQ(Bus().m_nTransfers, 0);
        }
    }
}

// The lines' directions change with the mode kept; never while bytes are
// in flight, which the request would overtake, nor silently on a cable
// that is gone.
TEST_F(LibFtdiBitBangTest, SetOutputsChangesTheDirectionsInSynchronousBitBang)
{
    const std::uint8_t rst = 1u << 4;
    const struct {
        const char* name;
        bool inFlight;
        bool gone;
        const char* error;  // nullptr: done
    } cases[] = {{"idle", false, false, nullptr},
                 {"inFlight", true, false, "ftdi: the lines' directions cannot change"},
                 {"gone", false, true, "ftdi: USB control request failed"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bus().Reset();
        FakeFtdiChip& chip = Bus().Plug();
        auto cable = Open(Wiring("RTS", "TXD", "DTR", "RXD", 9600));
        ASSERT_TRUE(cable) << m_failure.text;
        std::uint8_t byte = 0x15, sample = 0;
        ASSERT_TRUE(cable->Submit(&byte, 1));
        if (!c.inFlight) {
            ASSERT_TRUE(cable->Collect(&sample, 1, std::chrono::milliseconds(500)));
        }
        chip.gone = c.gone;
        const std::size_t calls = chip.calls.size();
        EXPECT_EQ(cable->SetOutputs(rst), c.error == nullptr);
        chip.gone = false;
        EXPECT_EQ(chip.mode, BITMODE_SYNCBB);
        if (!c.error) {
            EXPECT_EQ(chip.outputs, rst);
            EXPECT_EQ(chip.calls.back(), "bitmode 16 4");
            continue;
        }
        EXPECT_EQ(chip.outputs, 0x15);
        EXPECT_EQ(cable->Error().rfind(c.error, 0), 0u) << cable->Error();
        if (c.inFlight) {
            EXPECT_EQ(chip.calls.size(), calls) << "a request reached the chip";
        }
    }
}

// A frame through the line layer: MISO wired back to MOSI, each sample taken
// before its byte drives the pins, so every bit comes back as it was sent.
TEST_F(LibFtdiBitBangTest, FramesComeBackAsTheChipSamplesThem)
{
    FakeFtdiChip& chip = Bus().Plug();
    const FtdiWiring wiring = Wiring("RTS", "TXD", "DTR", "RXD", 9600);
    chip.circuit = [&](std::uint8_t driven) {
        return std::uint8_t(((driven >> wiring.m_nMosi) & 1) << wiring.m_nMiso);
    };
    CFtdiLines lines(wiring, "ftdi", Open(wiring), m_failure);
    ASSERT_TRUE(lines.IsOpen()) << m_failure.text;
    const std::uint8_t sent[] = {0xAC, 0x53, 0x00, 0x69};
    std::uint8_t got[4] = {};
    lines.BeginFrame();
    for (int i = 0; i < 4; ++i)
        for (int bit = 7; bit >= 0; --bit) {
            lines.SetMosi((sent[i] >> bit) & 1);
            lines.SetSck(1);
            lines.SampleMiso(got[i], std::uint8_t(1u << bit));
            lines.SetSck(0);
        }
    lines.EndFrame();
    EXPECT_FALSE(lines.Failed()) << lines.LastError();
    EXPECT_EQ(std::vector<std::uint8_t>(got, got + 4), std::vector<std::uint8_t>(sent, sent + 4));
}

// MISO wired back to MOSI: each sample shows the MOSI of the byte before.
std::uint8_t Echo(std::uint8_t before, const FtdiWiring& wiring)
{
    return std::uint8_t(((before >> wiring.m_nMosi) & 1) << wiring.m_nMiso);
}

// Exchanges far beyond what the chip buffers (128 + 256 bytes on an
// FT232R) are all in flight at once: the chip clocks a byte only when it
// can keep the sample, and with the oldest exchange's read always waiting
// the stream never stops; libftdi's one read at a time is kept to.
TEST_F(LibFtdiBitBangTest, ExchangesInFlightComeBackInOrder)
{
    for (bool high : {false, true}) {
        Bus().Reset();
        FakeFtdiChip& chip = Bus().Plug();
        chip.highSpeed = high;
        const FtdiWiring wiring = Wiring("RTS", "TXD", "DTR", "RXD", 9600);
        chip.circuit = [&](std::uint8_t driven) { return Echo(driven, wiring); };
        auto cable = Open(wiring);
        ASSERT_TRUE(cable) << m_failure.text;
        // A read's USB transfer ends when it is full or the stream pauses:
        // whole packets, and well under what is in flight, or every read
        // would wait for the stream to run dry.
        const int at = chip.CallAt("read chunk ");
        ASSERT_GE(at, 0);
        const int chunk = std::stoi(chip.calls[std::size_t(at)].substr(11));
        EXPECT_EQ(chunk % (high ? 512 : 64), 0) << chunk;
        EXPECT_LE(2 * chunk, CFtdiLines::kMaxInFlight * CFtdiLines::kExchangeBytes) << chunk;
        std::vector<std::vector<std::uint8_t>> sent;
        for (int n = 0; n < 12; ++n) {
            std::vector<std::uint8_t> bytes(std::size_t(100 + 37 * n));
            for (std::size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = std::uint8_t(((i * 7 + n) % 3 == 0) << wiring.m_nMosi);
            ASSERT_TRUE(cable->Submit(bytes.data(), int(bytes.size())));
            sent.push_back(std::move(bytes));
        }
        std::uint8_t before = 0;
        for (const auto& bytes : sent) {
            std::vector<std::uint8_t> samples(bytes.size());
            ASSERT_TRUE(cable->Collect(samples.data(), int(samples.size()),
                                       std::chrono::milliseconds(500)))
                << cable->Error();
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                ASSERT_EQ(samples[i] & (1u << wiring.m_nMiso), Echo(before, wiring)) << i;
                before = bytes[i];
            }
        }
        EXPECT_EQ(Bus().m_nTransfers, 0);
    }
}

// Whatever goes wrong in flight, the exchange fails in its time limit with
// the cable named, every transfer is cancelled, and none is waited for
// that could never finish.
TEST_F(LibFtdiBitBangTest, AFailureInFlightEndsTheExchangesInTime)
{
    for (bool frozen : {true, false}) {
        Bus().Reset();
        FakeFtdiChip& chip = Bus().Plug();
        auto cable = Open(Wiring("RTS", "TXD", "DTR", "RXD", 9600));
        ASSERT_TRUE(cable) << m_failure.text;
        std::vector<std::uint8_t> bytes(300, 0x15), samples(300);
        for (int n = 0; n < 3; ++n)
            ASSERT_TRUE(cable->Submit(bytes.data(), 300));
        ASSERT_TRUE(cable->Collect(samples.data(), 300, std::chrono::milliseconds(500)));
        chip.frozen = frozen;
        chip.gone = !frozen;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(cable->Collect(samples.data(), 300, std::chrono::milliseconds(30)));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        const std::string expected = frozen ? "ftdi: the cable sent no samples back within 30 ms"
                                            : "ftdi: USB";
        EXPECT_EQ(cable->Error().rfind(expected, 0), 0u) << cable->Error();
        EXPECT_EQ(Bus().m_nTransfers, 0);
        EXPECT_FALSE(cable->Collect(samples.data(), 300, std::chrono::milliseconds(30)));
        chip.frozen = false;
        chip.gone = false;
    }
}

struct RefusalCase {
    const char* name;
    const char* address;
    bool claimed;
    bool bitBang;
    int error;
    const char* text;
};

class LibFtdiRefusalTest : public LibFtdiBitBangTest,
                           public testing::WithParamInterface<RefusalCase> {};

TEST_P(LibFtdiRefusalTest, SaysWhyAndLeavesNothingOpen)
{
    const RefusalCase& c = GetParam();
    FakeFtdiChip& chip = Bus().Plug();
    chip.claimed = c.claimed;
    chip.bitBang = c.bitBang;
    EXPECT_FALSE(Open(FtdiWiring{}, c.address));
    EXPECT_EQ(m_failure.port.error, c.error);
    EXPECT_EQ(m_failure.port.kind, "FTDI");
    EXPECT_NE(m_failure.text.find(c.text), std::string::npos) << m_failure.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LibFtdiRefusalTest,
    testing::Values(
        RefusalCase{"otherProduct", "ftdi:0403:6014", false, true, ENODEV,
                    "no such FTDI cable is plugged in"},
        RefusalCase{"otherSerial", "ftdi:0403:6001:XYZ", false, true, ENODEV,
                    "ftdi:0403:6001:XYZ: no such FTDI cable"},
        RefusalCase{"heldByAnotherProgram", "ftdi", true, true, EBUSY,
                    "the cable is in use (another program holds it)"},
        RefusalCase{"noBitBang", "ftdi:0403:6001:A50285BI", false, false, EIO,
                    "unable to configure bitbang mode"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
