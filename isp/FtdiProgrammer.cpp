#include "isp/FtdiProgrammer.h"

#include <optional>

#include "isp/FtdiLines.h"
#include "isp/LibFtdiBitBang.h"
#include "platform/AppGlobals.h"
#include "programmer/Programmer.h"

int CFtdiProgrammer::OpenBackend(CProgrammer& programmer, int progType, int /*ispSetting*/)
{
    auto ftdi = std::make_unique<CFtdiProgrammer>();
    CFtdiProgrammer* backend = ftdi.get();
    programmer.SetBackend(progType, std::move(ftdi));
    return backend->Open(&programmer, WiringFor(programmer), &CLibFtdiBitBang::Open);
}

FtdiWiring CFtdiProgrammer::WiringFor(const CProgrammer& programmer)
{
    FtdiWiring wiring = FtdiWiring::FromIni(IniFilePath("Quenby.ini"));
    if (!programmer.m_strPortPath.empty())
        wiring.m_strDevice = programmer.m_strPortPath;
    return wiring;
}

int CFtdiProgrammer::Open(CProgrammer* controller, const FtdiWiring& wiring,
                          const CableOpener& opener)
{
    std::string error;
    std::unique_ptr<IFtdiBitBang> cable;
    const std::optional<FtdiAddress> address = FtdiAddress::Parse(wiring.m_strDevice, &error);
    if (!address) {
        error = wiring.m_strDevice + ": " + error;
    } else if (const std::string problem = wiring.Problem(); !problem.empty()) {
        error = address->ToString() + ": " + problem + " (check the [FTDI] section of Quenby.ini)";
    } else {
        cable = opener(*address, wiring, error);
    }
    const std::string name = address ? address->ToString() : wiring.m_strDevice;
    return Init(controller, std::make_unique<CFtdiLines>(wiring, name, std::move(cable), error));
}
