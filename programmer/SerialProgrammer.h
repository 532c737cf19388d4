#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "programmer/DeviceBackend.h"
#include "programmer/SerialPort.h"

class CProgrammer;

// The backend for the programmer board on a serial port. Commands go out as
// 18-byte frames, one at a time: a new frame is refused until the board has
// answered the last one (CheckReady excepted). Writes and reads of the
// device's memory stream 16-byte blocks, one transfer at a time, on the
// channel's own thread: each acknowledgement or data reply is answered with
// the next block or request at once, and the waits for them are the
// deadlines of that thread's poll, so a block costs one wake-up. Every
// outcome is a status event through the controller.
class CSerialProgrammer : public CSerialPort, public IDeviceBackend {
public:
    static constexpr int kFrameSize = 18;
    static constexpr int kBlockSize = 16;
    static constexpr int kWritePauseMs = 5;
    static constexpr int kAckWaitMs = 1000;
    static constexpr int kBlockWaitMs = 500;

    // Port failures are shown through programmer.Messages().
    explicit CSerialProgrammer(CProgrammer& programmer);
    ~CSerialProgrammer() override;

    // Makes the backend, installs it in programmer for type progType and
    // connects it at the controller's COM port and baud selector (0: 115200,
    // 1: 57600); 1 when connected. Any other selector leaves it unconnected
    // and silent: every operation then reports the port as not initialised.
    static int OpenBackend(CProgrammer& programmer, int progType, int ispSetting);

    // Opens COM port comPort (programmer->m_strPortPath when set) at baud,
    // 8-N-1, and starts listening. Posts 2 and returns 1 when connected,
    // posts 0 and returns 0 otherwise.
    int Connect(CProgrammer* programmer, int comPort, int baud);

    void CheckReady(std::uint8_t code) override;
    void DetectDevice(std::uint8_t code) override;
    void EraseDevice(std::uint8_t code) override;
    void WriteDevice(std::uint8_t code) override;
    void ReadDevice(std::uint8_t code) override;
    void LockDevice(std::uint8_t code, int level) override;
    PortOpenFailure OpenFailure() const override;

    // Sends m_Frame when the board has answered the last command: 1 sent,
    // 0 refused (posts 3 when not connected, 6 while a command is open).
    // A line that went down is opened again first (the adapter was plugged
    // back in); posts 0 when it is still missing.
    int SendFrame();

    bool IsReady() const { return m_bReady.load() != 0; }
    bool IsBusy() const { return m_bBusy.load() != 0; }
    bool IsConnected() const { return m_bOpen.load() != 0; }

protected:
    // The reply dispatcher, on the channel's monitor thread.
    void OnReceived(const std::uint8_t* data, int count) override;
    // The transfer's waits (the pause before a write, an acknowledgement,
    // a read block) and the wait for the answer to a write's end frame.
    std::optional<Clock::time_point> NextDeadline() const override;
    void OnDeadline() override;

private:
    enum class Transfer { Write, Read };

    // Sets frame bytes 0 and 1 (and 2 when level > 0) and sends it through
    // SendFrame.
    void StartCommand(std::uint8_t command, std::uint8_t code, int level = 0);
    int SendFrameLocked();
    // After the line went down: opens the port again at the same path. false
    // (and posts 0, or 6 while a transfer ends) when it cannot.
    bool Reconnect();
    // Sets byte 0 (and the data bytes when data is given) and sends the
    // frame whatever m_bReady says: a transfer's data and end frames.
    void SendWorkerFrame(std::uint8_t command, const std::uint8_t* data = nullptr,
                         InputFlush flush = InputFlush::Discard);
    void SendByte(std::uint8_t byte, InputFlush flush = InputFlush::Discard);

    // The streaming transfers, all on the monitor thread.
    void StartTransfer(Transfer kind);
    void BeginWrite();
    void BeginRead();
    void OnAcknowledgement(std::uint8_t ack);
    void OnDataBlock(const std::uint8_t* block);
    // The wait of the running phase ran out.
    void OnTransferDeadline();
    // Sends the block at m_nTransferPos and waits for its acknowledgement.
    void SendBlock(InputFlush flush);
    // Sends a read request byte and waits for its block.
    void SendRequest(std::uint8_t request, InputFlush flush);
    // From now, plus the bytes' time on the line.
    Clock::time_point WaitFrom(int bytesSent, int waitMs) const;
    // A transfer's end, before its last status: clears m_bBusy and opens
    // the way for the next command.
    void EndWorker();
    // The answer to a write's end frame did not come in time.
    void GiveUpEndAnswer();
    // A write's end that closes the transfer with a command-0 frame: posts
    // status, sends the frame, and makes the board ready once it answers,
    // or once kAckWaitMs have passed without an answer.
    void FinishWithEndFrame(int status);
    // Whether a ready answer counts: one that comes after the write's end
    // has stopped waiting for it changes nothing, unless a ready check of
    // our own is out.
    bool TakeReadyAnswer();
    // The first answer on a new line: true when the echo check took it.
    bool CheckForEcho(const std::uint8_t* data);
    bool Stopping() const { return m_bStopping.load(); }

    std::atomic<int> m_bBusy{0};
    std::atomic<int> m_bReady{0};
    std::atomic<int> m_bOpen{0};
    // The command byte of the last frame sent.
    std::atomic<int> m_nLastCommand{-1};

    // The board's answer to a write's end frame: owed, or given up on (it
    // may still come, late).
    enum EndAnswer { kEndAnswerNone, kEndAnswerOwed, kEndAnswerLate };
    std::atomic<int> m_nEndAnswer{kEndAnswerNone};
    std::optional<Clock::time_point> m_endAnswerDue;  // monitor thread

    // A line that echoes answers the first ready check with the frame
    // itself; so may a board that answers in the buffer the frame came in.
    // A detect with bytes no chip signs with tells the two apart.
    enum class EchoCheck { Off, Armed, Probing };
    std::atomic<EchoCheck> m_echoCheck{EchoCheck::Off};
    std::array<std::uint8_t, kFrameSize> m_EchoProbe{};  // what an echo sends back
    // Built and sent as one step under m_frameLock: CheckReady may go out
    // while a transfer is sending its own frames.
    std::array<std::uint8_t, kFrameSize> m_Frame{};
    std::mutex m_frameLock;
    CProgrammer* m_pProgrammer;

    // The running transfer: only the monitor thread touches it.
    enum class Phase { Idle, Pause, AwaitAck, AwaitBlock };
    Phase m_phase = Phase::Idle;
    int m_nTransferPos = 0;
    int m_nTransferLength = 0;
    bool m_bRetried = false;  // the block at m_nTransferPos was asked for again
    Clock::time_point m_phaseDue;

    std::atomic<bool> m_bStopping{false};
};
