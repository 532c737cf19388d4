#include "app/SimulatedHardware.h"

#include "app/core/ProgrammerSession.h"
#include "platform/MessageSink.h"
#include "sim/BoardSimulator.h"
#include "sim/SimulatedBackends.h"

namespace {

bool WantsAt89S51(const SettingsRecord& settings, const std::vector<DeviceRecord>& devices)
{
    const int index = settings.deviceIndex;
    return index >= 0 && index < int(devices.size()) && devices[std::size_t(index)].name == "AT89S51";
}

}  // namespace

CSimulatedHardware::CSimulatedHardware(Options options) : m_options(options)
{
}

CSimulatedHardware::~CSimulatedHardware()
{
    Stop();
}

bool CSimulatedHardware::Attach(CProgrammerSession& session, const SettingsRecord& settings,
                                const std::vector<DeviceRecord>& devices,
                                IMessageSink& messages)
{
    const bool at89s51 = WantsAt89S51(settings, devices);
    SimIspOptions sim;
    sim.chip = at89s51 ? SimChipType::AT89S51 : SimChipType::AT89S52;
    CBackendTable isp = SimulatedIspBackends(sim);
    if (isp.Serves(settings.progType)) {
        // The simulated ISP programmers stand where the port, the GPIO chip
        // or the FTDI cable would be: same backend, same start-up report.
        session.SetBackendOpener(
            [isp = std::move(isp)](CProgrammer& programmer, int progType, int ispSetting) {
                return isp.Open(programmer, progType, ispSetting);
            });
        return true;
    }
    if (settings.progType != 0)
        return true;  // no such programmer to simulate; the real one is tried

    Stop();
    CBoardSimulator::Options board;
    board.at89s51 = at89s51;
    board.baud = settings.baudSel == 1 ? 57600 : 115200;
    board.paced = m_options.paced;
    m_pBoard = std::make_unique<CBoardSimulator>(board);
    if (!m_pBoard->Start()) {
        messages.ShowMessage("Cannot start the simulated programmer board: "
                                 + m_pBoard->LastError(),
                             "Tamberlink", MessageIcon::Warning);
        m_pBoard.reset();
        return false;
    }
    m_nBaud = board.baud;
    session.Programmer().m_strPortPath = m_pBoard->DevicePath();
    return true;
}

std::string CSimulatedHardware::DevicePath() const
{
    return m_pBoard ? m_pBoard->DevicePath() : std::string();
}

void CSimulatedHardware::Stop()
{
    if (m_pBoard)
        m_pBoard->Stop();
    m_nBaud = 0;
}
