#include "isp/FtdiProgrammer.h"

#include <cerrno>
#include <optional>

#include "isp/FtdiLines.h"
#include "isp/IspSettings.h"
#include "isp/LibFtdiBitBang.h"
#include "platform/AppGlobals.h"
#include "platform/UiText.h"
#include "programmer/Programmer.h"

int CFtdiProgrammer::OpenBackend(CProgrammer& programmer, int progType, int /*ispSetting*/)
{
    // Opened before it is handed over: a controller without a slot for the
    // type drops the backend at once.
    auto ftdi = std::make_unique<CFtdiProgrammer>();
    const int ready = ftdi->Open(&programmer, WiringFor(programmer), &CLibFtdiBitBang::Open);
    programmer.SetBackend(progType, std::move(ftdi));
    return ready;
}

FtdiWiring CFtdiProgrammer::WiringFor(const CProgrammer& programmer)
{
    FtdiWiring wiring = FtdiWiring::FromIni(IniFilePath("Quenby.ini"));
    if (!programmer.m_strPortPath.empty())
        wiring.m_strDevice = programmer.m_strPortPath;
    wiring.m_dCrystalHz = IspSettings::For(programmer).CrystalHz();
    return wiring;
}

int CFtdiProgrammer::Open(CProgrammer* controller, const FtdiWiring& wiring,
                          const CableOpener& opener)
{
    std::string error;
    LinesOpenFailure failure;
    std::unique_ptr<IFtdiBitBang> cable;
    const std::optional<FtdiAddress> address = FtdiAddress::Parse(wiring.m_strDevice, &error);
    if (!address) {
        failure = {wiring.m_strDevice + ": " + error,
                   {wiring.m_strDevice, EINVAL, "FTDI",
                    Tr("线缆应写作 ftdi 或 ftdi:VID:PID[:SERIAL], 请检查 --port 或 Quenby.ini 的 [FTDI] 节")}};
    } else if (const std::string problem = wiring.Problem(); !problem.empty()) {
        failure = address->Failure(
            address->ToString() + ": " + problem + " (check the [FTDI] section of Quenby.ini)", EINVAL,
            Tr("请检查 Quenby.ini 的 [FTDI] 节: MOSI, MISO, SCK, RST 须为 D0..D7 中四条不同的线"));
    } else {
        cable = opener(*address, wiring, failure);
    }
    const std::string name = address ? address->ToString() : wiring.m_strDevice;
    return Init(controller, std::make_unique<CFtdiLines>(wiring, name, std::move(cable), failure));
}
