#pragma once

// The engine on one of the simulated pin kinds (GPIO lines, an FTDI cable,
// Linux SPI), installed in a controller the way the program installs it.

#include <chrono>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>

#include "isp/IspEngine.h"
#include "platform/AppGlobals.h"
#include "programmer/Programmer.h"
#include "programmer/StatusCode.h"
#include "programmer/StatusQueue.h"
#include "sim/SimFtdiRig.h"
#include "sim/SimGpioRig.h"
#include "sim/SimSpiRig.h"
#include "sim/SimulatedBackends.h"
#include "sim/SimulatedFtdiProgrammer.h"
#include "sim/SimulatedGpioProgrammer.h"
#include "sim/SimulatedSpiProgrammer.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TempDir.h"

enum class PinKind { Gpio, Ftdi, Spi };

inline std::string PinKindName(PinKind kind)
{
    return kind == PinKind::Gpio ? "Gpio" : kind == PinKind::Ftdi ? "Ftdi" : "Spi";
}

inline void PrintTo(PinKind kind, std::ostream* os)
{
    *os << PinKindName(kind);
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
    int Open(PinKind kind, const SimIspOptions& options = {})
    {
        if (kind == PinKind::Gpio)
            m_gpio = Install(4, MakeSimulatedGpioProgrammer(m_programmer, options));
        else if (kind == PinKind::Ftdi)
            m_ftdi = Install(5, MakeSimulatedFtdiProgrammer(m_programmer, options));
        else
            m_spi = Install(6, MakeSimulatedSpiProgrammer(m_programmer, options));
        return Next();
    }
    // Hands the backend to the controller; its bench's rig.
    template <typename Made>
    auto Install(int progType, Made made) -> decltype(made.rig)
    {
        m_isp = made.backend.get();
        m_board = made.rig ? &made.rig->Board() : nullptr;
        m_programmer.SetBackend(progType, std::move(made.backend));
        return made.rig;
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
    std::shared_ptr<CSimSpiRig> m_spi;
};
