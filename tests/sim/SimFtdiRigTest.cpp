// The simulated FTDI cable's USB and buffers against FTDI's rules: samples
// taken before each byte and none lost however much is in flight, the
// round trip overlapped by what the chip already holds, and a full-speed
// bus that cannot carry an FT232R's fastest stream.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "isp/FtdiAddress.h"
#include "sim/SimFtdiRig.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

struct Rig {
    explicit Rig(int product)
        : rig(SimChipType::AT89S52, FtdiWiring{}, CSimFtdiRig::Identity{0x0403, product})
    {
        LinesOpenFailure failure;
        EXPECT_TRUE(rig.Open(*FtdiAddress::Parse("ftdi"), FtdiWiring{}, failure)) << failure.text;
    }
    // RST low, so the target ignores it all; MOSI following a pattern.
    static Bytes Pattern(std::size_t size, int seed)
    {
        Bytes bytes(size);
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = std::uint8_t(((i * 5 + std::size_t(seed)) % 3 == 0) << FtdiWiring{}.m_nMosi);
        return bytes;
    }
    std::chrono::nanoseconds Now() { return rig.Clock()->Now(); }
    // Submits count exchanges of size bytes at once and collects them; the
    // model time that took.
    std::chrono::nanoseconds Stream(int count, int size)
    {
        const auto start = Now();
        for (int n = 0; n < count; ++n)
            EXPECT_TRUE(rig.Submit(Pattern(std::size_t(size), n).data(), size));
        Bytes samples(std::size_t(size), 0);
        for (int n = 0; n < count; ++n)
            EXPECT_TRUE(rig.Collect(samples.data(), size, 1000ms)) << rig.Error();
        return Now() - start;
    }

    CSimFtdiRig rig;
};

// Far more in flight than the chip buffers: while the host reads nothing
// the chip stops clocking rather than lose a sample, never holds more than
// its transmit buffer, and every sample shows the outputs of the byte
// before, across exchanges.
TEST(SimFtdiRig, NothingInFlightIsLostAndEachSampleComesBeforeItsByte)
{
    for (int product : {0x6001, 0x6014}) {
        Rig r(product);
        std::vector<Bytes> sent;
        for (int n = 0; n < 12; ++n) {
            sent.push_back(Rig::Pattern(std::size_t(300 + 11 * n), n));
            ASSERT_TRUE(r.rig.Submit(sent.back().data(), int(sent.back().size())));
        }
        r.rig.Clock()->WaitUntil(r.Now() + 100ms);  // the host busy elsewhere
        EXPECT_GE(r.rig.Stalls(), 1u) << product;
        EXPECT_LE(r.rig.MostHeld(), r.rig.TxBuffer()) << product;
        const auto mosi = std::uint8_t(1u << FtdiWiring{}.m_nMosi);
        std::uint8_t before = 0;
        for (const Bytes& bytes : sent) {
            Bytes samples(bytes.size());
            ASSERT_TRUE(r.rig.Collect(samples.data(), int(samples.size()), 1000ms)) << r.rig.Error();
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                ASSERT_EQ(samples[i] & mosi, before & mosi) << product << " " << i;
                before = bytes[i];
            }
        }
    }
}

// Exchanges in flight share one round trip: eight at once save most of the
// seven round trips that eight one after another cost. A long stream is
// paced by the full-speed bus (shared by the bytes out and the samples
// back), slower than an FT232R's fastest clock, and by the FT232H's clock
// at high speed.
TEST(SimFtdiRig, TheRoundTripPassesWhileTheChipClocksWhatItHolds)
{
    constexpr int kStates = 40 * 256;
    for (int product : {0x6001, 0x6014}) {
        Rig one(product), eight(product), forty(product);
        const auto single = one.Stream(1, 256);
        const auto pipelined = eight.Stream(8, 256);
        EXPECT_LT(pipelined, 8 * single - 5 * one.rig.Latency()) << product;
        EXPECT_GE(pipelined, 8 * single - 8 * one.rig.Latency()) << product;

        const auto took = forty.Stream(40, 256);
        const auto& bus = forty.rig.UsbBus();
        const int payload = bus.packet - CSimFtdiRig::kStatusBytes;
        const auto busTime = (kStates / bus.packet + (kStates + payload - 1) / payload)
            * forty.rig.PacketTime(bus.packet);
        const auto chipTime = std::chrono::nanoseconds(std::llround(
            kStates * 1e9 / FtdiRate::StatesPerSecond(forty.rig.Kind(), forty.rig.Baud())));
        EXPECT_EQ(busTime > chipTime, product == 0x6001);
        EXPECT_GE(took, std::max(busTime, chipTime)) << product;
        EXPECT_LE(took, std::max(busTime, chipTime) * 105 / 100 + one.rig.Latency()) << product;
    }
}

// New outputs are the chip's at once, not in turn with the stream: bytes
// still in flight are clocked with them. A line let go floats to the
// target's level (MOSI and SCK high), so the samples show which were driven.
TEST(SimFtdiRig, NewOutputsTakeEffectOnArrivalEvenForBytesInFlight)
{
    const FtdiWiring wiring;
    const auto rst = std::uint8_t(1u << wiring.m_nRst);
    const auto freed = std::uint8_t((1u << wiring.m_nMosi) | (1u << wiring.m_nSck));
    for (int product : {0x6001, 0x6014}) {
        for (bool collectedFirst : {true, false}) {
            SCOPED_TRACE(testing::Message() << product << " " << collectedFirst);
            Rig r(product);
            const Bytes low(100, 0);
            Bytes before(low.size()), after(low.size());
            ASSERT_TRUE(r.rig.Submit(low.data(), int(low.size())));
            if (collectedFirst) {
                ASSERT_TRUE(r.rig.Collect(before.data(), int(before.size()), 1000ms));
            }
            const auto sent = r.Now();
            ASSERT_TRUE(r.rig.SetOutputs(rst));
            EXPECT_GE(r.Now() - sent, r.rig.Latency());
            if (!collectedFirst) {
                ASSERT_TRUE(r.rig.Collect(before.data(), int(before.size()), 1000ms));
            }
            ASSERT_TRUE(r.rig.Submit(low.data(), int(low.size())));
            ASSERT_TRUE(r.rig.Collect(after.data(), int(after.size()), 1000ms));
            const auto expected = collectedFirst ? std::uint8_t(0) : freed;
            for (std::size_t i = 0; i < low.size(); ++i) {
                ASSERT_EQ(before[i] & freed, expected) << i;
                ASSERT_EQ(after[i] & freed, freed) << i;
            }
            EXPECT_FALSE(r.rig.Socket().Driven(wiring.m_nMosi));
            EXPECT_TRUE(r.rig.Socket().Driven(wiring.m_nRst));
        }
    }
}

}  // namespace
