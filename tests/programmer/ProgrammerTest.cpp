#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "programmer/DeviceCatalogue.h"
#include "programmer/Programmer.h"
#include "programmer/StatusCode.h"
#include "programmer/StatusQueue.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kSize = CProgrammer::kBufferSize;

DeviceRecord Device(std::uint8_t code, std::int32_t romKB,
                    std::array<std::uint8_t, 3> signature = {0x1E, 0x52, 0x06})
{
    return {"D" + std::to_string(code), code, romKB, 5.0f, signature};
}

// Each backend call as "Op code level blank", blank telling whether Buffer2
// was all 0xFF when the backend was called.
struct CallLog {
    std::vector<std::string> calls;
    bool destroyed = false;
};

class CRecordingBackend : public IDeviceBackend {
public:
    CRecordingBackend(CallLog& log, const CProgrammer& programmer) : m_log(log), m_prog(programmer) {}
    ~CRecordingBackend() override { m_log.destroyed = true; }
    void CheckReady(std::uint8_t code) override { Record("CheckReady", code, 0); }
    void DetectDevice(std::uint8_t code) override { Record("DetectDevice", code, 0); }
    void EraseDevice(std::uint8_t code) override { Record("EraseDevice", code, 0); }
    void WriteDevice(std::uint8_t code) override { Record("WriteDevice", code, 0); }
    void ReadDevice(std::uint8_t code) override { Record("ReadDevice", code, 0); }
    void LockDevice(std::uint8_t code, int level) override { Record("LockDevice", code, level); }

private:
    void Record(const std::string& op, int code, int level)
    {
        const bool blank = std::all_of(m_prog.Buffer2, m_prog.Buffer2 + kSize,
                                       [](std::uint8_t b) { return b == 0xFF; });
        m_log.calls.push_back(op + " " + std::to_string(code) + " " + std::to_string(level)
                              + (blank ? " blank" : ""));
    }
    CallLog& m_log;
    const CProgrammer& m_prog;
};

class ProgrammerTest : public testing::Test {
protected:
    CallLog& Install(int progType)
    {
        m_logs.push_back(std::make_unique<CallLog>());
        m_prog.SetBackend(progType, std::make_unique<CRecordingBackend>(*m_logs.back(), m_prog));
        return *m_logs.back();
    }
    void RunAll(int index)
    {
        std::fill(m_prog.Buffer2, m_prog.Buffer2 + kSize, 0x00);
        m_prog.CheckReady(index);
        m_prog.DetectDevice(index);
        m_prog.EraseDevice(index);
        m_prog.WriteDevice(index);
        m_prog.ReadDevice(index);
        m_prog.LockDevice(index, 3);
    }
    // Events as "s<code>" or "d<index>".
    std::vector<std::string> Events()
    {
        std::vector<std::string> out;
        while (auto e = m_queue.TryPop())
            out.push_back((e->kind == StatusEvent::Kind::Status ? "s" : "d") + std::to_string(e->value));
        return out;
    }

    std::vector<std::unique_ptr<CallLog>> m_logs;  // outlive the backends
    CStatusQueue m_queue;
    CRecordingMessageSink m_messages;
    CProgrammer m_prog{m_queue, m_messages};
};

TEST_F(ProgrammerTest, StartsWithTwoBlankBuffersAndNothingSelected)
{
    EXPECT_EQ(m_prog.Buffer2, m_prog.Buffer1 + kSize);
    EXPECT_TRUE(std::all_of(m_prog.Buffer1, m_prog.Buffer1 + 2 * kSize,
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(m_prog.m_nCurDevice + m_prog.m_nLength + m_prog.m_nPos + m_prog.m_bKeepLength, 0);
    EXPECT_EQ(m_prog.CurrentDevice(), nullptr);
    EXPECT_EQ(m_prog.Backend(), nullptr);
}

struct TrimCase {
    int romKB;  // INT_MIN: empty catalogue
    std::vector<int> dataAt;
    int size;
    int expected;
};

class TrimLengthTest : public ProgrammerTest, public testing::WithParamInterface<TrimCase> {};

TEST_P(TrimLengthTest, EndsAfterTheLastDataByteWithinTheRom)
{
    const TrimCase& c = GetParam();
    if (c.romKB != std::numeric_limits<int>::min())
        m_prog.SetCatalogue({Device(2, c.romKB)});
    for (int at : c.dataAt)
        m_prog.Buffer1[at] = 0x00;
    EXPECT_EQ(m_prog.TrimLength(m_prog.Buffer1, c.size), c.expected);
    EXPECT_EQ(m_prog.m_nLength, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrimLengthTest,
    testing::Values(TrimCase{8, {}, kSize, 0}, TrimCase{8, {0}, kSize, 1},
                    TrimCase{8, {8191}, kSize, 8192}, TrimCase{4, {10, 5000}, kSize, 4096},
                    TrimCase{0, {0}, kSize, 0}, TrimCase{-5, {0}, kSize, 0},
                    TrimCase{1000, {kSize - 1}, kSize, kSize},
                    TrimCase{std::numeric_limits<int>::max(), {kSize - 1}, kSize, kSize},
                    TrimCase{std::numeric_limits<int>::min() + 1, {0}, kSize, 0},
                    TrimCase{std::numeric_limits<int>::min(), {kSize - 1}, kSize, kSize},
                    TrimCase{64, {100}, 50, 0}, TrimCase{64, {0}, -1, 0},
                    TrimCase{64, {511, 513}, kSize, 514}, TrimCase{64, {1023}, kSize, 1024}));

TEST_F(ProgrammerTest, TrimLengthNeverLooksPastTheBuffer)
{
    m_prog.Buffer2[0] = 0x00;  // right after Buffer1
    EXPECT_EQ(m_prog.TrimLength(m_prog.Buffer1, 2 * kSize), 0);
}

TEST_F(ProgrammerTest, SignatureMatchTakesTheFirstRecordAndSelectsItBeforeReporting)
{
    m_prog.SetCatalogue({Device(1, 4, {0x1E, 0x51, 0x06}), Device(2, 8), Device(3, 8)});
    m_prog.SetSignature({0x1E, 0x52, 0x06});
    EXPECT_EQ(m_prog.MatchSignature(), 1);
    EXPECT_EQ(m_prog.m_nCurDevice, 1);
    EXPECT_EQ(Events(), (std::vector<std::string>{"d1", "s19"}));

    m_prog.SelectDevice(2);
    m_prog.SetSignature({0x06, 0x52, 0x1E});  // same bytes, wrong order
    EXPECT_EQ(m_prog.MatchSignature(), 0);
    EXPECT_EQ(m_prog.m_nCurDevice, 2);
    EXPECT_EQ(Events(), (std::vector<std::string>{"s20"}));
}

TEST_F(ProgrammerTest, OperationsPassTheSelectedDevicesCode)
{
    CallLog& log = Install(0);
    m_prog.SetCatalogue({Device(7, 4), Device(2, 8), Device(9, 8)});
    RunAll(2);
    RunAll(-1);  // no selection: the first device
    EXPECT_EQ(log.calls, (std::vector<std::string>{
                             "CheckReady 9 0", "DetectDevice 9 0", "EraseDevice 9 0",
                             "WriteDevice 9 0", "ReadDevice 9 0 blank", "LockDevice 9 3 blank",
                             "CheckReady 7 0", "DetectDevice 7 0", "EraseDevice 7 0",
                             "WriteDevice 7 0", "ReadDevice 7 0 blank", "LockDevice 7 3 blank"}));
    EXPECT_EQ(m_prog.m_nCurDevice, 0);
    EXPECT_TRUE(Events().empty());
}

TEST_F(ProgrammerTest, OperationsWithoutARecordReportInvalidAndTouchNothing)
{
    CallLog& log = Install(0);
    RunAll(0);  // empty catalogue
    m_prog.SetCatalogue({Device(7, 4), Device(2, 8)});
    m_prog.SelectDevice(1);
    RunAll(2);  // past the end
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(m_prog.m_nCurDevice, 1);
    EXPECT_EQ(m_prog.Buffer2[kSize - 1], 0x00);
    EXPECT_EQ(Events(), std::vector<std::string>(12, "s18"));
}

TEST_F(ProgrammerTest, ProgrammerTypeChoosesTheBackendSlot)
{
    m_prog.SetCatalogue({Device(7, 4), Device(2, 8)});
    CallLog& serial = Install(0);
    CallLog& isp = Install(1);
    for (int type : {0, 1, 2, 3, 4, -1}) {
        serial.calls.clear();
        isp.calls.clear();
        m_prog.m_nProgType = type;
        m_prog.DetectDevice(1);
        EXPECT_EQ(serial.calls.size(), type == 0 ? 1u : 0u) << type;
        EXPECT_EQ(isp.calls.size(), type >= 1 && type <= 3 ? 1u : 0u) << type;
    }
    // Without a backend nothing is posted and the device list stays as it was.
    m_prog.SelectDevice(0);
    m_prog.m_nProgType = 4;
    RunAll(1);
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(m_prog.m_nCurDevice, 0);
    EXPECT_EQ(m_prog.Buffer2[0], 0x00);

    EXPECT_TRUE(Install(7).destroyed);  // no slot for this type
    EXPECT_EQ(m_prog.Backend(), nullptr);
}

TEST_F(ProgrammerTest, SelectBackendReplacesOnlyTheBackendOfItsSlot)
{
    CallLog& serial = Install(0);
    CallLog& isp = Install(2);
    EXPECT_EQ(m_prog.SelectBackend(0, 0), 0);
    EXPECT_TRUE(serial.destroyed);
    EXPECT_FALSE(isp.destroyed);
    EXPECT_EQ(m_prog.SelectBackend(3, 1), 0);
    EXPECT_TRUE(isp.destroyed);
    EXPECT_EQ(m_prog.m_nProgType, 3);
}

TEST(Programmer, DestructionEndsItsBackend)
{
    CStatusQueue queue;
    CRecordingMessageSink messages;
    CallLog log;
    {
        CProgrammer programmer(queue, messages);
        programmer.SetBackend(1, std::make_unique<CRecordingBackend>(log, programmer));
    }
    EXPECT_TRUE(log.destroyed);
}

TEST_F(ProgrammerTest, LoadCatalogueReadsTheFileOrLeavesTheListEmpty)
{
    CTempDir dir;
    const std::vector<DeviceRecord> devices = {Device(7, 4), Device(2, 8)};
    ASSERT_TRUE(WriteCatalogueFile(dir.File("ChipList.chip"), devices));
    m_prog.LoadCatalogue(dir.File("ChipList.chip"));
    EXPECT_EQ(m_prog.Devices(), devices);
    m_prog.LoadCatalogue(dir.File("missing.chip"));
    EXPECT_TRUE(m_prog.Devices().empty());
    EXPECT_TRUE(Events().empty());
    EXPECT_TRUE(m_messages.Messages().empty());
}

}  // namespace
