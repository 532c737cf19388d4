#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

#include "isp/ParallelPort.h"
#include "platform/AppGlobals.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TempDir.h"

namespace {

struct Access {
    bool write;
    int offset;
    std::uint8_t value;
    bool operator==(const Access&) const = default;
};
Access W(int offset, std::uint8_t value) { return {true, offset, value}; }

// Logs every access; reads answer from settable register values.
class CRecordingRegisters : public IPortRegisters {
public:
    explicit CRecordingRegisters(std::vector<Access>& log) : m_log(log) {}
    std::uint8_t Read(int offset) override
    {
        m_log.push_back({false, offset, m_values[offset]});
        return m_values[offset];
    }
    void Write(int offset, std::uint8_t value) override { m_log.push_back(W(offset, value)); }

    std::vector<Access>& m_log;
    std::uint8_t m_values[3] = {0, 0, 0};
};

// A freshly opened port on recording registers.
struct Bench {
    Bench()
    {
        auto regs = std::make_unique<CRecordingRegisters>(log);
        this->regs = regs.get();
        port.OpenWith(std::move(regs));
    }
    std::vector<Access> log;
    CRecordingRegisters* regs = nullptr;
    CRecordingMessageSink sink;
    CParallelPort port{sink};
};

TEST(ParallelPort, InputAndMissingPinsAreNotSettable)
{
    Bench b;
    for (int pin : {-1, 0, 10, 11, 12, 13, 15, 18, 25}) {
        EXPECT_EQ(b.port.SetPin(pin, 1) + b.port.SetPin(pin, 0) + b.port.SetPinHigh(pin) +
                      b.port.SetPinLow(pin),
                  0)
            << pin;
    }
    EXPECT_TRUE(b.log.empty());
}

TEST(ParallelPort, EachSettablePinWritesItsRegisterWithInversion)
{
    // From zero shadows: the register and the values written for high, low.
    struct Case {
        int pin, reg;
        std::uint8_t high, low;
    };
    const Case cases[] = {{1, 2, 0x00, 0x01},  {2, 0, 0x01, 0x00},  {5, 0, 0x08, 0x00},
                          {9, 0, 0x80, 0x00},  {14, 2, 0x00, 0x02}, {16, 2, 0x04, 0x00},
                          {17, 2, 0x00, 0x08}};
    for (const auto& c : cases) {
        Bench b;
        EXPECT_EQ(b.port.SetPin(c.pin, 7), 1);  // any non-zero level is high
        EXPECT_EQ(b.port.SetPinLow(c.pin), 1);
        EXPECT_EQ(b.port.SetPinHigh(c.pin), 1);
        EXPECT_EQ(b.log, (std::vector<Access>{W(c.reg, c.high), W(c.reg, c.low), W(c.reg, c.high)}))
            << c.pin;
    }
}

TEST(ParallelPort, WritesCarryTheShadowAndNeverReadFirst)
{
    Bench b;
    b.regs->m_values[0] = 0x5A;
    b.regs->m_values[2] = 0xF0;
    // Pins 1, 14 and 17 are high at a zero shadow, pin 16 low.
    b.port.SetPinHigh(16);
    b.port.SetPinHigh(1);
    b.port.SetPinLow(17);
    b.port.SetPinHigh(17);
    b.port.SetPinHigh(2);
    b.port.SetPinHigh(9);
    b.port.SetPinLow(2);
    EXPECT_EQ(b.log, (std::vector<Access>{W(2, 0x04), W(2, 0x04), W(2, 0x0C), W(2, 0x04),
                                          W(0, 0x01), W(0, 0x81), W(0, 0x80)}));
    // Once read, the port's own upper control bits stay in later writes.
    b.regs->m_values[2] = 0xE1;
    EXPECT_EQ(b.port.ReadPin(1), 0);
    b.port.SetPinHigh(16);
    EXPECT_EQ(b.log.back(), W(2, 0xE5));
}

TEST(ParallelPort, ReadPinGivesBitInPlaceOrComplementForInvertedPins)
{
    struct Case {
        int pin, reg;
        std::uint8_t value;
        int expected;
    };
    const Case cases[] = {
        {9, 0, 0x80, 0x80}, {9, 0, 0x7F, 0},    {2, 0, 0xFF, 0x01},  {10, 1, 0x40, 0x40},
        {10, 1, 0xBF, 0},   {11, 1, 0x7F, 1},   {11, 1, 0x80, 0},    {12, 1, 0x20, 0x20},
        {13, 1, 0x10, 0x10}, {15, 1, 0x08, 0x08}, {15, 1, 0xF7, 0},  {1, 2, 0x00, 1},
        {1, 2, 0x01, 0},    {14, 2, 0xFD, 1},   {14, 2, 0x02, 0},    {16, 2, 0x04, 0x04},
        {17, 2, 0x08, 0},   {17, 2, 0xF7, 1},
    };
    Bench b;
    for (const auto& c : cases) {
        b.log.clear();
        b.regs->m_values[c.reg] = c.value;
        EXPECT_EQ(b.port.ReadPin(c.pin), c.expected) << c.pin << " at " << int(c.value);
        EXPECT_EQ(b.log, (std::vector<Access>{{false, c.reg, c.value}}));
    }
    b.log.clear();
    EXPECT_EQ(b.port.ReadPin(0) + b.port.ReadPin(18), 0);
    EXPECT_TRUE(b.log.empty());
}

// Open() against a program folder whose settings name the ppdev device.
class ParallelPortOpenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_oldAppDir = g_strAppDir;
        SetAppDir(m_dir.Path().string());
    }
    void TearDown() override { g_strAppDir = m_oldAppDir; }

    void UseDevice(const std::string& path)
    {
        std::ofstream(m_dir.File("Tamber_Info.ini")) << "[Ports]\r\nLPT1=" << path << "\r\n";
    }
    // Never direct I/O unless asked: a test must not reach real ports.
    int Open(bool directIo = false)
    {
        m_port.SetDirectIoAllowed(directIo);
        return m_port.Open(888);
    }

    CTempDir m_dir;
    std::string m_oldAppDir;
    CRecordingMessageSink m_sink;
    CParallelPort m_port{m_sink};
    const std::vector<std::string> kBothMessages{"初始化驱动程序失败!", "初始化并口I/O失败!"};
};

TEST_F(ParallelPortOpenTest, MissingDeviceWithoutDirectIoFails)
{
    const std::string missing = m_dir.File("no-such-parport");
    UseDevice(missing);
    EXPECT_EQ(Open(), 0);
    EXPECT_FALSE(m_port.IsOpen());
    EXPECT_EQ(m_sink.Texts(), std::vector<std::string>{"初始化并口I/O失败!"});
    EXPECT_EQ(m_sink.Messages()[0].icon, MessageIcon::Warning);
    EXPECT_NE(m_port.LastError().find(missing), std::string::npos) << m_port.LastError();
    // A port that failed to open stays harmless to drive.
    EXPECT_EQ(m_port.SetPinHigh(16), 1);
    EXPECT_EQ(m_port.ReadPin(16), 0x04);
}

TEST_F(ParallelPortOpenTest, DeviceThatIsNoParallelPortIsADriverFailure)
{
    // A plain file opens but cannot be claimed; a folder does not even open.
    const std::string file = m_dir.File("not-a-port");
    std::ofstream(file) << "x";
    for (const std::string& path : {file, m_dir.Path().string()}) {
        CRecordingMessageSink sink;
        CParallelPort port(sink);
        port.SetDirectIoAllowed(false);
        UseDevice(path);
        EXPECT_EQ(port.Open(888), 0);
        EXPECT_EQ(sink.Texts(), kBothMessages) << path;
        EXPECT_FALSE(port.LastError().empty());
    }
}

TEST_F(ParallelPortOpenTest, UnprivilegedUserIsToldWhy)
{
    // As root, direct port access might really work, which a test must not
    // try, and no device is ever forbidden.
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root";
    UseDevice(m_dir.File("no-such-parport"));
    EXPECT_EQ(Open(true), 0);
    EXPECT_EQ(m_sink.Texts(), std::vector<std::string>{"初始化并口I/O失败!"});
    EXPECT_NE(m_port.LastError().find("0x378"), std::string::npos) << m_port.LastError();

    const std::string locked = m_dir.File("locked-parport");
    std::ofstream(locked) << "x";
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    CRecordingMessageSink sink;
    CParallelPort port(sink);
    port.SetDirectIoAllowed(false);
    UseDevice(locked);
    EXPECT_EQ(port.Open(888), 0);
    EXPECT_EQ(sink.Texts(), kBothMessages);
    EXPECT_NE(port.LastError().find("group lp"), std::string::npos) << port.LastError();
}

} // namespace
