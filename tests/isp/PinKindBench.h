#pragma once

// A controller with the GPIO (4) or FTDI (5) backend on its simulated bench
// and an AT89S52 in its catalogue, for the tests of those kinds.

#include <chrono>
#include <fstream>
#include <string>

#include "isp/IspEngine.h"
#include "platform/AppGlobals.h"
#include "programmer/Programmer.h"
#include "programmer/StatusCode.h"
#include "programmer/StatusQueue.h"
#include "sim/SimFtdiRig.h"
#include "sim/SimGpioRig.h"
#include "sim/SimulatedBackends.h"
#include "sim/SimulatedFtdiProgrammer.h"
#include "sim/SimulatedGpioProgrammer.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TempDir.h"

enum class Kind { Gpio, Ftdi };

inline std::string Name(Kind kind)
{
    return kind == Kind::Gpio ? "Gpio" : "Ftdi";
}

class PinKindBench {
public:
    PinKindBench()
    {
        SetAppDir(m_dir.Path().string());
        // Gives the kinds their slots in the controller.
        m_programmer.SetBackendTable(&m_kinds);
        m_programmer.SetCatalogue({{"AT89S52", 2, 8, 5.0f, {0x1E, 0x52, 0x06}}});
    }

    void WriteIni(const std::string& text) { std::ofstream(m_dir.File("Quenby.ini")) << text; }

    // Opens the kind on the simulated bench; the start-up status (4 or 1).
    int Open(Kind kind, const SimIspOptions& options = {})
    {
        if (kind == Kind::Gpio) {
            auto made = MakeSimulatedGpioProgrammer(m_programmer, options);
            m_isp = made.backend.get();
            m_gpio = made.rig;
            m_board = made.rig ? &made.rig->Board() : nullptr;
            m_programmer.SetBackend(4, std::move(made.backend));
        } else {
            auto made = MakeSimulatedFtdiProgrammer(m_programmer, options);
            m_isp = made.backend.get();
            m_ftdi = made.rig;
            m_board = made.rig ? &made.rig->Board() : nullptr;
            m_programmer.SetBackend(5, std::move(made.backend));
        }
        return Next();
    }

    int Next()
    {
        for (;;) {
            const auto event = m_queue.Wait(std::chrono::seconds(60));
            if (!event)
                return -1;
            if (event->kind == StatusEvent::Kind::Status)
                return event->value;
        }
    }
    // The operation's last status, progress left out; the worker is gone.
    int Run(void (CProgrammer::*operation)(int))
    {
        (m_programmer.*operation)(0);
        return Finish();
    }
    int Finish()
    {
        int code;
        do
            code = Next();
        while (code == kStatusWriteProgress || code == kStatusReadProgress);
        m_isp->WaitIdle();
        return code;
    }

    CTempDir m_dir;
    CStatusQueue m_queue;
    CRecordingMessageSink m_messages;
    const CBackendTable m_kinds = SimulatedIspBackends({});
    CProgrammer m_programmer{m_queue, m_messages};
    CIspEngine* m_isp = nullptr;
    CSimTargetBoard* m_board = nullptr;
    CSimGpioRig* m_gpio = nullptr;
    CSimFtdiRig* m_ftdi = nullptr;
};

