#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "programmer/Programmer.h"
#include "programmer/SerialProgrammer.h"
#include "programmer/StatusCode.h"
#include "programmer/StatusQueue.h"
#include "tests/serial/FakeBoard.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TempDir.h"

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Codes = std::vector<int>;

namespace {

// Counts the chunks handled, so a test can wait until an answer is dealt with.
class CObservedBackend : public CSerialProgrammer {
public:
    using CSerialProgrammer::CSerialProgrammer;
    ~CObservedBackend() override { StopMonitor(); }
    void WaitHandled(int count)
    {
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, 10s, [&] { return m_handled >= count; });
    }

protected:
    void OnReceived(const std::uint8_t* data, int count) override
    {
        CSerialProgrammer::OnReceived(data, count);
        std::lock_guard lock(m_mutex);
        ++m_handled;
        m_cv.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_handled = 0;
};

class SerialProgrammerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        programmer.SetCatalogue({{"AT89S51", 0x51, 4, 5.0f, {0x1E, 0x51, 0x06}},
                                 {"AT89S52", 0x52, 8, 5.0f, {0x1E, 0x52, 0x06}},
                                 {"TINY", 0x11, 1, 3.3f, {0x1E, 0x11, 0x01}}});
        // Opened by a stable name, as an adapter's /dev/ttyUSB0: a replug
        // test can take it away.
        std::filesystem::create_symlink(board.SlavePath(), port);
        programmer.m_strPortPath = port;
        auto owned = std::make_unique<CObservedBackend>(programmer);
        backend = owned.get();
        ASSERT_EQ(backend->Connect(&programmer, 1, 115200), 1);
        programmer.SetBackend(0, std::move(owned));
        board.Start();
        programmer.CheckReady(0);
        ASSERT_EQ(Next(2), (Codes{kStatusSerialOpened, kStatusReady}));
        backend->WaitHandled(1);
    }

    // The next n status codes (device-list selections are noted aside); -1
    // for each that did not come (hang guard).
    Codes Next(std::size_t n)
    {
        Codes codes;
        while (codes.size() < n) {
            const auto event = statuses.Wait(10s);
            if (event && event->kind == StatusEvent::Kind::SelectDevice)
                selected.push_back(event->value);
            else
                codes.push_back(event ? event->value : -1);
        }
        return codes;
    }

    // What the board got after the ready check of SetUp: frames cut to
    // their first n bytes, and request bytes.
    std::vector<Bytes> Sent(std::size_t count, std::size_t n = 2)
    {
        auto all = board.Received(count + 1);
        std::vector<Bytes> sent;
        for (auto it = all.begin() + 1; it != all.end(); ++it)
            sent.emplace_back(it->begin(), it->begin() + long(std::min(n, it->size())));
        return sent;
    }

    void Write(const Bytes& image)
    {
        std::copy(image.begin(), image.end(), programmer.Buffer1);
        programmer.WriteDevice(0);
    }

    // The board takes commands again: the transfer left nothing behind.
    void ExpectUsable()
    {
        programmer.EraseDevice(0);
        EXPECT_EQ(Next(1), Codes{kStatusEraseDone});
    }

    CTempDir dir;
    const std::string port = dir.File("ttyUSB0");
    CFakeBoard board;
    CStatusQueue statuses;
    CRecordingMessageSink messages;
    CProgrammer programmer{statuses, messages};
    CObservedBackend* backend = nullptr;
    std::vector<int> selected;
};

TEST_F(SerialProgrammerTest, CommandsSendTheirFramesAndReportTheAnswers)
{
    ExpectUsable();
    programmer.LockDevice(1, 2);
    EXPECT_EQ(Next(1), Codes{kStatusLockDone});
    board.Edit([](auto& s) { s.signature = {0x1E, 0x52, 0x06}; });
    programmer.DetectDevice(0);
    EXPECT_EQ(Next(1), Codes{kStatusDeviceDetected});
    EXPECT_EQ(selected, Codes{1});
    board.Edit([](auto& s) { s.signature = {0x12, 0x34, 0x56}; });
    programmer.DetectDevice(0);
    EXPECT_EQ(Next(1), Codes{kStatusNoDevice});
    // One frame buffer: bytes a command does not set keep the last value.
    EXPECT_EQ(Sent(4, 3),
              (std::vector<Bytes>{{2, 0x51, 0}, {5, 0x52, 2}, {1, 0x51, 2}, {1, 0x51, 2}}));
}

TEST_F(SerialProgrammerTest, OneCommandAtATimeButTheReadyCheckAlwaysGoesOut)
{
    board.Edit([](auto& s) { s.silent = true; });
    programmer.DetectDevice(0);
    programmer.EraseDevice(0);
    EXPECT_EQ(Next(1), Codes{kStatusUnavailable});
    programmer.CheckReady(0);
    EXPECT_EQ(Sent(2, 1), (std::vector<Bytes>{{1}, {0}}));

    // A data reply with no transfer running changes nothing...
    board.Inject(CFakeBoard::Reply(6));
    backend->WaitHandled(2);
    EXPECT_FALSE(backend->IsReady());
    // ...a frame cut short only marks the board ready.
    board.Inject({0, 0, 0});
    backend->WaitHandled(3);
    EXPECT_TRUE(backend->IsReady());
    board.Edit([](auto& s) { s.silent = false; });
    ExpectUsable();
    EXPECT_EQ(statuses.Size(), 0u);
}

TEST_F(SerialProgrammerTest, WriteSendsWholeBlocksUpToTheTrimmedLength)
{
    Bytes image = Bytes{0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48,
                        0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50};
    Write(image);
    EXPECT_EQ(Next(5), (Codes{10, 11, 11, 12, 5}));
    EXPECT_EQ(programmer.m_nPos, 32);
    EXPECT_EQ(Sent(4), (std::vector<Bytes>{{3, 0x51}, {7, 0x51}, {7, 0x51}, {0, 0x51}}));
    image.resize(32, 0xFF);
    EXPECT_EQ(board.Memory(0, 32), image);
    EXPECT_EQ(backend->ReadSize(), 18);
}

TEST_F(SerialProgrammerTest, BlankImageOnlyClosesTheTransfer)
{
    programmer.WriteDevice(0);
    EXPECT_EQ(Next(3), (Codes{10, 12, 5}));
    EXPECT_EQ(Sent(2), (std::vector<Bytes>{{3, 0x51}, {0, 0x51}}));
}

struct AckCase {
    const char* name;
    int ack;  // -1: none
    Codes codes;
    std::vector<Bytes> sent;
};

class SerialWriteFailures : public SerialProgrammerTest,
                            public ::testing::WithParamInterface<AckCase> {};

TEST_P(SerialWriteFailures, EndTheWriteAndLeaveTheBoardUsable)
{
    const AckCase& c = GetParam();
    board.Edit([&](auto& s) { s.ack = c.ack; });
    Write(Bytes(40, 0x12));
    EXPECT_EQ(Next(c.codes.size()), c.codes);
    EXPECT_EQ(Sent(c.sent.size(), 1), c.sent);
    ExpectUsable();
}

INSTANTIATE_TEST_SUITE_P(
    All, SerialWriteFailures,
    ::testing::Values(AckCase{"BoardRefusesBlock", 0xFF, {10, 13, 5}, {{3}, {7}, {0}}},
                      AckCase{"NoAcknowledgement", -1, {10, 7}, {{3}, {7}}},
                      AckCase{"MeaninglessAcknowledgement", 0x42, {10, 7}, {{3}, {7}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialProgrammerTest, ReadRepeatsALostBlockOnceAndStoresItInPlace)
{
    board.Edit([this](auto& s) {
        s.readReply = [this](int block, int attempt) {
            return (block == 1 && attempt == 0) ? Bytes{} : board.DataReply(block);
        };
    });
    programmer.ReadDevice(2);  // 1 KB: 64 blocks
    const Codes codes = Next(66);
    EXPECT_EQ(codes.front(), kStatusReadStart);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kStatusReadProgress), 64);
    EXPECT_EQ(codes.back(), kStatusReadDone);
    const auto sent = Sent(67, 1);
    EXPECT_EQ(std::vector<Bytes>(sent.begin(), sent.begin() + 5),
              (std::vector<Bytes>{{4}, {1}, {1}, {0xFF}, {1}}));
    EXPECT_EQ(sent.back(), Bytes{0});
    EXPECT_EQ(Bytes(programmer.Buffer2, programmer.Buffer2 + 1024), board.Memory(0, 1024));
    EXPECT_EQ(programmer.Buffer2[1024], 0xFF);
}

// The protocol waits 1000 ms for an acknowledgement and 500 ms before it
// asks for a read block again. Timed from before the command, and only from
// below: a slow machine can stretch them, never cut them short.
TEST_F(SerialProgrammerTest, LostAnswersAreAwaitedTheirFullTime)
{
    using Clock = std::chrono::steady_clock;
    constexpr auto kTolerance = 20ms;

    board.Edit([](auto& s) { s.ack = -1; });
    Clock::time_point start = Clock::now();
    Write(Bytes(16, 0x12));
    EXPECT_EQ(Next(2), (Codes{kStatusWriteStart, kStatusReceiveError}));
    EXPECT_GE(Clock::now() - start, 1000ms - kTolerance);

    board.Edit([this](auto& s) {
        s.ack = 1;
        s.readReply = [this](int block, int attempt) {
            return (block == 1 && attempt == 0) ? Bytes{} : board.DataReply(block);
        };
    });
    programmer.CheckReady(0);  // the write left the board waiting for its end frame
    EXPECT_EQ(Next(1), Codes{kStatusReady});
    programmer.m_bKeepLength = 1;
    programmer.m_nLength = 32;
    start = Clock::now();
    programmer.ReadDevice(0);
    EXPECT_EQ(Next(3), (Codes{kStatusReadStart, kStatusReadProgress, kStatusReadProgress}));
    // Block 1 came only in answer to the repeated request.
    EXPECT_GE(Clock::now() - start, 500ms - kTolerance);
    EXPECT_EQ(Next(1), Codes{kStatusReadDone});
}

// Each block's wait is measured from the frame or request that asks for it:
// answers that come late, but inside it, keep the transfer going without a
// repeat, however long the transfer takes in all.
struct SlowCase {
    const char* name;
    bool write;
    int delayMs;  // just inside the wait
    Codes codes;
    std::vector<Bytes> sent;
};

class SerialSlowAnswers : public SerialProgrammerTest,
                          public ::testing::WithParamInterface<SlowCase> {};

TEST_P(SerialSlowAnswers, AreTakenWithinEachBlocksWait)
{
    const SlowCase& c = GetParam();
    board.Edit([&](auto& s) { s.answerDelayMs = c.delayMs; });
    const auto start = std::chrono::steady_clock::now();
    if (c.write) {
        Write(Bytes(32, 0x12));
    } else {
        programmer.m_bKeepLength = 1;
        programmer.m_nLength = 32;
        programmer.ReadDevice(0);
    }
    EXPECT_EQ(Next(c.codes.size()), c.codes);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 2 * std::chrono::milliseconds(c.delayMs));
    EXPECT_EQ(Sent(c.sent.size(), 1), c.sent);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, SerialSlowAnswers,
    ::testing::Values(SlowCase{"Write", true, 800, {10, 11, 11, 12, 5}, {{3}, {7}, {7}, {0}}},
                      SlowCase{"Read", false, 400, {14, 15, 15, 16}, {{4}, {1}, {1}, {0}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialProgrammerTest, TwoSilencesAbandonTheRead)
{
    board.Edit([](auto& s) { s.readReply = [](int, int) { return Bytes{}; }; });
    programmer.ReadDevice(2);
    EXPECT_EQ(Next(2), (Codes{kStatusReadStart, kStatusReceiveError}));
    EXPECT_EQ(Sent(4, 1), (std::vector<Bytes>{{4}, {1}, {0xFF}, {0}}));
    ExpectUsable();
}

TEST_F(SerialProgrammerTest, EmptyReadFinishesAndTheNextCommandIsAccepted)
{
    programmer.m_bKeepLength = 1;
    programmer.m_nLength = 0;
    programmer.ReadDevice(0);
    EXPECT_EQ(Next(2), (Codes{kStatusReadStart, kStatusReadDone}));
    ExpectUsable();
    EXPECT_EQ(Sent(2, 1), (std::vector<Bytes>{{4}, {2}}));  // no request byte
}

TEST_F(SerialProgrammerTest, SecondTransferGoAheadWhileOneRunsIsRefused)
{
    board.Edit([this](auto& s) {
        s.readReply = [this](int block, int attempt) {
            return (block == 0 && attempt == 0) ? CFakeBoard::Reply(3) : board.DataReply(block);
        };
    });
    programmer.m_bKeepLength = 1;
    programmer.m_nLength = 32;
    programmer.ReadDevice(0);
    EXPECT_EQ(Next(5), (Codes{14, kStatusUnavailable, 15, 15, 16}));
    EXPECT_EQ(Bytes(programmer.Buffer2, programmer.Buffer2 + 32), board.Memory(0, 32));
}

// A board that answers a write's end frame late, or never: the write still
// ends with the board ready (5), and a late answer changes nothing.
class SerialEndFrameAnswers : public SerialProgrammerTest,
                              public ::testing::WithParamInterface<int> {};

TEST_P(SerialEndFrameAnswers, TheWriteEndsReadyAndTheNextCommandWorks)
{
    board.Edit([](auto& s) { s.endAnswerDelayMs = GetParam(); });
    Write(Bytes(20, 0x12));
    EXPECT_EQ(Next(5), (Codes{10, 11, 11, 12, kStatusReady}));
    ExpectUsable();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(statuses.Size(), 0u);
}

// Never, and after the host has stopped waiting for it.
INSTANTIATE_TEST_SUITE_P(Late, SerialEndFrameAnswers, ::testing::Values(-1, 1500));

// The line dies while a command waits for its answer; once the board is
// back, the next command opens the port again and is sent.
class SerialLineBack : public SerialProgrammerTest, public ::testing::WithParamInterface<int> {};

TEST_P(SerialLineBack, TheNextCommandWorksOnTheNewLine)
{
    board.Edit([](auto& s) { s.hangUpOn = GetParam(); });
    if (GetParam() == 1)
        programmer.DetectDevice(0);
    else
        programmer.EraseDevice(0);
    for (int i = 0; i < 2000 && !backend->IsLineDown(); ++i)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(backend->IsLineDown());

    CFakeBoard back;
    std::filesystem::remove(port);
    std::filesystem::create_symlink(back.SlavePath(), port);
    back.Start();
    programmer.EraseDevice(0);
    EXPECT_EQ(Next(1), Codes{kStatusEraseDone});
    EXPECT_EQ(messages.Texts().size(), 1u);  // the line that went, once
}

INSTANTIATE_TEST_SUITE_P(WhileWaiting, SerialLineBack, ::testing::Values(1, 2));

TEST_F(SerialProgrammerTest, LineLostMidWriteIsShownOnceAndTimesOut)
{
    board.Edit([](auto& s) { s.hangUpAfter = 2; });
    Write(Bytes(64, 0x33));
    EXPECT_EQ(Next(3), (Codes{10, 11, kStatusReceiveError}));
    const auto wakeups = backend->MonitorWakeups();
    std::filesystem::remove(port);  // the adapter is still out
    programmer.CheckReady(0);  // tries to open it again: no box, a status
    EXPECT_EQ(Next(1), Codes{kStatusSerialFailed});
    std::this_thread::sleep_for(300ms);
    // Once, to end the watch on the dead line; no spinning.
    EXPECT_LE(backend->MonitorWakeups(), wakeups + 1);
    ASSERT_EQ(messages.Texts().size(), 1u);
    EXPECT_NE(messages.Texts()[0].find("Failed with the following error"), std::string::npos);
}

// The error boxes name a port given by its path with that path.
TEST(SerialProgrammerOffline, ErrorsNameAPortGivenByItsPath)
{
    CStatusQueue statuses;
    CRecordingMessageSink messages;
    CProgrammer programmer(statuses, messages);
    CFakeBoard line;
    programmer.m_strPortPath = line.SlavePath();
    CSerialProgrammer backend(programmer);
    ASSERT_EQ(backend.Connect(&programmer, 1, 115200), 1);
    line.HangUp();  // the line fails under the open port
    for (int i = 0; i < 2000 && messages.Texts().empty(); ++i)
        std::this_thread::sleep_for(5ms);
    ASSERT_FALSE(messages.Texts().empty());
    const std::string text = messages.Texts()[0];
    EXPECT_EQ(text.substr(text.rfind("\nPort: ")), "\nPort: " + line.SlavePath() + "\n") << text;
}

TEST(SerialProgrammerOffline, EveryCommandReportsThePortNotOpen)
{
    CStatusQueue statuses;
    CRecordingMessageSink messages;
    CProgrammer programmer(statuses, messages);
    programmer.SetCatalogue({{"AT89S51", 0x51, 4, 5.0f, {0x1E, 0x51, 0x06}}});
    programmer.m_strPortPath = "/nonexistent/ttyUSB9";
    auto backend = std::make_unique<CSerialProgrammer>(programmer);
    EXPECT_EQ(backend->Connect(&programmer, 1, 115200), 0);
    programmer.SetBackend(0, std::move(backend));
    programmer.CheckReady(0);
    programmer.WriteDevice(0);
    Codes codes;
    while (auto event = statuses.TryPop())
        codes.push_back(event->value);
    EXPECT_EQ(codes, (Codes{kStatusSerialFailed, kStatusSerialNotOpen, kStatusSerialNotOpen}));
    EXPECT_TRUE(messages.Texts().empty());
}

// The first ready check tells a line that echoes from a board, even one
// that answers in the buffer the frame came in: only the echo fails, as a
// port that does not open.
struct EchoCase {
    const char* name;
    bool echo;
    Codes codes;
};

class SerialEchoCheck : public ::testing::TestWithParam<EchoCase> {};

TEST_P(SerialEchoCheck, OnlyAnEchoIsRefused)
{
    const EchoCase& c = GetParam();
    CStatusQueue statuses;
    CRecordingMessageSink messages;
    CProgrammer programmer(statuses, messages);
    programmer.SetCatalogue({{"AT89S52", 0x52, 8, 5.0f, {0x1E, 0x52, 0x06}}});
    CFakeBoard line;
    line.Edit([&](auto& s) {
        s.echo = c.echo;
        s.answerInFrame = true;
    });
    programmer.m_strPortPath = line.SlavePath();
    auto owned = std::make_unique<CSerialProgrammer>(programmer);
    CSerialProgrammer* backend = owned.get();
    ASSERT_EQ(backend->Connect(&programmer, 1, 115200), 1);
    programmer.SetBackend(0, std::move(owned));
    line.Start();
    programmer.CheckReady(0);
    programmer.DetectDevice(0);  // refused while the check is out
    Codes codes;
    while (codes.size() < c.codes.size()) {
        const auto event = statuses.Wait(10s);
        codes.push_back(event ? event->value : -1);
    }
    EXPECT_EQ(codes, c.codes);
    EXPECT_EQ(backend->IsConnected(), !c.echo);
    EXPECT_EQ(backend->LastOpenErrno(), c.echo ? kErrorEchoLine : 0);
    // The check, then the detect that tells them apart.
    const auto sent = line.Received(2);
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(Bytes(sent[1].begin(), sent[1].begin() + 5), (Bytes{1, 0x52, 0xA5, 0x5A, 0xC3}));
    EXPECT_TRUE(messages.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SerialEchoCheck,
    ::testing::Values(EchoCase{"Echo", true, {2, kStatusUnavailable, kStatusSerialFailed}},
                      EchoCase{"BoardAnsweringInItsBuffer", false,
                               {2, kStatusUnavailable, kStatusReady}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
