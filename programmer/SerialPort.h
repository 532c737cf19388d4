#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <sys/types.h>
#include <string>
#include <thread>
#include <vector>

#include "programmer/DeviceBackend.h"
#include "programmer/UniqueFd.h"

class IMessageSink;

// The channel to one serial port: opens it raw at a given baud rate, runs a
// monitor thread that hands every received chunk of at most ReadSize() bytes
// to OnReceived and wakes a subclass at the deadline it asks for, and offers
// a write that returns once the driver has the bytes. One lock serialises
// every read and write on the port. Failures of the port calls are shown
// through the message sink with the system's error text.
class CSerialPort {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kTimeoutMs = 1000;
    // Whether a write first discards the input not read yet.
    enum class InputFlush { Discard, Keep };

    explicit CSerialPort(IMessageSink& messages);
    virtual ~CSerialPort();

    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens path as COM port comNumber (the number only names the port in
    // error texts; 0 for a port known by its path alone, which the texts
    // then name). 1 when the port is open, even if a configuration step
    // failed afterwards (that step is shown); 0 when it could not be opened
    // (missing, busy, no permission, no UART behind the device, no terminal
    // at all): nothing is shown, LastOpenErrno() tells why (kErrorNoUart,
    // kErrorNotSerial for the last two). An open channel is closed first.
    int Open(int comNumber, const std::string& path, int baud, char parity = 'N',
             int dataBits = 8, int stopBits = 1);
    int LastOpenErrno() const { return m_nLastOpenErrno.load(); }
    // The device path of the last Open.
    std::string LastOpenPath() const;

    // True once the line has gone (the adapter was unplugged, the other end
    // of a pseudo-terminal closed): the port is then closed, so that the
    // device can come back under the same name.
    bool IsLineDown() const { return m_bLineDown.load(); }
    // Opens the port of the last Open again, with its settings, and watches
    // it; 1 when it is open again. Not on the monitor thread.
    int Reopen();

    // Asks the driver which UART stands behind an open descriptor: its type
    // (0 when none does), or -1 when the driver does not tell (anything but
    // a built-in /dev/ttyS port: USB adapters, ACM modems, pseudo-terminals).
    // Open refuses a port of type 0, which would otherwise swallow every
    // frame in silence.
    using UartProbe = std::function<int(int fd)>;
    static int ProbeUart(int fd);
    // Whether a device's TIOCGSERIAL type can be believed (the 8250 ports).
    static bool TellsUartType(dev_t device);
    // Tests stand in for the driver's answer.
    void SetUartProbe(UartProbe probe) { m_probeUart = std::move(probe); }
    bool IsPortOpen() const;
    int ComNumber() const { return m_nComNumber; }

    // Starts the monitor thread; 1 when it runs.
    int StartMonitor();
    bool IsMonitorRunning() const { return m_bMonitorRunning.load() != 0; }
    // Ends the monitor thread and waits for it. Safe to call at any time and
    // more than once. A subclass calls it first in its destructor, so its
    // OnReceived is never entered while it is being destroyed.
    void StopMonitor();

    // Discards the input not read yet (unless told to keep it), then hands
    // all bytes to the driver; returns the count written (less on failure,
    // which is shown). It does not wait for them to leave the line: a wait
    // for their answer adds LineTime.
    int Send(const std::uint8_t* data, int count, InputFlush flush = InputFlush::Discard);
    // How long count bytes take on the line at the port's settings.
    Clock::duration LineTime(int count) const;

    // Bytes asked for by each read from now on (at least 1).
    void SetReadSize(int n);
    int ReadSize() const { return m_nReadSize.load(); }

    // Bytes received but not read yet; -1 when the port cannot tell.
    int QueuedInput();

    // How often the monitor woke from its wait; lets a test see that it
    // rests while nothing happens.
    std::uint64_t MonitorWakeups() const { return m_nWakeups.load(); }

    // The device path of COM port n: key "COMn" of section "Ports" in the
    // program folder's "Tamber_Info.ini" (or iniPath), else /dev/ttyS(n-1).
    static std::string ResolveComPortPath(int n);
    static std::string ResolveComPortPath(int n, const std::string& iniPath);
    // Makes COM port n (1 or more) stand for path from now on; false when
    // the file cannot be written.
    static bool StoreComPortPath(int n, const std::string& path, const std::string& iniPath);
    // 1..4 for "COM1".."COM4" (any case), else 0.
    static int ComNumberFromText(const std::string& text);
    // A port as the user wrote it: "COM1".."COM4" resolved as above,
    // anything else (/dev/ttyUSB0, /dev/pts/5) taken as a path.
    static std::string PortPathFromText(const std::string& text);

protected:
    // Called on the monitor thread, outside the lock, with each chunk read.
    // data stays valid only for the call.
    virtual void OnReceived(const std::uint8_t* data, int count) = 0;
    // The monitor thread asks before each wait when the subclass next wants
    // OnDeadline (none: only input wakes it), and calls it once that time
    // has come, after any input that came with it.
    virtual std::optional<Clock::time_point> NextDeadline() const { return std::nullopt; }
    virtual void OnDeadline() {}

    // Shows "WARNING:  <call> Failed with the following error: ..." with the
    // system's text for err and the COM number (the device path for a port
    // opened by its path).
    void ShowError(const std::string& call, int err);

    // The line opened but leads to no board (it echoes): closes the port as
    // if it had not opened, reason becoming LastOpenErrno(). Monitor thread.
    void AbandonPort(int reason);

private:
    void CloseLocked();
    bool Configure(int baud, char parity, int dataBits, int stopBits);
    // The chunk the monitor is filling.
    struct Chunk {
        int size = 1;
        int have = 0;
        Clock::time_point startedAt;
        Clock::time_point endsAt;  // the port's timeouts end it here
        unsigned generation = 0;   // of the input it was read from
    };
    void MonitorLoop();
    // One read of what the chunk still lacks; false when the line failed.
    bool ReadInto(Chunk& chunk);
    bool StopRequested() const;
    // Shows a fault that means the line is gone only once per open.
    void ReportLineFault(const std::string& call, int err);

    IMessageSink& m_messages;
    std::vector<std::uint8_t> m_readBuf;  // only the monitor thread touches it
    unsigned m_nInputGeneration = 0;      // counts input discards; under m_lock
    std::atomic<int> m_nReadSize{1};
    std::thread m_pMonitor;
    mutable std::mutex m_lock;  // every read and write on the port
    std::atomic<int> m_bMonitorRunning{0};
    std::atomic<bool> m_bStopRequested{false};
    CUniqueFd m_hStopEvent;  // eventfd: readable once a stop is asked for
    CUniqueFd m_hPort;
    std::atomic<int> m_nComNumber{0};
    std::atomic<int> m_nLastOpenErrno{0};
    UartProbe m_probeUart = &CSerialPort::ProbeUart;
    // The line settings of the last Open, for Reopen.
    int m_nBaud = 0;
    char m_cParity = 'N';
    int m_nDataBits = 8;
    int m_nStopBits = 1;
    // What error texts call the port: its COM number, or its path. Set by
    // Open, read by any thread that shows an error.
    mutable std::mutex m_nameLock;
    std::string m_strPath;
    std::string m_strPortName;
    std::atomic<bool> m_bLineDown{false};
    std::atomic<std::uint64_t> m_nWakeups{0};
};
