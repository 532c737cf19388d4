#pragma once

#include <memory>
#include <string>
#include <vector>

#include "programmer/DeviceRecord.h"
#include "settings/core/SettingsRecord.h"

class CBoardSimulator;
class CProgrammerSession;
class IMessageSink;

// Demo mode's hardware: a simulated programmer board on a pseudo-terminal
// for programmer type 0, and for the ISP kinds (parallel-port cables 1..3,
// GPIO lines 4, FTDI cable 5) their simulated lines, each with an
// AT89S51/52 in it, so the window works on a machine without the hardware.
// Must outlive the session it is attached to: the board keeps serving until
// the session's serial port has closed.
class CSimulatedHardware {
public:
    struct Options {
        // The board takes as long per byte as a real line at the settings'
        // baud rate would.
        bool paced = true;
    };

    explicit CSimulatedHardware(Options options);
    ~CSimulatedHardware();

    CSimulatedHardware(const CSimulatedHardware&) = delete;
    CSimulatedHardware& operator=(const CSimulatedHardware&) = delete;

    // Before session.Start(settings): starts the board and points the
    // controller's serial port at it, or installs the simulated cable as
    // the session's backend. devices picks the chip (the stored device's
    // name, AT89S52 otherwise). false, with the reason shown through
    // messages, when the board cannot be started.
    bool Attach(CProgrammerSession& session, const SettingsRecord& settings,
                const std::vector<DeviceRecord>& devices, IMessageSink& messages);

    // The running board (type 0), else nullptr.
    CBoardSimulator* Board() const { return m_pBoard.get(); }
    // The simulated board's line, empty when none runs.
    std::string DevicePath() const;
    // The baud the board is paced at; 0 when no board runs.
    int Baud() const { return m_nBaud; }

    void Stop();

private:
    Options m_options;
    std::unique_ptr<CBoardSimulator> m_pBoard;
    int m_nBaud = 0;
};
