// The table above the controller: which kind makes a type's backend, and
// which backends share a slot.

#include <gtest/gtest.h>

#include "programmer/BackendTable.h"
#include "programmer/Programmer.h"
#include "programmer/StatusQueue.h"
#include "tests/support/RecordingMessageSink.h"

namespace {

class CNamedBackend : public IDeviceBackend {
public:
    CNamedBackend(std::string name, std::vector<std::string>& gone) : m_name(std::move(name)), m_gone(gone) {}
    ~CNamedBackend() override { m_gone.push_back(m_name); }
    void CheckReady(std::uint8_t) override {}
    void DetectDevice(std::uint8_t) override {}
    void EraseDevice(std::uint8_t) override {}
    void WriteDevice(std::uint8_t) override {}
    void ReadDevice(std::uint8_t) override {}
    void LockDevice(std::uint8_t, int) override {}
    const std::string m_name;

private:
    std::vector<std::string>& m_gone;
};

class BackendTableTest : public testing::Test {
protected:
    // A kind whose opener installs a backend named after the call and
    // answers ready for even ISP settings.
    CBackendTable::Kind Kind(int first, int last)
    {
        return {first, last, [this](CProgrammer& programmer, int type, int isp) {
                    const std::string name = std::to_string(type) + "/" + std::to_string(isp);
                    m_opened.push_back(name);
                    programmer.SetBackend(type, std::make_unique<CNamedBackend>(name, m_gone));
                    return isp % 2 == 0 ? 1 : 0;
                }};
    }
    std::string Current() const
    {
        auto* backend = dynamic_cast<CNamedBackend*>(m_programmer.Backend());
        return backend ? backend->m_name : "none";
    }

    std::vector<std::string> m_opened;
    std::vector<std::string> m_gone;
    CStatusQueue m_queue;
    CRecordingMessageSink m_messages;
    CBackendTable m_table{{Kind(0, 0), Kind(1, 3), Kind(4, 4), Kind(5, 5)}};
    CProgrammer m_programmer{m_queue, m_messages};
};

TEST_F(BackendTableTest, EachKindMakesItsTypesBackendAndCableTypesShareOne)
{
    m_programmer.SetBackendTable(&m_table);
    EXPECT_EQ(m_programmer.SelectBackend(4, 2), 1);
    EXPECT_EQ(m_programmer.SelectBackend(5, 1), 0);
    EXPECT_EQ(m_programmer.SelectBackend(1, 0), 1);
    EXPECT_EQ(m_opened, (std::vector<std::string>{"4/2", "5/1", "1/0"}));
    EXPECT_TRUE(m_gone.empty());
    EXPECT_EQ(Current(), "1/0");

    // Cable type 3 replaces cable type 1's backend (one slot), and only it.
    EXPECT_EQ(m_programmer.SelectBackend(3, 0), 1);
    EXPECT_EQ(m_gone, (std::vector<std::string>{"1/0"}));
    m_programmer.m_nProgType = 4;
    EXPECT_EQ(Current(), "4/2");
    m_programmer.m_nProgType = 5;
    EXPECT_EQ(Current(), "5/1");

    // A type no kind serves has no backend and makes none.
    EXPECT_EQ(m_programmer.SelectBackend(6, 0), 0);
    EXPECT_EQ(Current(), "none");
    EXPECT_EQ(m_opened.size(), 4u);
    m_programmer.SetBackend(6, std::make_unique<CNamedBackend>("stray", m_gone));
    EXPECT_EQ(m_gone.back(), "stray");
}

TEST_F(BackendTableTest, SlotsFollowTheTable)
{
    EXPECT_EQ(m_table.SlotOf(2), 1);
    EXPECT_EQ(m_table.SlotOf(5), 5);
    EXPECT_EQ(m_table.SlotOf(-1), -1);
    EXPECT_FALSE(m_table.Serves(6));
    // Without a table only the serial board and the cables have a slot,
    // and nothing is made.
    m_programmer.SetBackend(4, std::make_unique<CNamedBackend>("four", m_gone));
    EXPECT_EQ(m_gone, (std::vector<std::string>{"four"}));
    EXPECT_EQ(m_programmer.SelectBackend(2, 0), 0);
    EXPECT_TRUE(m_opened.empty());
}

}  // namespace
