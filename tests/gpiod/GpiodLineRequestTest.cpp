// The libgpiod wrapper on link-time fakes of the library's calls, built once
// for libgpiod 1.x and once for 2.x: the pin map, the lines' directions
// between and during operations, the header's controller found by its
// label, and refusals that name the line and the reason.

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>

#include "isp/GpioLines.h"
#include "isp/GpiodLineRequest.h"
#include "tests/gpiod/FakeGpioKernel.h"
#include "tests/support/TempDir.h"

namespace {

using Line = IGpioLineRequest::Line;
constexpr Line kLines[] = {IGpioLineRequest::kMosi, IGpioLineRequest::kSck, IGpioLineRequest::kRst,
                           IGpioLineRequest::kMiso};

GpioWiring Wiring(int mosi, int miso, int sck, int rst)
{
    GpioWiring wiring;
    wiring.m_nMosi = mosi;
    wiring.m_nMiso = miso;
    wiring.m_nSck = sck;
    wiring.m_nRst = rst;
    return wiring;
}

int Offset(const GpioWiring& wiring, Line line)
{
    const int offsets[] = {wiring.m_nMosi, wiring.m_nSck, wiring.m_nRst, wiring.m_nMiso};
    return offsets[line];
}

class GpiodLineRequestTest : public testing::Test {
protected:
    GpiodLineRequestTest() { Kernel().Reset(m_dir.Path().string()); }
    ~GpiodLineRequestTest() override
    {
        EXPECT_EQ(Kernel().m_nLive, 0) << "library objects were left open";
    }

    static CFakeGpioKernel& Kernel() { return CFakeGpioKernel::Get(); }

    std::unique_ptr<IGpioLineRequest> Request(const GpioWiring& wiring)
    {
        m_failure = {};
        return CGpiodLineRequest::RequestIn(m_dir.Path().string(), wiring, m_failure);
    }

    // The lines of chip, by offset: "" free, "i" an input, "o0"/"o1" an output.
    static std::string State(const FakeGpioChip& chip, int offset)
    {
        const FakeGpioLine& line = chip.lines[std::size_t(offset)];
        if (line.consumer.empty())
            return "";
        return line.output ? "o" + std::to_string(line.value) : "i";
    }
    static std::vector<std::string> States(const FakeGpioChip& chip, const GpioWiring& wiring)
    {
        std::vector<std::string> states;
        for (Line line : kLines)
            states.push_back(State(chip, Offset(wiring, line)));
        return states;
    }

    CTempDir m_dir;
    LinesOpenFailure m_failure;
};

using Strings = std::vector<std::string>;

// Each of the wrapper's lines is the wiring's offset for it and no other:
// a line swapped in the pin map drives or reads the wrong pin.
TEST_F(GpiodLineRequestTest, EachLineIsTheWiringsOffsetForIt)
{
    FakeGpioChip& chip = Kernel().AddChip("gpiochip0", "pinctrl-bcm2711", 58);
    for (const GpioWiring& wiring : {Wiring(10, 9, 11, 25), Wiring(3, 27, 17, 4), Wiring(0, 1, 2, 57)}) {
        auto request = Request(wiring);
        ASSERT_TRUE(request) << m_failure.text;
        ASSERT_EQ(request->SetDriving(true), 0);
        for (Line driven : {IGpioLineRequest::kMosi, IGpioLineRequest::kSck, IGpioLineRequest::kRst}) {
            ASSERT_EQ(request->Set(driven, 1), 0);
            for (Line line : kLines)
                EXPECT_EQ(CFakeGpioKernel::Level(chip.lines[std::size_t(Offset(wiring, line))]),
                          line == driven ? 1 : 0)
                    << "line " << int(line) << " after setting line " << int(driven);
            ASSERT_EQ(request->Set(driven, 0), 0);
        }
        for (int level : {1, 0, 1}) {
            for (FakeGpioLine& line : chip.lines)
                line.outside = 0;
            chip.lines[std::size_t(wiring.m_nMiso)].outside = level;
            EXPECT_EQ(request->Get(IGpioLineRequest::kMiso), level);
        }
    }
}

// Between operations MOSI and SCK are inputs and RST is low: the target runs
// with its port pins free. The lines go with the request. A kernel before
// 5.5 cannot turn a held line around (libgpiod 1.x): the same, by asking for
// the line again.
TEST_F(GpiodLineRequestTest, MosiAndSckAreDrivenOnlyWhileAskedTo)
{
    for (bool oldKernel : {false, true}) {
        SCOPED_TRACE(oldKernel ? "kernel before 5.5" : "current kernel");
        Kernel().Reset(m_dir.Path().string());
        FakeGpioChip& chip = Kernel().AddChip("gpiochip0", "pinctrl-bcm2711", 58);
        chip.oldKernel = oldKernel;
        const GpioWiring wiring = Wiring(10, 9, 11, 25);
        {
            auto request = Request(wiring);
            ASSERT_TRUE(request) << m_failure.text;
            for (Line line : kLines)
                EXPECT_EQ(chip.lines[std::size_t(Offset(wiring, line))].consumer,
                          CGpiodLineRequest::kConsumer);
            // MOSI, SCK, RST, MISO.
            EXPECT_EQ(States(chip, wiring), (Strings{"i", "i", "o0", "i"}));
            EXPECT_NE(request->Set(IGpioLineRequest::kMosi, 1), 0) << "an input cannot be set";

            ASSERT_EQ(request->SetDriving(true), 0);
            EXPECT_EQ(States(chip, wiring), (Strings{"o0", "o0", "o0", "i"}));
            for (Line line : {IGpioLineRequest::kMosi, IGpioLineRequest::kSck, IGpioLineRequest::kRst})
                ASSERT_EQ(request->Set(line, 1), 0);
            EXPECT_EQ(States(chip, wiring), (Strings{"o1", "o1", "o1", "i"}));

            ASSERT_EQ(request->SetDriving(false), 0);
            EXPECT_EQ(States(chip, wiring), (Strings{"i", "i", "o0", "i"}));
            ASSERT_EQ(request->SetDriving(true), 0);
            EXPECT_EQ(States(chip, wiring), (Strings{"o0", "o0", "o0", "i"}));
        }
        EXPECT_EQ(States(chip, wiring), (Strings{"", "", "", ""}));
    }
}

// ISP over SPI asks for RST alone: the SPI driver holds MOSI, MISO and SCK,
// and a request that reached for them would be refused as busy.
TEST_F(GpiodLineRequestTest, ARequestForRstAloneLeavesTheOtherLinesToTheirOwner)
{
    FakeGpioChip& chip = Kernel().AddChip("gpiochip0", "pinctrl-bcm2711", 58);
    for (int offset : {9, 10, 11})
        chip.lines[std::size_t(offset)].consumer = "spi0";
    GpioWiring rstOnly = Wiring(GpioWiring::kNoLine, GpioWiring::kNoLine, GpioWiring::kNoLine, 25);
    {
        auto request = Request(rstOnly);
        ASSERT_TRUE(request) << m_failure.text;
        EXPECT_EQ(State(chip, 25), "o0");
        ASSERT_EQ(request->Set(IGpioLineRequest::kRst, 1), 0);
        EXPECT_EQ(State(chip, 25), "o1");
        EXPECT_NE(request->Set(IGpioLineRequest::kMosi, 1), 0);
        EXPECT_LT(request->Get(IGpioLineRequest::kMiso), 0);
        ASSERT_EQ(request->SetDriving(false), 0);
        EXPECT_EQ(State(chip, 25), "o0");
        for (int offset : {9, 10, 11})
            EXPECT_EQ(chip.lines[std::size_t(offset)].consumer, "spi0");
    }
    EXPECT_EQ(State(chip, 25), "");
}

struct Chip {
    const char* name;
    const char* label;
    int lines;
};

struct LookupCase {
    const char* name;
    std::vector<Chip> chips;
    std::optional<std::string> given;  // the Chip setting or --port
    const char* found;
    const char* closed = nullptr;  // a chip the user may not open
};

class GpiodChipLookupTest : public GpiodLineRequestTest,
                            public testing::WithParamInterface<LookupCase> {};

const std::vector<Chip> kPi5Before6645 = {{"gpiochip0", "gpio-brcmstb@107d508500", 32},
                                          {"gpiochip1", "gpio-brcmstb@107d508520", 4},
                                          {"gpiochip2", "gpio-brcmstb@107d517c00", 17},
                                          {"gpiochip3", "gpio-brcmstb@107d517c20", 6},
                                          {"gpiochip4", "pinctrl-rp1", 54}};

TEST_P(GpiodChipLookupTest, FindsTheChipTheWiringMeans)
{
    const LookupCase& c = GetParam();
    for (const Chip& chip : c.chips)
        Kernel().AddChip(chip.name, chip.label, chip.lines);
    if (c.closed)
        Kernel().ByName(c.closed)->denied = true;
    GpioWiring wiring;
    if (c.given) {
        wiring.m_strChip = *c.given == "PATH" ? m_dir.File("gpiochip4") : *c.given;
        wiring.m_bHeaderChip = false;
    }
    auto request = Request(wiring);
    ASSERT_TRUE(request) << m_failure.text;
    EXPECT_EQ(request->ChipName(), c.found);
    // RST, line 25, is held on the chip found and on no other.
    for (const Chip& chip : c.chips) {
        if (chip.lines > 25) {
            EXPECT_EQ(Kernel().ByName(chip.name)->lines[25].consumer,
                      std::string(chip.name) == c.found ? CGpiodLineRequest::kConsumer : "")
                << chip.name;
        }
    }
    // The line layer names it.
    EXPECT_EQ(CGpioLines(wiring, std::move(request), {}).Describe(),
              "GPIO chip " + std::string(c.found));
}

INSTANTIATE_TEST_SUITE_P(
    Boards, GpiodChipLookupTest,
    testing::Values(
        LookupCase{"pi5Before6645", kPi5Before6645, std::nullopt, "gpiochip4"},
        LookupCase{"pi5SocChipClosed", kPi5Before6645, std::nullopt, "gpiochip4", "gpiochip0"},
        LookupCase{"pi5Since6645",
                   {{"gpiochip0", "pinctrl-rp1", 54},
                    {"gpiochip10", "gpio-brcmstb@107d508500", 32},
                    {"gpiochip11", "gpio-brcmstb@107d508520", 4}},
                   std::nullopt, "gpiochip0"},
        LookupCase{"pi4",
                   {{"gpiochip0", "raspberrypi-exp-gpio", 8}, {"gpiochip1", "pinctrl-bcm2711", 58}},
                   std::nullopt, "gpiochip1"},
        LookupCase{"pi3", {{"gpiochip0", "pinctrl-bcm2835", 54}}, std::nullopt, "gpiochip0"},
        LookupCase{"otherBoard",
                   {{"gpiochip0", "gpio-mockup-A", 32}, {"gpiochip1", "gpio-mockup-B", 32}},
                   std::nullopt, "gpiochip0"},
        LookupCase{"givenNameIsTakenAsItIs", kPi5Before6645, "gpiochip0", "gpiochip0"},
        LookupCase{"givenNumber", kPi5Before6645, "4", "gpiochip4"},
        LookupCase{"givenLabel", kPi5Before6645, "pinctrl-rp1", "gpiochip4"},
        LookupCase{"givenPath", kPi5Before6645, "PATH", "gpiochip4"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
    const char* name;
    const char* chipSetting;  // nullptr: the header's controller
    GpioWiring wiring;
    int busyLine;
    bool denied;
    int error;
    const char* text;
};

class GpiodRefusalTest : public GpiodLineRequestTest,
                         public testing::WithParamInterface<RefusalCase> {};

// A request the kernel refuses leaves nothing held and says which line and
// why, as the log line and the command line show it.
TEST_P(GpiodRefusalTest, SaysWhichLineAndWhyAndHoldsNothing)
{
    const RefusalCase& c = GetParam();
    FakeGpioChip& chip = Kernel().AddChip(c.error == ENOENT ? "gpiochip1" : "gpiochip0",
                                          c.error == ENOENT ? "gpio-mockup-A" : "pinctrl-bcm2835", 54);
    chip.denied = c.denied;
    if (c.busyLine >= 0)
        chip.lines[std::size_t(c.busyLine)].consumer = "spi0 CS0";
    GpioWiring wiring = c.wiring;
    if (c.chipSetting) {
        wiring.m_strChip = c.chipSetting;
        wiring.m_bHeaderChip = false;
    }
    EXPECT_FALSE(Request(wiring));
    EXPECT_EQ(m_failure.port.error, c.error);
    EXPECT_EQ(m_failure.port.kind, "GPIO");
    EXPECT_NE(m_failure.text.find(c.text), std::string::npos) << m_failure.text;
    for (std::size_t offset = 0; offset < chip.lines.size(); ++offset)
        EXPECT_EQ(chip.lines[offset].consumer, int(offset) == c.busyLine ? "spi0 CS0" : "")
            << "line " << offset;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GpiodRefusalTest,
    testing::Values(
        RefusalCase{"sckHeldBySpi", nullptr, Wiring(10, 9, 11, 25), 11, false, EBUSY,
                    "line 11: Device or resource busy (held by \"spi0 CS0\""},
        RefusalCase{"misoHeldLast", nullptr, Wiring(10, 9, 11, 25), 9, false, EBUSY,
                    "line 9: Device or resource busy"},
        RefusalCase{"lineBeyondTheChip", nullptr, Wiring(10, 9, 11, 60), -1, false, EINVAL,
                    "line 60 does not exist (the chip has lines 0 to 53"},
        RefusalCase{"chipClosedToTheUser", nullptr, Wiring(10, 9, 11, 25), -1, true, EACCES,
                    "gpiochip0: Permission denied"},
        RefusalCase{"noHeaderNorDefaultChip", nullptr, Wiring(10, 9, 11, 25), -1, false, ENOENT,
                    "/dev/gpiochip0: No such file or directory (no GPIO chip has the label of a"
                    " Raspberry Pi's header (pinctrl-rp1, pinctrl-bcm2711, pinctrl-bcm2835)"},
        RefusalCase{"noSuchChip", "gpiochip7", Wiring(10, 9, 11, 25), -1, false, ENOENT,
                    "/dev/gpiochip7: No such file or directory"},
        RefusalCase{"noSuchLabel", "pinctrl-xyz", Wiring(10, 9, 11, 25), -1, false, ENOENT,
                    "pinctrl-xyz: No such file or directory"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
