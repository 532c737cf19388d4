// The serial backend's reply dispatcher fed arbitrary chunks, as the port's
// monitor thread would hand them over, with the transfers it starts running
// on that same thread and their deadlines kept as that thread keeps them.
// The port is never opened: every frame a transfer sends fails and is shown,
// which must not disturb the transfer.
//
// What must hold: each known reply posts exactly its code, the board is
// marked ready whenever the reply says so, no two transfers ever overlap,
// the transfer counters stay inside the buffers, every transfer ends with
// exactly one final status, Buffer1 is never written and Buffer2 only where
// the read may reach.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "fuzz/CountingMessageSink.h"
#include "fuzz/FuzzCheck.h"
#include "programmer/Programmer.h"
#include "programmer/SerialProgrammer.h"
#include "programmer/StatusCode.h"
#include "programmer/StatusSink.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBufferSize = CProgrammer::kBufferSize;
constexpr std::uint8_t kBuffer2Guard = 0xA5;
// Hang guard only: a transfer fed an answer for every block ends long before.
constexpr auto kTransferGuard = std::chrono::seconds(20);

// Reaches the dispatcher the way the port's monitor thread does.
class CReplyDriver : public CSerialProgrammer {
public:
    using CSerialProgrammer::CSerialProgrammer;
    void Feed(const std::uint8_t* data, int count) { OnReceived(data, count); }
    // The monitor thread's wake-up at a deadline, waited for only when it is
    // near (the pause before a write's first block); the long waits for
    // answers are left to the answers fed.
    void AwaitNearDeadline(std::chrono::milliseconds within)
    {
        const std::optional<Clock::time_point> due = NextDeadline();
        if (!due || *due - Clock::now() > within)
            return;
        std::this_thread::sleep_until(*due);
        OnDeadline();
    }
};

int RoundUp16(int n)
{
    return (n + 15) / 16 * 16;
}

// Checks every status as it is posted, on whichever thread posts it.
class CCheckingSink : public IStatusSink {
public:
    enum class Transfer { None, Write, Read };

    void Attach(CProgrammer* programmer) { m_pProgrammer = programmer; }

    void PostStatus(int code) override
    {
        std::lock_guard lock(m_mutex);
        const int pos = m_pProgrammer->m_nPos;
        const int length = m_pProgrammer->m_nLength;
        FUZZ_CHECK(pos >= 0 && pos <= kBufferSize, "m_nPos outside the buffers");
        FUZZ_CHECK(length >= 0 && length <= kBufferSize, "m_nLength outside the buffers");
        FUZZ_CHECK(code >= 0 && code <= 20, "a status code that does not exist");
        if (std::this_thread::get_id() == m_feeder)
            m_fromFeeder.push_back(code);

        switch (code) {
        case kStatusWriteStart:
        case kStatusReadStart:
            FUZZ_CHECK(m_active == Transfer::None, "a transfer started while another ran");
            m_active = code == kStatusWriteStart ? Transfer::Write : Transfer::Read;
            ++m_nStarted;
            break;
        case kStatusWriteProgress:
            FUZZ_CHECK(m_active == Transfer::Write, "write progress outside a write");
            FUZZ_CHECK(pos % 16 == 0 && pos > 0 && pos <= RoundUp16(length),
                       "write progress beyond the image");
            break;
        case kStatusReadProgress:
            FUZZ_CHECK(m_active == Transfer::Read, "read progress outside a read");
            FUZZ_CHECK(pos % 16 == 0 && pos > 0 && pos <= RoundUp16(length),
                       "read progress beyond the read length");
            break;
        case kStatusWriteDone:
        case kStatusWriteError:
            FUZZ_CHECK(m_active == Transfer::Write, "a write ended that never started");
            End();
            break;
        case kStatusReadDone:
            FUZZ_CHECK(m_active == Transfer::Read, "a read ended that never started");
            End();
            break;
        case kStatusReceiveError:
            FUZZ_CHECK(m_active != Transfer::None, "a receive error outside a transfer");
            End();
            break;
        default:
            break;
        }
    }

    void SelectDeviceEntry(int index) override
    {
        FUZZ_CHECK(index == 0, "selected a device the catalogue does not hold");
    }

    // Codes posted on the calling thread from now on are kept apart.
    void MarkFeeder()
    {
        std::lock_guard lock(m_mutex);
        m_feeder = std::this_thread::get_id();
        m_fromFeeder.clear();
    }
    std::vector<int> TakeFeederCodes()
    {
        std::lock_guard lock(m_mutex);
        std::vector<int> codes;
        codes.swap(m_fromFeeder);
        return codes;
    }
    Transfer Active() const
    {
        std::lock_guard lock(m_mutex);
        return m_active;
    }
    int Started() const
    {
        std::lock_guard lock(m_mutex);
        return m_nStarted;
    }
    int Ended() const
    {
        std::lock_guard lock(m_mutex);
        return m_nEnded;
    }

private:
    void End()
    {
        m_active = Transfer::None;
        ++m_nEnded;
    }

    mutable std::mutex m_mutex;
    CProgrammer* m_pProgrammer = nullptr;
    std::thread::id m_feeder;
    std::vector<int> m_fromFeeder;
    Transfer m_active = Transfer::None;
    int m_nStarted = 0;
    int m_nEnded = 0;
};

// The code a complete reply must post, or -1 for replies that start or
// feed a transfer, or post nothing.
int CodeOfReply(std::uint8_t kind)
{
    switch (kind) {
    case 0: return kStatusReady;
    case 2: return kStatusEraseDone;
    case 5: return kStatusLockDone;
    default: return -1;
    }
}

using Codes = std::vector<int>;

bool OneOf(const Codes& posted, std::initializer_list<Codes> allowed)
{
    return std::find(allowed.begin(), allowed.end(), posted) != allowed.end();
}

constexpr std::array<std::int32_t, 9> kRomSizes{0, 1, 4, 8, 64, 128, 129, 4096, -1};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);

    const std::size_t romChoice = input.ConsumeIntegralInRange<std::size_t>(0, kRomSizes.size());
    const std::int32_t romSizeKB =
        romChoice < kRomSizes.size() ? kRomSizes[romChoice] : input.ConsumeIntegral<std::int32_t>();
    const int imageLength = input.ConsumeBool() ? input.ConsumeIntegralInRange<int>(0, 80)
                                                : input.ConsumeIntegralInRange<int>(0, kBufferSize);
    const bool keepLength = input.ConsumeBool();

    CCheckingSink sink;
    CCountingMessageSink messages;
    CProgrammer programmer(sink, messages);
    sink.Attach(&programmer);
    programmer.SetCatalogue({{"FUZZ", 0x52, romSizeKB, 5.0f, {0x1E, 0x52, 0x06}}});
    programmer.m_bKeepLength = keepLength ? 1 : 0;
    for (int i = 0; i < imageLength; ++i)
        programmer.Buffer1[i] = std::uint8_t(i * 7 + 1) == 0xFF ? 0x00 : std::uint8_t(i * 7 + 1);
    std::memset(programmer.Buffer2, kBuffer2Guard, kBufferSize);
    const std::vector<std::uint8_t> image(programmer.Buffer1, programmer.Buffer1 + kBufferSize);
    const int romBytes = programmer.CurrentRomBytes();

    auto backend = std::make_unique<CReplyDriver>(programmer);
    sink.MarkFeeder();

    while (input.remaining_bytes() > 0) {
        const std::uint8_t header = input.ConsumeIntegral<std::uint8_t>();
        const int count = header % 18 + 1;
        std::vector<std::uint8_t> chunk = input.ConsumeBytes<std::uint8_t>(std::size_t(count));
        chunk.resize(std::size_t(count), 0);
        const bool await = (header & 0x80) != 0;

        const bool busyBefore = backend->IsBusy();
        const CCheckingSink::Transfer active = sink.Active();
        sink.TakeFeederCodes();
        backend->Feed(chunk.data(), count);
        const Codes posted = sink.TakeFeederCodes();

        if (count == 18) {
            const std::uint8_t kind = chunk[0];
            const int code = CodeOfReply(kind);
            if (code >= 0)
                FUZZ_CHECK(posted == Codes{code}, "a reply did not post its code");
            else if (kind == 1)
                FUZZ_CHECK(OneOf(posted, {{kStatusDeviceDetected}, {kStatusNoDevice}}),
                           "a signature reply did not report the match");
            else if (kind == 3 || kind == 4)
                FUZZ_CHECK(OneOf(posted, {{kStatusUnavailable},
                                          {kStatusWriteStart},
                                          {kStatusWriteStart, kStatusWriteDone},
                                          {kStatusReadStart},
                                          {kStatusReadStart, kStatusReadDone}}),
                           "a transfer go-ahead posted something else than a start or a refusal");
            else if (kind == 6 && active == CCheckingSink::Transfer::Read)
                FUZZ_CHECK(OneOf(posted, {{}, {kStatusReadProgress},
                                          {kStatusReadProgress, kStatusReadDone}}),
                           "a data reply posted something else than read progress");
            else
                FUZZ_CHECK(posted.empty(), "a reply that carries nothing posted a status");
            if (kind != 3 && kind != 4 && kind != 6)
                FUZZ_CHECK(backend->IsReady(), "an answer did not mark the board ready");
        } else if (count == 1 && busyBefore) {
            FUZZ_CHECK(OneOf(posted, {{}, {kStatusWriteProgress},
                                      {kStatusWriteProgress, kStatusWriteDone},
                                      {kStatusWriteError}, {kStatusReceiveError}}),
                       "an acknowledgement posted something else than the write's own codes");
        } else {
            FUZZ_CHECK(posted.empty(), "a short chunk posted a status");
            FUZZ_CHECK(backend->IsReady(), "a cut-short frame did not mark the board ready");
        }
        if (await)
            backend->AwaitNearDeadline(std::chrono::milliseconds(10));
    }

    // Bring a running transfer to its end: a write is refused by the board,
    // a read gets the blocks it asks for. Either way it must report.
    const auto guard = Clock::now() + kTransferGuard;
    while (sink.Active() != CCheckingSink::Transfer::None || backend->IsBusy()) {
        FUZZ_CHECK(Clock::now() < guard, "a transfer never ended");
        FUZZ_CHECK(sink.Active() != CCheckingSink::Transfer::None,
                   "a transfer runs that never reported its start");
        backend->AwaitNearDeadline(std::chrono::milliseconds(10));
        if (sink.Active() == CCheckingSink::Transfer::Write) {
            const std::uint8_t refused = 0xFF;
            backend->Feed(&refused, 1);
        } else if (sink.Active() == CCheckingSink::Transfer::Read) {
            std::array<std::uint8_t, 18> block{};
            block[0] = 6;
            backend->Feed(block.data(), int(block.size()));
        }
    }
    backend.reset();

    FUZZ_CHECK(sink.Active() == CCheckingSink::Transfer::None, "a transfer was left running");
    FUZZ_CHECK(sink.Started() == sink.Ended(), "a transfer ended without its final status");
    FUZZ_CHECK(std::equal(image.begin(), image.end(), programmer.Buffer1),
               "Buffer1 was written");
    for (int a = RoundUp16(romBytes); a < kBufferSize; ++a)
        FUZZ_CHECK(programmer.Buffer2[a] == kBuffer2Guard, "Buffer2 written beyond the read");
    return 0;
}
