#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/AppGlobals.h"
#include "programmer/SerialPort.h"
#include "tests/serial/FakeBoard.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TempDir.h"

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Keeps every chunk the channel hands over.
class CRecordingPort : public CSerialPort {
public:
    using CSerialPort::CSerialPort;
    ~CRecordingPort() override { StopMonitor(); }

    std::vector<Bytes> Chunks(std::size_t count)  // waits (hang guard)
    {
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, 10s, [&] { return m_chunks.size() >= count; });
        return m_chunks;
    }

protected:
    void OnReceived(const std::uint8_t* data, int count) override
    {
        std::lock_guard lock(m_mutex);
        m_chunks.emplace_back(data, data + count);
        m_cv.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Bytes> m_chunks;
};

Bytes Sequence(std::size_t n, std::uint8_t first = 0)
{
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = std::uint8_t(first + i);
    return bytes;
}

template <typename Pred>
bool WaitUntil(Pred pred)  // hang guard: gives up after 10 s
{
    for (int i = 0; i < 2000 && !pred(); ++i)
        std::this_thread::sleep_for(5ms);
    return pred();
}

}  // namespace

TEST(SerialPortOpen, MissingOrBusyPortFailsSilentlyWithTheReason)
{
    CRecordingMessageSink messages;
    CRecordingPort port(messages), owner(messages);
    EXPECT_EQ(port.Open(1, "/nonexistent/ttyS9", 115200), 0);
    EXPECT_EQ(port.LastOpenErrno(), ENOENT);

    CFakeBoard line;
    ASSERT_EQ(owner.Open(2, line.SlavePath(), 115200), 1);
    EXPECT_EQ(port.Open(2, line.SlavePath(), 115200), 0);
    EXPECT_EQ(port.LastOpenErrno(), EBUSY);
    EXPECT_FALSE(port.IsPortOpen());
    EXPECT_TRUE(messages.Texts().empty());
}

// A /dev/ttyS node with no UART behind it (type 0) takes every byte and
// answers none: it is refused at once. Drivers that do not tell (-1: USB
// adapters, pseudo-terminals) are trusted.
TEST(SerialPortOpen, PortWithoutUartIsRefused)
{
    CFakeBoard line;
    const int fd = ::open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    EXPECT_EQ(CSerialPort::ProbeUart(fd), -1);
    ::close(fd);
    // USB adapters (ttyUSB 188, ttyACM 166) answer TIOCGSERIAL with type 0
    // too: only the 8250's ttyS ports are judged by it.
    EXPECT_TRUE(CSerialPort::TellsUartType(makedev(4, 64)));   // /dev/ttyS0
    EXPECT_FALSE(CSerialPort::TellsUartType(makedev(4, 1)));   // /dev/tty1
    EXPECT_FALSE(CSerialPort::TellsUartType(makedev(188, 0)));  // /dev/ttyUSB0
    EXPECT_FALSE(CSerialPort::TellsUartType(makedev(166, 0)));  // /dev/ttyACM0
    for (const int uartType : {0, -1, 4}) {  // 4: a 16550A
        CRecordingMessageSink messages;
        CRecordingPort port(messages);
        port.SetUartProbe([uartType](int) { return uartType; });
        EXPECT_EQ(port.Open(1, line.SlavePath(), 115200), uartType != 0) << uartType;
        EXPECT_EQ(port.LastOpenErrno(), uartType == 0 ? kErrorNoUart : 0);
        EXPECT_EQ(port.LastOpenPath(), line.SlavePath());
        EXPECT_TRUE(messages.Texts().empty());
    }
}

TEST(SerialPortOpen, RejectedSettingsShowTheFailingStepAndStillOpen)
{
    CRecordingMessageSink messages;
    CRecordingPort oddBaud(messages);
    CFakeBoard line;
    EXPECT_EQ(oddBaud.Open(4, line.SlavePath(), 12345), 1);
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0].text,
              "WARNING:  BuildCommDCB() Failed with the following error: \n"
              "Invalid argument\nPort: 4\n");
    EXPECT_EQ(messages.Messages()[0].caption, "Application Error");
    EXPECT_EQ(messages.Messages()[0].icon, MessageIcon::Stop);
    EXPECT_TRUE(oddBaud.IsPortOpen());
}

// A port that is no terminal (a file or a FIFO named by mistake, /dev/null)
// would take the frames in without a word: it is refused before a byte is
// written, and what it held stays as it was.
TEST(SerialPortOpen, NoTerminalIsRefusedUntouched)
{
    CTempDir dir;
    const std::string file = dir.File("fw.hex");
    const std::string held = ":00000001FF\n" + std::string(18, '\0');
    std::ofstream(file, std::ios::binary) << held;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {file, fifo, std::string("/dev/null")}) {
        CRecordingMessageSink messages;
        CRecordingPort port(messages);
        EXPECT_EQ(port.Open(0, path, 115200), 0) << path;
        EXPECT_EQ(port.LastOpenErrno(), kErrorNotSerial) << path;
        EXPECT_FALSE(port.IsPortOpen());
        EXPECT_TRUE(messages.Texts().empty()) << path;
    }
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), held);
}

struct ChunkCase {
    const char* name;
    int readSize;
    std::vector<Bytes> writes;  // 50 ms apart
    std::vector<std::size_t> chunkSizes;
};

class SerialPortChunks : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(SerialPortChunks, ReadsEndAtTheReadSizeOrAfterAGap)
{
    const ChunkCase& c = GetParam();
    CRecordingMessageSink messages;
    CFakeBoard line;
    CRecordingPort port(messages);
    ASSERT_EQ(port.Open(1, line.SlavePath(), 115200), 1);
    port.SetReadSize(c.readSize);
    ASSERT_EQ(port.StartMonitor(), 1);

    Bytes all, joined;
    for (const Bytes& w : c.writes) {
        line.Inject(w);
        all.insert(all.end(), w.begin(), w.end());
        std::this_thread::sleep_for(50ms);
    }
    std::vector<std::size_t> sizes;
    for (const Bytes& chunk : port.Chunks(c.chunkSizes.size())) {
        sizes.push_back(chunk.size());
        joined.insert(joined.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(sizes, c.chunkSizes);
    EXPECT_EQ(joined, all);
}

INSTANTIATE_TEST_SUITE_P(
    All, SerialPortChunks,
    ::testing::Values(ChunkCase{"Frame", 18, {Sequence(18)}, {18}},
                      ChunkCase{"FrameInTwoPieces", 18, {Sequence(10), Sequence(8, 10)}, {18}},
                      ChunkCase{"FrameAndARest", 18, {Sequence(23)}, {18, 5}},
                      ChunkCase{"PartialFrameAfterTheGap", 18, {Sequence(5)}, {5}},
                      ChunkCase{"SingleBytes", 1, {Sequence(4)}, {1, 1, 1, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SerialPortSend, DiscardsStaleInputFirst)
{
    CRecordingMessageSink messages;
    CFakeBoard board;
    CRecordingPort port(messages);
    ASSERT_EQ(port.Open(1, board.SlavePath(), 57600), 1);
    board.Inject({0xAA, 0xBB, 0xCC});
    ASSERT_TRUE(WaitUntil([&] { return port.QueuedInput() == 3; }));

    board.Edit([](CFakeBoard::Script& s) { s.silent = true; });
    board.Start();
    EXPECT_EQ(port.Send(Sequence(18, 0x10).data(), 18), 18);
    EXPECT_EQ(port.QueuedInput(), 0);
    EXPECT_EQ(board.Received(1), std::vector<Bytes>{Sequence(18, 0x10)});

    port.SetReadSize(18);
    ASSERT_EQ(port.StartMonitor(), 1);
    board.Inject(CFakeBoard::Reply(0));
    EXPECT_EQ(port.Chunks(1), std::vector<Bytes>{CFakeBoard::Reply(0)});
    EXPECT_TRUE(messages.Texts().empty());
}

TEST(SerialPortLine, HangUpIsShownOnceAndTheMonitorRests)
{
    CRecordingMessageSink messages;
    CFakeBoard line;
    CRecordingPort port(messages);
    ASSERT_EQ(port.Open(2, line.SlavePath(), 115200), 1);
    ASSERT_EQ(port.StartMonitor(), 1);

    line.HangUp();
    ASSERT_TRUE(WaitUntil([&] { return !messages.Texts().empty(); }));
    EXPECT_EQ(messages.Texts()[0].rfind("WARNING:  ReadFile() Failed", 0), 0u);
    EXPECT_LT(port.Send(Sequence(18).data(), 18), 18);  // no second message
    const auto wakeups = port.MonitorWakeups();
    std::this_thread::sleep_for(300ms);
    EXPECT_LE(port.MonitorWakeups(), wakeups + 1);
    EXPECT_EQ(messages.Texts().size(), 1u);
}

TEST(SerialPortNames, ComPortsResolveThroughThePortsSection)
{
    CTempDir dir;
    std::ofstream(dir.File("Tamber_Info.ini")) << "[Ports]\nCOM2=/dev/ttyUSB7\n";
    SetAppDir(dir.Path().string());
    const std::pair<const char*, const char*> cases[] = {
        {"COM2", "/dev/ttyUSB7"}, {"com3", "/dev/ttyS2"}, {"Com1", "/dev/ttyS0"},
        {"COM5", "COM5"}, {"/dev/pts/5", "/dev/pts/5"}, {"COM", "COM"}};
    for (const auto& [text, path] : cases)
        EXPECT_EQ(CSerialPort::PortPathFromText(text), path) << text;
}
