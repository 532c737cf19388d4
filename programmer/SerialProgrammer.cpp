#include "programmer/SerialProgrammer.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

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

using Clock = CSerialPort::Clock;

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
    // The monitor calls into this object and runs its transfers; it must end
    // before anything here goes.
    StopMonitor();
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
            if (m_Frame[0] == kCmdReady) {
                m_EchoProbe = m_Frame;
                m_echoCheck = EchoCheck::Armed;  // publishes the copy to the monitor
            } else {
                m_echoCheck = EchoCheck::Off;
            }
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

void CSerialProgrammer::SendWorkerFrame(std::uint8_t command, const std::uint8_t* data,
                                        InputFlush flush)
{
    std::lock_guard lock(m_frameLock);
    m_Frame[0] = command;
    if (data)
        std::memcpy(m_Frame.data() + kDataOffset, data, kBlockSize);
    m_nLastCommand = command;
    Send(m_Frame.data(), kFrameSize, flush);
}

void CSerialProgrammer::SendByte(std::uint8_t byte, InputFlush flush)
{
    Send(&byte, 1, flush);
}

void CSerialProgrammer::OnReceived(const std::uint8_t* data, int count)
{
    if (count == 1 && m_bBusy) {
        // Only an acknowledgement that a data frame asked for counts.
        if (m_phase == Phase::AwaitAck)
            OnAcknowledgement(data[0]);
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
        if (m_bBusy && m_phase == Phase::AwaitBlock)
            OnDataBlock(data + kDataOffset);
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
        m_endAnswerDue.reset();
        return true;
    }
    if (state != kEndAnswerLate)
        return true;
    m_nEndAnswer = kEndAnswerNone;
    return m_nLastCommand.load() == kCmdReady;
}

std::optional<CSerialPort::Clock::time_point> CSerialProgrammer::NextDeadline() const
{
    std::optional<Clock::time_point> due = m_endAnswerDue;
    if (m_phase != Phase::Idle && (!due || m_phaseDue < *due))
        due = m_phaseDue;
    return due;
}

void CSerialProgrammer::OnDeadline()
{
    const Clock::time_point now = Clock::now();
    if (m_endAnswerDue && now >= *m_endAnswerDue) {
        m_endAnswerDue.reset();
        GiveUpEndAnswer();
    }
    if (m_phase != Phase::Idle && now >= m_phaseDue)
        OnTransferDeadline();
}

Clock::time_point CSerialProgrammer::WaitFrom(int bytesSent, int waitMs) const
{
    return Clock::now() + LineTime(bytesSent) + std::chrono::milliseconds(waitMs);
}

void CSerialProgrammer::StartTransfer(Transfer kind)
{
    if (Stopping())
        return;
    if (m_bBusy) {
        // A transfer already runs: refuse this one but leave the way open
        // for the next command.
        m_bReady = 1;
        m_pProgrammer->PostStatus(kStatusUnavailable);
        return;
    }
    m_bBusy = 1;
    if (kind == Transfer::Write)
        BeginWrite();
    else
        BeginRead();
}

void CSerialProgrammer::BeginWrite()
{
    CProgrammer& programmer = *m_pProgrammer;
    programmer.PostStatus(kStatusWriteStart);
    programmer.m_nPos = 0;
    // Trailing 0xFF bytes are never written; the length never passes the
    // device's ROM or the buffer.
    m_nTransferLength =
        std::min(programmer.TrimLength(programmer.Buffer1, kBufferSize), kBufferSize);
    if (m_nTransferLength <= 0) {
        // Nothing to write: close the transfer at once.
        FinishWithEndFrame(kStatusWriteDone);
        return;
    }
    SetReadSize(1);
    m_nTransferPos = 0;
    m_phase = Phase::Pause;
    m_phaseDue = Clock::now() + std::chrono::milliseconds(kWritePauseMs);
}

void CSerialProgrammer::BeginRead()
{
    CProgrammer& programmer = *m_pProgrammer;
    programmer.PostStatus(kStatusReadStart);
    programmer.m_nPos = 0;
    if (!programmer.m_bKeepLength)
        programmer.m_nLength = programmer.CurrentRomBytes();
    // The length kept from the last trim, or the ROM size, never passes the
    // buffer.
    m_nTransferLength = std::clamp(programmer.m_nLength.load(), 0, kBufferSize);
    if (m_nTransferLength == 0) {
        // Ready again: nothing was asked of the board, and leaving the flag
        // clear would refuse the next command.
        EndWorker();
        programmer.PostStatus(kStatusReadDone);
        return;
    }
    m_nTransferPos = 0;
    m_bRetried = false;
    // Whatever came before the transfer is no answer to it.
    SendRequest(kRequestNext, InputFlush::Discard);
}

void CSerialProgrammer::SendBlock(InputFlush flush)
{
    // m_nTransferPos is a multiple of 16 below the length, which is at most
    // kBufferSize: the block lies inside the buffer.
    assert(m_nTransferPos + kBlockSize <= kBufferSize);
    SendWorkerFrame(kCmdData, m_pProgrammer->Buffer1 + m_nTransferPos, flush);
    m_phase = Phase::AwaitAck;
    m_phaseDue = WaitFrom(kFrameSize, kAckWaitMs);
}

void CSerialProgrammer::SendRequest(std::uint8_t request, InputFlush flush)
{
    SendByte(request, flush);
    m_phase = Phase::AwaitBlock;
    m_phaseDue = WaitFrom(1, kBlockWaitMs);
}

void CSerialProgrammer::OnAcknowledgement(std::uint8_t ack)
{
    CProgrammer& programmer = *m_pProgrammer;
    if (ack == kAckAccepted) {
        m_nTransferPos += kBlockSize;
        // The board first, then the window.
        if (m_nTransferPos < m_nTransferLength)
            SendBlock(InputFlush::Keep);
        programmer.m_nPos = m_nTransferPos;
        programmer.PostStatus(kStatusWriteProgress);
        if (m_nTransferPos >= m_nTransferLength) {
            m_phase = Phase::Idle;
            FinishWithEndFrame(kStatusWriteDone);
        }
        return;
    }
    m_phase = Phase::Idle;
    if (ack == kAckFailed) {
        FinishWithEndFrame(kStatusWriteError);
        return;
    }
    // One that means nothing: the board is in an unknown state and gets no
    // end frame.
    SetReadSize(kFrameSize);
    EndWorker();
    programmer.PostStatus(kStatusReceiveError);
}

void CSerialProgrammer::OnDataBlock(const std::uint8_t* block)
{
    CProgrammer& programmer = *m_pProgrammer;
    // m_nTransferPos is a multiple of 16 below the length <= kBufferSize.
    assert(m_nTransferPos + kBlockSize <= kBufferSize);
    std::memcpy(programmer.Buffer2 + m_nTransferPos, block, kBlockSize);
    // After a repeat, the first answer may still come late: it is no
    // answer to the next request.
    const InputFlush flush = m_bRetried ? InputFlush::Discard : InputFlush::Keep;
    m_bRetried = false;
    m_nTransferPos += kBlockSize;
    // As with a write: the board first, then the window.
    if (m_nTransferPos < m_nTransferLength)
        SendRequest(kRequestNext, flush);
    programmer.m_nPos = m_nTransferPos;
    programmer.PostStatus(kStatusReadProgress);
    if (m_nTransferPos >= m_nTransferLength) {
        m_phase = Phase::Idle;
        SendByte(kRequestStop, InputFlush::Keep);
        EndWorker();
        programmer.PostStatus(kStatusReadDone);
    }
}

void CSerialProgrammer::OnTransferDeadline()
{
    CProgrammer& programmer = *m_pProgrammer;
    switch (m_phase) {
    case Phase::Pause:
        // An acknowledgement left from before must not count: the transfer
        // starts from an empty line.
        SendBlock(InputFlush::Discard);
        return;
    case Phase::AwaitAck:
        // No answer: the board is in an unknown state and gets no end frame.
        m_phase = Phase::Idle;
        SetReadSize(kFrameSize);
        EndWorker();
        programmer.PostStatus(kStatusReceiveError);
        return;
    case Phase::AwaitBlock:
        // One repeat request per block; a second silence ends the read.
        if (!m_bRetried) {
            m_bRetried = true;
            SendRequest(kRequestRepeat, InputFlush::Discard);
            return;
        }
        m_phase = Phase::Idle;
        SendByte(kRequestStop, InputFlush::Keep);
        EndWorker();
        programmer.PostStatus(kStatusReceiveError);
        return;
    case Phase::Idle:
        return;
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
    m_nEndAnswer = kEndAnswerOwed;
    m_pProgrammer->PostStatus(status);
    SendWorkerFrame(kCmdReady);
    // A board that never answers the end frame has still taken the write:
    // ready all the same once the wait is over, or every later command
    // would be refused.
    m_endAnswerDue = WaitFrom(kFrameSize, kAckWaitMs);
}

void CSerialProgrammer::GiveUpEndAnswer()
{
    int owed = kEndAnswerOwed;
    if (!m_nEndAnswer.compare_exchange_strong(owed, kEndAnswerLate))
        return;
    m_bReady = 1;
    m_pProgrammer->PostStatus(kStatusReady);
}

// Called before the transfer's last status is posted: whoever acts on that
// status may send the next command at once, and it must not be refused.
void CSerialProgrammer::EndWorker()
{
    m_bBusy = 0;
    m_bReady = 1;
}
