#include "programmer/SerialProgrammer.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>

#include "programmer/Programmer.h"
#include "programmer/StatusCode.h"

namespace {

// Commands of the board's frames.
enum : std::uint8_t {
    kCmdReady = 0,
    kCmdDetect = 1,
    kCmdErase = 2,
    kCmdWrite = 3,
    kCmdRead = 4,
    kCmdLock = 5,
    kCmdData = 7,
};

// Reply kinds; a data reply carries one block of the device's memory.
enum : std::uint8_t {
    kReplyReady = 0,
    kReplySignature = 1,
    kReplyErased = 2,
    kReplyWriteReady = 3,
    kReplyReadReady = 4,
    kReplyLocked = 5,
    kReplyData = 6,
};

// Single bytes: the board's answer to a data frame, and the host's read
// requests.
constexpr std::uint8_t kAckAccepted = 1;
constexpr std::uint8_t kAckFailed = 0xFF;
constexpr std::uint8_t kRequestNext = 1;
constexpr std::uint8_t kRequestRepeat = 0xFF;
constexpr std::uint8_t kRequestStop = 0;

constexpr int kDataOffset = 2;
constexpr int kBufferSize = CProgrammer::kBufferSize;

// Where the echo check's detect puts bytes no chip signs with: a board
// writes the signature over them, a line that echoes sends them back.
constexpr std::uint8_t kProbeMark[3] = {0xA5, 0x5A, 0xC3};

}  // namespace

CSerialProgrammer::CSerialProgrammer(CProgrammer& programmer)
    : CSerialPort(programmer.Messages())
    , m_pProgrammer(&programmer)
{
}

CSerialProgrammer::~CSerialProgrammer()
{
    m_bStopping = true;
    // The monitor calls into this object; it must end before anything here
    // goes, and with it ends the only thread that starts workers.
    StopMonitor();
    m_acks.Push({});
    m_hDataEvent.Set();
    m_endAnswered.Set();
    if (m_worker.joinable())
        m_worker.join();
}

int CSerialProgrammer::OpenBackend(CProgrammer& programmer, int progType, int /*ispSetting*/)
{
    auto serial = std::make_unique<CSerialProgrammer>(programmer);
    CSerialProgrammer* backend = serial.get();
    programmer.SetBackend(progType, std::move(serial));
    if (programmer.m_nBaudSel == 0)
        return backend->Connect(&programmer, programmer.m_nComPort, 115200);
    if (programmer.m_nBaudSel == 1)
        return backend->Connect(&programmer, programmer.m_nComPort, 57600);
    return 0;
}

int CSerialProgrammer::Connect(CProgrammer* programmer, int comPort, int baud)
{
    if (programmer)
        m_pProgrammer = programmer;
    // A port given by its path is known by it in error texts, not by a COM
    // number the user never chose.
    const bool byPath = !m_pProgrammer->m_strPortPath.empty();
    const std::string path = byPath ? m_pProgrammer->m_strPortPath : ResolveComPortPath(comPort);
    int open = Open(byPath ? 0 : comPort, path, baud, 'N', 8, 1);
    if (open) {
        SetReadSize(kFrameSize);
        m_nEndAnswer = kEndAnswerNone;
        m_echoCheck = EchoCheck::Armed;
        // Without the monitor no answer would ever be seen: not connected.
        if (!StartMonitor())
            open = 0;
    }
    m_bOpen = open;
    m_pProgrammer->PostStatus(open ? kStatusSerialOpened : kStatusSerialFailed);
    return open;
}

PortOpenFailure CSerialProgrammer::OpenFailure() const
{
    return {LastOpenPath(), LastOpenErrno()};
}

void CSerialProgrammer::CheckReady(std::uint8_t code)
{
    // Always sent while the port is open: the way out when the board never
    // answered the last command.
    m_bReady = 1;
    StartCommand(kCmdReady, code);
}

void CSerialProgrammer::DetectDevice(std::uint8_t code)
{
    StartCommand(kCmdDetect, code);
}

void CSerialProgrammer::EraseDevice(std::uint8_t code)
{
    StartCommand(kCmdErase, code);
}

void CSerialProgrammer::WriteDevice(std::uint8_t code)
{
    StartCommand(kCmdWrite, code);
}

void CSerialProgrammer::ReadDevice(std::uint8_t code)
{
    StartCommand(kCmdRead, code);
}

void CSerialProgrammer::LockDevice(std::uint8_t code, int level)
{
    StartCommand(kCmdLock, code, level);
}

void CSerialProgrammer::StartCommand(std::uint8_t command, std::uint8_t code, int level)
{
    std::lock_guard lock(m_frameLock);
    m_Frame[0] = command;
    m_Frame[1] = code;
    if (command == kCmdLock)
        m_Frame[2] = std::uint8_t(level);
    SendFrameLocked();
}

int CSerialProgrammer::SendFrame()
{
    std::lock_guard lock(m_frameLock);
    return SendFrameLocked();
}

int CSerialProgrammer::SendFrameLocked()
{
    if (!m_bOpen) {
        m_pProgrammer->PostStatus(kStatusSerialNotOpen);
        return 0;
    }
    if (IsLineDown() && !Reconnect())
        return 0;
    // Cleared before the frame goes out, in one step with the test: a fast
    // board's answer may come back before Send returns, and its ready mark
    // must not be wiped out afterwards.
    if (m_bReady.exchange(0)) {
        // Only a ready check can show an echo: another first command is
        // answered by a kind of its own.
        if (m_echoCheck.load() == EchoCheck::Armed) {
            if (m_Frame[0] == kCmdReady)
                m_EchoProbe = m_Frame;
            else
                m_echoCheck = EchoCheck::Off;
        }
        m_nLastCommand = m_Frame[0];
        Send(m_Frame.data(), kFrameSize);
        return 1;
    }
    m_pProgrammer->PostStatus(kStatusUnavailable);
    return 0;
}

bool CSerialProgrammer::Reconnect()
{
    // A transfer still winding down keeps the old line until it has ended.
    if (m_bBusy) {
        m_pProgrammer->PostStatus(kStatusUnavailable);
        return false;
    }
    if (!Reopen()) {
        // Still unplugged, or back under another name: the same lines as at
        // start, so the user learns which port and why.
        m_pProgrammer->PostStatus(kStatusSerialFailed);
        return false;
    }
    SetReadSize(kFrameSize);
    // A fresh line: whatever was asked before it went down is void.
    m_nEndAnswer = kEndAnswerNone;
    m_echoCheck = EchoCheck::Armed;
    m_bReady = 1;
    return true;
}

void CSerialProgrammer::SendWorkerFrame(std::uint8_t command, const std::uint8_t* data)
{
    std::lock_guard lock(m_frameLock);
    m_Frame[0] = command;
    if (data)
        std::memcpy(m_Frame.data() + kDataOffset, data, kBlockSize);
    m_nLastCommand = command;
    Send(m_Frame.data(), kFrameSize);
}

void CSerialProgrammer::SendByte(std::uint8_t byte)
{
    Send(&byte, 1);
}

void CSerialProgrammer::OnReceived(const std::uint8_t* data, int count)
{
    if (count == 1 && m_bBusy) {
        CAckQueue::Ack ack{data[0], false};
        if (ack.value == kAckAccepted && !Stopping()) {
            if (const std::uint8_t* next = m_acks.TakeArmed()) {
                SendWorkerFrame(kCmdData, next);
                ack.nextSent = true;
            }
        }
        m_acks.Push(ack);
        return;
    }
    // A frame cut short by the port's timeout still tells that the board
    // has answered.
    if (count != kFrameSize) {
        m_bReady = 1;
        return;
    }
    if (m_echoCheck.load() != EchoCheck::Off && CheckForEcho(data))
        return;
    // The board answers in order: another kind means that a late answer to
    // an end frame is not coming.
    if (int late = kEndAnswerLate; data[0] != kReplyReady)
        m_nEndAnswer.compare_exchange_strong(late, kEndAnswerNone);
    CProgrammer& programmer = *m_pProgrammer;
    switch (data[0]) {
    case kReplyReady:
        if (!TakeReadyAnswer())
            break;
        m_bReady = 1;
        programmer.PostStatus(kStatusReady);
        break;
    case kReplySignature:
        m_bReady = 1;
        programmer.SetSignature({data[2], data[3], data[4]});
        programmer.MatchSignature();
        break;
    case kReplyErased:
        m_bReady = 1;
        programmer.PostStatus(kStatusEraseDone);
        break;
    case kReplyWriteReady:
        StartTransfer(Transfer::Write);
        break;
    case kReplyReadReady:
        StartTransfer(Transfer::Read);
        break;
    case kReplyLocked:
        m_bReady = 1;
        programmer.PostStatus(kStatusLockDone);
        break;
    case kReplyData:
        // Copied here: the channel's buffer is reused by its next read.
        if (m_bBusy)
            m_hDataEvent.Set([&] { std::memcpy(m_DataBlock.data(), data + kDataOffset, kBlockSize); });
        break;
    default:
        m_bReady = 1;
        break;
    }
}

bool CSerialProgrammer::CheckForEcho(const std::uint8_t* data)
{
    const EchoCheck step = m_echoCheck.exchange(EchoCheck::Off);
    if (step == EchoCheck::Armed) {
        if (std::memcmp(data, m_EchoProbe.data(), kFrameSize) != 0)
            return false;  // a board's own answer
        // The frame came back as it went. Only the detect is sent, not
        // what the buffer holds: the next frames stay as they would be.
        std::lock_guard lock(m_frameLock);
        m_EchoProbe = m_Frame;
        m_EchoProbe[0] = kCmdDetect;
        std::copy(std::begin(kProbeMark), std::end(kProbeMark), m_EchoProbe.begin() + kDataOffset);
        m_echoCheck = EchoCheck::Probing;
        m_nLastCommand = kCmdDetect;
        Send(m_EchoProbe.data(), kFrameSize);
        return true;
    }
    if (step != EchoCheck::Probing)
        return false;
    if (std::memcmp(data, m_EchoProbe.data(), kFrameSize) == 0) {
        // Reported as a port that does not open: no board is on this line.
        m_bOpen = 0;
        AbandonPort(kErrorEchoLine);
        m_pProgrammer->PostStatus(kStatusSerialFailed);
        return true;
    }
    // A board after all: its first answer was the ready answer.
    m_bReady = 1;
    m_pProgrammer->PostStatus(kStatusReady);
    return true;
}

bool CSerialProgrammer::TakeReadyAnswer()
{
    int state = kEndAnswerOwed;
    if (m_nEndAnswer.compare_exchange_strong(state, kEndAnswerNone)) {
        m_endAnswered.Set();
        return true;
    }
    if (state != kEndAnswerLate)
        return true;
    m_nEndAnswer = kEndAnswerNone;
    return m_nLastCommand.load() == kCmdReady;
}

void CSerialProgrammer::StartTransfer(Transfer kind)
{
    if (Stopping())
        return;
    // Claimed here rather than in the worker, so that a second go-ahead
    // arriving before the worker runs cannot start another one.
    int idle = 0;
    if (!m_bBusy.compare_exchange_strong(idle, 1)) {
        // A transfer already runs: refuse this one but leave the way open
        // for the next command.
        m_bReady = 1;
        m_pProgrammer->PostStatus(kStatusUnavailable);
        return;
    }
    // The previous worker has cleared m_bBusy, so it is ending or has ended.
    if (m_worker.joinable())
        m_worker.join();
    try {
        if (kind == Transfer::Write)
            m_worker = std::thread([this] { WriteWorker(); });
        else
            m_worker = std::thread([this] { ReadWorker(); });
    } catch (const std::system_error&) {
        m_bBusy = 0;
        m_bReady = 1;
        m_pProgrammer->PostStatus(kStatusUnavailable);
    }
}

void CSerialProgrammer::FinishWithEndFrame(int status)
{
    SetReadSize(kFrameSize);
    // The transfer is over; the board's answer to the end frame makes it
    // ready again (and posts 5), like the answer to any command. The status
    // goes first so that it always comes before that 5, which is what a
    // sequence waits for after a write.
    m_bBusy = 0;
    m_endAnswered.Reset();
    m_nEndAnswer = kEndAnswerOwed;
    m_pProgrammer->PostStatus(status);
    SendWorkerFrame(kCmdReady);
    // A board that never answers the end frame has still taken the write:
    // ready all the same, or every later command would be refused.
    m_endAnswered.WaitFor(std::chrono::milliseconds(kAckWaitMs));
    int owed = kEndAnswerOwed;
    if (!Stopping() && m_nEndAnswer.compare_exchange_strong(owed, kEndAnswerLate)) {
        m_bReady = 1;
        m_pProgrammer->PostStatus(kStatusReady);
    }
}

// Called before the worker's last status is posted: whoever acts on that
// status may send the next command at once, and it must not be refused.
void CSerialProgrammer::EndWorker()
{
    m_bBusy = 0;
    m_bReady = 1;
}

int CSerialProgrammer::WriteWorker()
{
    CProgrammer& programmer = *m_pProgrammer;
    programmer.PostStatus(kStatusWriteStart);
    programmer.m_nPos = 0;
    // Trailing 0xFF bytes are never written; the length never passes the
    // device's ROM or the buffer.
    const int length =
        std::min(programmer.TrimLength(programmer.Buffer1, kBufferSize), kBufferSize);

    if (length <= 0) {
        // Nothing to write: close the transfer at once.
        FinishWithEndFrame(kStatusWriteDone);
        return 0;
    }

    SetReadSize(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(kWritePauseMs));
    // An acknowledgement left from an earlier transfer must not count.
    m_acks.Reset();
    if (Stopping())
        return -1;

    int pos = 0;
    SendWorkerFrame(kCmdData, programmer.Buffer1 + pos);
    while (pos < length) {
        // The block after this one goes out with the acknowledgement of this
        // one, from the channel's thread, unless it is the last.
        // pos is a multiple of 16 below length <= kBufferSize: every block
        // lies inside the buffer.
        const int next = pos + kBlockSize;
        assert(next >= length || next + kBlockSize <= kBufferSize);
        const auto ack = m_acks.WaitFor(std::chrono::milliseconds(kAckWaitMs),
                                        next < length ? programmer.Buffer1 + next : nullptr);
        if (Stopping())
            return -1;
        if (ack && ack->value == kAckAccepted) {
            pos = next;
            // The board first, then the window.
            if (pos < length && !ack->nextSent)
                SendWorkerFrame(kCmdData, programmer.Buffer1 + pos);
            programmer.m_nPos = pos;
            programmer.PostStatus(kStatusWriteProgress);
            continue;
        }
        if (ack && ack->value == kAckFailed) {
            FinishWithEndFrame(kStatusWriteError);
            return -1;
        }
        // No answer, or one that means nothing: the board is in an unknown
        // state and gets no end frame.
        SetReadSize(kFrameSize);
        EndWorker();
        programmer.PostStatus(kStatusReceiveError);
        return -1;
    }

    FinishWithEndFrame(kStatusWriteDone);
    return 0;
}

int CSerialProgrammer::ReadWorker()
{
    CProgrammer& programmer = *m_pProgrammer;
    programmer.PostStatus(kStatusReadStart);
    programmer.m_nPos = 0;
    if (!programmer.m_bKeepLength)
        programmer.m_nLength = programmer.CurrentRomBytes();
    // The length kept from the last trim, or the ROM size, never passes the
    // buffer.
    const int length = std::clamp(programmer.m_nLength.load(), 0, kBufferSize);

    if (length == 0) {
        // Ready again: nothing was asked of the board, and leaving the flag
        // clear would refuse the next command.
        EndWorker();
        programmer.PostStatus(kStatusReadDone);
        return 0;
    }

    // A data reply left from an earlier transfer must not count.
    m_hDataEvent.Reset();
    if (Stopping())
        return -1;

    bool retried = false;
    int pos = 0;
    SendByte(kRequestNext);
    while (pos < length) {
        // pos is a multiple of 16 below length <= kBufferSize.
        assert(pos + kBlockSize <= kBufferSize);
        const bool answered = m_hDataEvent.WaitFor(std::chrono::milliseconds(kBlockWaitMs), [&] {
            if (!Stopping())
                std::memcpy(programmer.Buffer2 + pos, m_DataBlock.data(), kBlockSize);
        });
        if (Stopping())
            return -1;
        if (!answered) {
            // One repeat request per block; a second silence ends the read.
            if (!retried) {
                retried = true;
                SendByte(kRequestRepeat);
                continue;
            }
            SendByte(kRequestStop);
            EndWorker();
            programmer.PostStatus(kStatusReceiveError);
            return -1;
        }
        retried = false;
        pos += kBlockSize;
        // As with a write: the board first, then the window.
        if (pos < length)
            SendByte(kRequestNext);
        programmer.m_nPos = pos;
        programmer.PostStatus(kStatusReadProgress);
    }

    SendByte(kRequestStop);
    EndWorker();
    programmer.PostStatus(kStatusReadDone);
    return 0;
}
