#include "isp/GpioProgrammer.h"

#include "isp/GpioLines.h"
#include "isp/GpiodLineRequest.h"
#include "isp/IspSettings.h"
#include "platform/AppGlobals.h"
#include "programmer/Programmer.h"

int CGpioProgrammer::OpenBackend(CProgrammer& programmer, int progType, int /*ispSetting*/)
{
    // Opened before it is handed over: a controller without a slot for the
    // type drops the backend at once.
    auto gpio = std::make_unique<CGpioProgrammer>();
    const int ready = gpio->Open(&programmer, WiringFor(programmer), &CGpiodLineRequest::Request);
    programmer.SetBackend(progType, std::move(gpio));
    return ready;
}

GpioWiring CGpioProgrammer::WiringFor(const CProgrammer& programmer)
{
    GpioWiring wiring = GpioWiring::FromIni(IniFilePath("Quenby.ini"));
    if (!programmer.m_strPortPath.empty()) {
        wiring.m_strChip = programmer.m_strPortPath;
        wiring.m_bHeaderChip = false;
    }
    return wiring;
}

int CGpioProgrammer::Open(CProgrammer* controller, const GpioWiring& wiring,
                          const LineRequester& requester)
{
    LinesOpenFailure failure;
    std::unique_ptr<IGpioLineRequest> request;
    if (const std::string problem = wiring.Problem(); !problem.empty())
        failure = wiring.ProblemFailure(problem);
    else
        request = requester(wiring, failure);
    const double crystalHz = IspSettings::For(*controller).CrystalHz();
    return Init(controller,
                std::make_unique<CGpioLines>(wiring, std::move(request), failure, crystalHz));
}
