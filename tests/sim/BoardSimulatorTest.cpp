#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sys/ioctl.h>
#include <thread>

#include "sim/BoardSimulator.h"
#include "tests/support/RawSerialLine.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;
using Bytes = CRawSerialLine::Bytes;

constexpr std::uint8_t kDeviceCode = 0x07;
// Long enough to be sure nothing is coming; only ever waited for in tests
// that expect silence.
constexpr auto kSilence = 300ms;

// The bytes a command does not set hold leftovers on a real host; fill them
// with a pattern the board must ignore.
Bytes Command(std::uint8_t command, std::uint8_t byte2 = 0xA5)
{
    Bytes frame(18, 0xA5);
    frame[0] = command;
    frame[1] = kDeviceCode;
    frame[2] = byte2;
    return frame;
}

Bytes DataFrame(std::uint8_t first)
{
    Bytes frame = Command(7);
    for (int i = 0; i < 16; ++i)
        frame[2 + i] = static_cast<std::uint8_t>(first + i);
    return frame;
}

bool WaitFor(const std::function<bool()>& condition)
{
    const auto guard = std::chrono::steady_clock::now() + 10s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > guard)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class BoardSimulatorTest : public ::testing::Test {
protected:
    void StartBoard(CBoardSimulator::Options options = {})
    {
        m_board = std::make_unique<CBoardSimulator>(options);
        ASSERT_TRUE(m_board->Start()) << m_board->LastError();
        ASSERT_FALSE(m_board->DevicePath().empty());
        ASSERT_TRUE(m_line.Open(m_board->DevicePath()));
    }

    Bytes Ask(const Bytes& frame, std::size_t replySize = 18)
    {
        EXPECT_TRUE(m_line.Write(frame));
        return m_line.Read(replySize);
    }

    // The reply kind of a command, or -1 when no whole reply came.
    int KindOf(const Bytes& frame)
    {
        Bytes reply = Ask(frame);
        return reply.size() == 18 ? reply[0] : -1;
    }

    void OpenWrite() { ASSERT_EQ(KindOf(Command(3)), 3); }
    void OpenRead() { ASSERT_EQ(KindOf(Command(4)), 4); }

    std::unique_ptr<CBoardSimulator> m_board;
    CRawSerialLine m_line;
};

TEST_F(BoardSimulatorTest, CommandsAnswerWithTheirReplyKinds)
{
    StartBoard();
    m_board->Chip().SetContents(0x20, Bytes {0x00});
    struct Case {
        std::uint8_t command;
        std::uint8_t byte2;
        int kind;
    };
    const Case cases[] = {
        {0, 0xA5, 0}, {2, 0xA5, 2}, {5, 1, 5},
        {5, 0, 0xEE}, {5, 4, 0xEE}, // lock levels the chip cannot take
        {6, 0xA5, 0xEE}, {8, 0xA5, 0xEE}, {0xFF, 0xA5, 0xEE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "command " << int(c.command) << " byte2 " << int(c.byte2));
        Bytes reply = Ask(Command(c.command, c.byte2));
        ASSERT_EQ(reply.size(), 18u);
        EXPECT_EQ(reply[0], c.kind);
        EXPECT_EQ(Bytes(reply.begin() + 1, reply.end()), Bytes(17, 0)) << "unused bytes are 0";
    }
    EXPECT_EQ(m_board->Chip().PeekByte(0x20), 0xFF) << "erased";
    EXPECT_EQ(m_board->Chip().LockLevel(), 1);
    EXPECT_EQ(m_board->FramesReceived(), static_cast<int>(std::size(cases)));

    for (bool at89s51 : {false, true}) {
        StartBoard({.at89s51 = at89s51});
        Bytes reply = Ask(Command(1));
        ASSERT_EQ(reply.size(), 18u);
        EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 5),
                  (Bytes {1, 0, 0x1E, static_cast<std::uint8_t>(at89s51 ? 0x51 : 0x52), 0x06}));
    }
}

TEST_F(BoardSimulatorTest, FrameArrivingInPiecesIsAssembled)
{
    StartBoard();
    Bytes frame = Command(1);
    ASSERT_TRUE(m_line.Write(Bytes(frame.begin(), frame.begin() + 1)));
    std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(m_line.Write(Bytes(frame.begin() + 1, frame.begin() + 6)));
    std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(m_line.Write(Bytes(frame.begin() + 6, frame.end())));
    Bytes reply = m_line.Read(18);
    ASSERT_EQ(reply.size(), 18u);
    EXPECT_EQ(reply[0], 1);
}

TEST_F(BoardSimulatorTest, WriteModeProgramsEachBlockAtItsPosition)
{
    StartBoard();
    OpenWrite();
    for (int block = 0; block < 3; ++block)
        EXPECT_EQ(Ask(DataFrame(static_cast<std::uint8_t>(0x10 * block)), 1), Bytes {1});
    EXPECT_EQ(KindOf(Command(0)), 0) << "the end frame";

    auto memory = m_board->Chip().Contents();
    for (int i = 0; i < 48; ++i)
        EXPECT_EQ(memory[i], (0x10 * (i / 16) + i % 16) & 0xFF) << "address " << i;
    EXPECT_EQ(memory[48], 0xFF);
    EXPECT_EQ(m_board->BlocksWritten(), 3);
    EXPECT_EQ(m_board->AcksSent(), 3);

    // Write mode is over: data is refused, and a new write starts at 0 again.
    EXPECT_EQ(Ask(DataFrame(0x00), 1), Bytes {0xFF});
    EXPECT_EQ(KindOf(Command(2)), 2);
    OpenWrite();
    EXPECT_EQ(Ask(DataFrame(0x40), 1), Bytes {1});
    EXPECT_EQ(m_board->Chip().PeekByte(0), 0x40);
    EXPECT_EQ(KindOf(Command(1)), 1) << "any command ends a write";
    EXPECT_EQ(Ask(DataFrame(0x00), 1), Bytes {0xFF});
}

TEST_F(BoardSimulatorTest, WriteFailuresAreAnswered0xFF)
{
    {
        SCOPED_TRACE("locked chip");
        StartBoard();
        m_board->Chip().Lock(1);
        OpenWrite();
        EXPECT_EQ(Ask(DataFrame(0x00), 1), Bytes {0xFF});
    }
    {
        SCOPED_TRACE("cell not erased");
        StartBoard();
        m_board->Chip().SetContents(3, Bytes {0x00});
        OpenWrite();
        EXPECT_EQ(Ask(DataFrame(0x00), 1), Bytes {0xFF}) << "byte 3 cannot become 0x03 again";
        EXPECT_EQ(m_board->BlocksWritten(), 0);
    }
    {
        SCOPED_TRACE("beyond the chip");
        StartBoard({.at89s51 = true});
        OpenWrite();
        for (int block = 0; block < 256; ++block)
            ASSERT_EQ(Ask(DataFrame(0x00), 1), Bytes {1}) << "block " << block;
        EXPECT_EQ(Ask(DataFrame(0x00), 1), Bytes {0xFF}) << "block 256 starts at 4 KB";
    }
}

TEST_F(BoardSimulatorTest, ReadModeAnswersRequestsUntilTheStopByte)
{
    StartBoard({.at89s51 = true});
    Bytes image(4096);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    m_board->Chip().SetContents(0, image);

    OpenRead();
    auto block = [&](int n) {
        Bytes expected(18, 0);
        expected[0] = 6;
        for (int i = 0; i < 16; ++i)
            expected[2 + i] = n < 256 ? image[n * 16 + i] : 0xFF;
        return expected;
    };
    EXPECT_EQ(Ask(Bytes {1}), block(0));
    EXPECT_EQ(Ask(Bytes {1}), block(1));
    EXPECT_EQ(Ask(Bytes {0xFF}), block(1)) << "a repeat does not advance";
    for (int n = 2; n < 256; ++n)
        ASSERT_EQ(Ask(Bytes {1}), block(n)) << "block " << n;
    EXPECT_EQ(Ask(Bytes {1}), block(256)) << "beyond the chip reads erased";

    // The stop byte gets no answer and the next frame is understood whole.
    ASSERT_TRUE(m_line.WriteByte(0));
    EXPECT_EQ(KindOf(Command(1)), 1);
    EXPECT_EQ(m_board->StopBytesSeen(), 1);
    EXPECT_EQ(m_board->BlocksRead(), 258);

    m_board->Chip().Lock(2);
    OpenRead();
    Bytes locked = Ask(Bytes {1});
    ASSERT_EQ(locked.size(), 18u);
    for (int i = 0; i < 16; ++i)
        EXPECT_NE(locked[2 + i], image[i]) << "verify is disabled";
}

TEST_F(BoardSimulatorTest, StrayBytesDoNotDesynchroniseFraming)
{
    StartBoard();
    {
        SCOPED_TRACE("a lone 0 in command mode");
        ASSERT_TRUE(m_line.WriteByte(0));
        std::this_thread::sleep_for(CBoardProtocol::kFrameGap + 200ms);
        EXPECT_EQ(KindOf(Command(1)), 1);
    }
    {
        SCOPED_TRACE("a read the host never ends, then a ready check");
        OpenRead();
        EXPECT_EQ(KindOf(Command(0)), 0);
        EXPECT_EQ(KindOf(Command(1)), 1);
    }
    {
        SCOPED_TRACE("a read the host never ends, then another command");
        OpenRead();
        EXPECT_EQ(KindOf(Command(3)), 3);
        EXPECT_EQ(KindOf(Command(0)), 0);
    }
}

TEST_F(BoardSimulatorTest, SurvivesTheHostClosingAndReopeningTheLine)
{
    StartBoard();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(m_line.Open(m_board->DevicePath()));
        EXPECT_EQ(KindOf(Command(0)), 0);
        OpenRead();
        EXPECT_EQ(Ask(Bytes {1}).size(), 18u);
        m_line.Close(); // abandoned mid-read
    }
    EXPECT_TRUE(m_board->IsServing());

    // A host that took the port exclusively can open it again after closing
    // it (root may open it anyway, so the mode itself is checked).
    ASSERT_TRUE(m_line.Open(m_board->DevicePath()));
    ASSERT_EQ(::ioctl(m_line.Fd(), TIOCEXCL), 0);
    m_line.Close();
    EXPECT_TRUE(WaitFor([&] {
        CRawSerialLine probe;
        int exclusive = 1;
        return probe.Open(m_board->DevicePath()) && ::ioctl(probe.Fd(), TIOCGEXCL, &exclusive) == 0
            && exclusive == 0;
    }));
}

TEST_F(BoardSimulatorTest, ReplyFaultsSilenceGarbleOrDelayAnswers)
{
    StartBoard();
    m_board->SetFaults({.neverAnswer = true});
    ASSERT_TRUE(m_line.Write(Command(0)));
    ASSERT_TRUE(WaitFor([&] { return m_board->FramesReceived() == 1; }));
    EXPECT_TRUE(m_line.Drain(kSilence).empty()) << "taken in, never answered";

    m_board->SetFaults({.garbage = true});
    for (std::uint8_t command : {0, 1, 3}) {
        Bytes reply = Ask(Command(command));
        ASSERT_EQ(reply.size(), 18u) << "same length";
        EXPECT_GT(reply[0], 6) << "no kind the host knows, command " << int(command);
    }
    for (int block = 0; block < 20; ++block) { // command 3 opened write mode all the same
        Bytes ack = Ask(DataFrame(0x00), 1);
        ASSERT_EQ(ack.size(), 1u);
        EXPECT_TRUE(ack[0] != 1 && ack[0] != 0xFF) << int(ack[0]);
    }

    m_board->SetFaults({.replyDelayMs = 200});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KindOf(Command(0)), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
}

TEST_F(BoardSimulatorTest, WriteFaultsHitTheirBlockOnly)
{
    StartBoard();
    m_board->SetFaults({.dropAckOfBlock = 1, .failBlock = 2});
    OpenWrite();
    EXPECT_EQ(Ask(DataFrame(0x00), 1), Bytes {1});
    ASSERT_TRUE(m_line.Write(DataFrame(0x10)));
    EXPECT_TRUE(m_line.Read(1, kSilence).empty()) << "block 1: no acknowledgement";
    EXPECT_EQ(Ask(DataFrame(0x20), 1), Bytes {0xFF}) << "block 2 fails";
    EXPECT_EQ(Ask(DataFrame(0x30), 1), Bytes {1});
    EXPECT_EQ(KindOf(Command(0)), 0);

    const CSimChip& chip = m_board->Chip();
    EXPECT_EQ(chip.PeekByte(16), 0x10) << "a dropped acknowledgement still programs";
    EXPECT_EQ(chip.PeekByte(32), 0xFF) << "a failed block is not programmed";
    EXPECT_EQ(chip.PeekByte(48), 0x30);
    EXPECT_EQ(m_board->AcksSent(), 3);
}

TEST_F(BoardSimulatorTest, LostReadBlockComesOnTheRepeatRequest)
{
    StartBoard();
    m_board->Chip().SetContents(16, Bytes {0x77});
    m_board->SetFaults({.loseReadBlock = 1});
    for (int transfer = 0; transfer < 2; ++transfer) {
        SCOPED_TRACE(transfer);
        OpenRead();
        EXPECT_EQ(Ask(Bytes {1}).size(), 18u);
        ASSERT_TRUE(m_line.WriteByte(1));
        EXPECT_TRUE(m_line.Read(18, kSilence).empty());
        Bytes repeat = Ask(Bytes {0xFF});
        ASSERT_EQ(repeat.size(), 18u);
        EXPECT_EQ(repeat[0], 6);
        EXPECT_EQ(repeat[2], 0x77) << "the lost block, not the next";
        Bytes next = Ask(Bytes {1});
        ASSERT_EQ(next.size(), 18u);
        EXPECT_EQ(next[2], 0xFF) << "block 2 follows";
        ASSERT_TRUE(m_line.WriteByte(0));
    }
}

TEST_F(BoardSimulatorTest, CloseAfterBlockHangsUpTheLine)
{
    for (bool write : {true, false}) {
        SCOPED_TRACE(write ? "write" : "read");
        StartBoard();
        m_board->SetFaults({.closeAfterBlock = 1});
        if (write) {
            OpenWrite();
            EXPECT_EQ(Ask(DataFrame(0x00), 1), Bytes {1});
            EXPECT_EQ(Ask(DataFrame(0x10), 1), Bytes {1});
        } else {
            OpenRead();
            EXPECT_EQ(Ask(Bytes {1}).size(), 18u);
            EXPECT_EQ(Ask(Bytes {1}).size(), 18u);
        }
        EXPECT_TRUE(m_line.WaitForHangUp());
        EXPECT_TRUE(WaitFor([&] { return !m_board->IsServing(); }));
    }
}

TEST_F(BoardSimulatorTest, PacedLineTakesAtLeastTheByteTimes)
{
    StartBoard({.baud = 57600, .paced = true});
    const auto byteTime = std::chrono::nanoseconds(10'000'000'000LL / 57600);

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KindOf(Command(0)), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 36 * byteTime) << "18 bytes in, 18 out";

    OpenWrite();
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(Ask(DataFrame(0x00), 1), Bytes {1});
    EXPECT_GE(std::chrono::steady_clock::now() - start, 19 * byteTime) << "18 bytes in, 1 out";
}

TEST_F(BoardSimulatorTest, StopEndsEvenAVeryLateReply)
{
    StartBoard();
    m_board->SetFaults({.replyDelayMs = 600'000});
    ASSERT_TRUE(m_line.Write(Command(0)));
    ASSERT_TRUE(WaitFor([&] { return m_board->FramesReceived() == 1; }));
    m_board->Stop();
    EXPECT_FALSE(m_board->IsServing());
    m_board->Stop();
}

} // namespace

// The socket file decides whether a chip is in: an empty socket reads as
// nothing there, and a chip put back in is a new, blank one.
TEST(BoardSimulatorSocket, ChipIsInOnlyWhileTheFileExists)
{
    CTempDir folder;
    const std::string socket = folder.File("socket");
    CBoardSimulator board({.socketPath = socket});
    ASSERT_TRUE(board.Start()) << board.LastError();
    CRawSerialLine line;
    ASSERT_TRUE(line.Open(board.DevicePath()));
    auto ask = [&](const Bytes& frame, std::size_t size = 18) {
        EXPECT_TRUE(line.Write(frame));
        return line.Read(size);
    };
    auto signature = [&] {
        const Bytes reply = ask(Command(1));
        return reply.size() == 18 ? Bytes(reply.begin() + 2, reply.begin() + 5) : Bytes {};
    };

    EXPECT_EQ(signature(), (Bytes {0xFF, 0xFF, 0xFF})) << "no file: empty socket";
    EXPECT_EQ(ask(Command(3))[0], 3);
    EXPECT_EQ(ask(DataFrame(0x00), 1), Bytes {0xFF}) << "nothing to program";
    EXPECT_EQ(ask(Command(5, 1))[0], 0xEE) << "no lock bits to write";

    board.Chip().SetContents(0, Bytes {0x12});
    std::ofstream(socket).put('\n');
    EXPECT_EQ(signature(), (Bytes {0x1E, 0x52, 0x06})) << "a chip went in";
    EXPECT_EQ(board.Chip().PeekByte(0), 0xFF) << "a new chip is blank";
    EXPECT_EQ(ask(Command(3))[0], 3);
    EXPECT_EQ(ask(DataFrame(0x40), 1), Bytes {1});
    EXPECT_EQ(ask(Command(0))[0], 0);
    EXPECT_EQ(signature(), (Bytes {0x1E, 0x52, 0x06}));
    EXPECT_EQ(board.Chip().PeekByte(0), 0x40) << "the same chip stays programmed";

    std::filesystem::remove(socket);
    EXPECT_EQ(signature(), (Bytes {0xFF, 0xFF, 0xFF})) << "taken out";
}
