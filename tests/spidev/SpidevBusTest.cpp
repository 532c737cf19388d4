// The spidev wrapper against the fake spidev driver: the settings every
// transfer goes out with, one message per transfer, and what a user learns
// when the device cannot be used.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/spi/spidev.h>

#include <cerrno>

#include "FakeSpidev.h"
#include "isp/SpidevBus.h"

namespace {

class SpidevBusTest : public ::testing::Test {
protected:
    void SetUp() override { CFakeSpidev::Reset(); }
    CFakeSpidev& Fake() { return CFakeSpidev::Get(); }

    std::unique_ptr<ISpiBus> Open(std::uint32_t hz = 666666)
    {
        m_failure = {};
        return CSpidevBus::Open(SpiWiring{}, hz, m_failure);
    }

    LinesOpenFailure m_failure;
};

TEST_F(SpidevBusTest, EveryTransferGoesOutInMode0At8BitsAndTheClockAskedFor)
{
    // A previous user left mode 3 and 10 MHz: both would garble the chip.
    Fake().target = [](const CFakeSpidev::Wire& w, std::uint8_t* rx) {
        for (std::size_t i = 0; i < w.tx.size(); ++i)
            rx[i] = std::uint8_t(w.tx[i] ^ 0xFF);
    };
    auto bus = Open(666666);
    ASSERT_TRUE(bus) << m_failure.text;
    EXPECT_EQ(O_RDWR, Fake().openFlags & O_ACCMODE);
    EXPECT_EQ(666666u, bus->ClockHz());

    const std::size_t requestsAfterOpen = Fake().requests.size();
    for (std::size_t size : {std::size_t(4), std::size_t(258)}) {
        std::vector<std::uint8_t> tx(size), rx(size, 0x55);
        for (std::size_t i = 0; i < size; ++i)
            tx[i] = std::uint8_t(i * 7);
        ASSERT_TRUE(bus->Transfer(tx.data(), rx.data(), size)) << bus->Error();
        const CFakeSpidev::Wire& sent = Fake().wire.back();
        EXPECT_EQ(tx, sent.tx);
        EXPECT_EQ(0u, sent.settings.mode & (SPI_CPOL | SPI_CPHA | SPI_LSB_FIRST));
        EXPECT_EQ(8, sent.settings.bits);
        EXPECT_EQ(666666u, sent.settings.hz);
        EXPECT_EQ(std::uint8_t(~tx[size - 1]), rx[size - 1]);
    }
    // One message of one transfer each: a frame or a page is one call.
    ASSERT_EQ(requestsAfterOpen + 2, Fake().requests.size());
    for (std::size_t i = requestsAfterOpen; i < Fake().requests.size(); ++i)
        EXPECT_EQ(SPI_IOC_MESSAGE(1), Fake().requests[i]);
    EXPECT_EQ(2u, Fake().wire.size());
}

TEST_F(SpidevBusTest, AFailedOpenNamesTheDeviceTheStepAndTheFixAndLeavesNothingOpen)
{
    struct Case {
        const char* name;
        std::function<void(CFakeSpidev&)> arrange;
        std::uint32_t hz;
        int error;
        std::vector<const char*> said;
    };
    const Case cases[] = {
        {"SPI off", [](CFakeSpidev& f) { f.openError = ENOENT; }, 666666, ENOENT,
         {"/dev/spidev0.0: No such file", "dtparam=spi=on", "[SPI]"}},
        {"no access", [](CFakeSpidev& f) { f.openError = EACCES; }, 666666, EACCES,
         {"/dev/spidev0.0: Permission denied", "60-tamberlink.rules"}},
        {"not spidev", [](CFakeSpidev& f) { f.isSpidev = false; }, 666666, ENOTTY,
         {"/dev/spidev0.0: SPI mode 0:", "not an SPI device"}},
        {"no clock", [](CFakeSpidev&) {}, 0, EINVAL, {"a clock of 0 Hz", "does not take"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeSpidev::Reset();
        c.arrange(Fake());
        auto bus = Open(c.hz);
        EXPECT_FALSE(bus);
        EXPECT_EQ(c.error, m_failure.port.error);
        EXPECT_EQ("SPI", m_failure.port.kind);
        EXPECT_EQ("/dev/spidev0.0", m_failure.port.path);
        EXPECT_FALSE(m_failure.port.fix.empty());
        for (const char* text : c.said)
            EXPECT_NE(std::string::npos, m_failure.text.find(text)) << m_failure.text;
        EXPECT_EQ(Fake().opens, Fake().closes);
    }
}

TEST_F(SpidevBusTest, AFailedOrShortMessageIsAFailureWithTheSystemsReason)
{
    struct Case {
        const char* name;
        std::function<void(CFakeSpidev&)> arrange;
        std::size_t size;
        int error;
    };
    const Case cases[] = {
        {"unplugged", [](CFakeSpidev& f) { f.messageError = ESHUTDOWN; }, 4, ESHUTDOWN},
        {"beyond bufsiz", [](CFakeSpidev& f) { f.bufsiz = 64; }, 259, EMSGSIZE},
        {"clock below the controller's", [](CFakeSpidev& f) { f.minHz = 1000000; }, 4, EINVAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeSpidev::Reset();
        auto bus = Open();
        ASSERT_TRUE(bus);
        c.arrange(Fake());
        std::vector<std::uint8_t> tx(c.size, 0xAC), rx(c.size);
        EXPECT_FALSE(bus->Transfer(tx.data(), rx.data(), c.size));
        EXPECT_EQ(c.error, bus->ErrorNumber());
        EXPECT_NE(std::string::npos, bus->Error().find("/dev/spidev0.0")) << bus->Error();
    }
}

TEST_F(SpidevBusTest, TheDeviceIsClosedOnceWhenTheBusGoes)
{
    Open().reset();
    EXPECT_EQ(1, Fake().opens);
    EXPECT_EQ(1, Fake().closes);
}

}  // namespace
