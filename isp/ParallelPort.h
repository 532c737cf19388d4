#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "isp/PortRegisters.h"

class IMessageSink;

// One PC printer port: byte access to its three registers and pin-level
// access by DB-25 connector pin number (1 to 17), with the inversion of the
// port hardware hidden from the caller.
//
// Register access goes through an IPortRegisters chosen by Open: the kernel's
// ppdev driver, direct port I/O, or a register set handed to OpenWith (the
// simulated cable, tests). Not locked: after opening, one thread at a time
// drives the port.
class CParallelPort {
public:
    explicit CParallelPort(IMessageSink& sink);
    virtual ~CParallelPort();

    CParallelPort(const CParallelPort&) = delete;
    CParallelPort& operator=(const CParallelPort&) = delete;

    // Sets the three port numbers from the base (888 for LPT1), then tries
    // the ppdev device named in "Tamber_Info.ini" ([Ports] LPT1, default
    // "/dev/parport0") and, when that driver is not there, direct port I/O.
    // Returns 1 when the port is usable, 0 when not; failures show a message
    // and leave the reason in LastError().
    int Open(std::uint16_t base);
    // Runs on the given register set instead of real hardware. False (and
    // nothing changed) for a null pointer.
    bool OpenWith(std::unique_ptr<IPortRegisters> registers);
    bool IsOpen() const { return m_pRegisters != nullptr; }
    // The clock the registers' far end keeps (a simulated cable's), or
    // nullptr for the system's.
    IIspClock* RegistersClock() const { return m_pRegisters ? m_pRegisters->Clock() : nullptr; }

    // Why the last Open failed (system error text), empty after a success.
    std::string LastError() const { return m_strLastError; }
    // The ppdev device the last Open tried, and the errno it failed with (0
    // after a success).
    const std::string& DevicePath() const { return m_strDevicePath; }
    int LastOpenErrno() const { return m_nLastOpenErrno; }
    // Tests turn this off so that Open never touches real I/O ports.
    void SetDirectIoAllowed(bool allowed) { m_bDirectIoAllowed = allowed; }

    std::uint8_t ReadData();
    std::uint8_t ReadStatus();
    std::uint8_t ReadControl();
    void WriteData(std::uint8_t value);
    void WriteControl(std::uint8_t value);

    // 1 when the pin is settable and was driven, 0 for input pins and for no
    // pin. The register is never read first: the write carries the shadow.
    int SetPinHigh(int pin);
    int SetPinLow(int pin);
    int SetPin(int pin, int level);
    // 0 when the pin is low (or no pin). Inverted pins give 0 or 1, the
    // others their register bit in place (pin 9 high gives 0x80).
    int ReadPin(int pin);

protected:
    std::string m_strDevicePath;  // ppdev device tried by Open
    std::uint8_t m_byControl = 0;
    std::uint8_t m_byData = 0;
    std::uint8_t m_byStatus = 0;
    std::uint16_t m_wControlPort = 0;
    std::uint16_t m_wDataPort = 0;
    std::uint16_t m_wStatusPort = 0;
    int m_bDirectIo = 0;  // 1: direct port I/O; 0: driver (or a given set)

private:
    bool TryDirectIo();

    IMessageSink& m_sink;
    std::unique_ptr<IPortRegisters> m_pRegisters;
    std::string m_strLastError;
    int m_nLastOpenErrno = 0;
    bool m_bDirectIoAllowed = true;
};
