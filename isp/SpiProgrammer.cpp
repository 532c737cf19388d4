#include "isp/SpiProgrammer.h"

#include <cerrno>

#include "isp/GpiodLineRequest.h"
#include "isp/IspSettings.h"
#include "isp/SpiLines.h"
#include "isp/SpidevBus.h"
#include "platform/AppGlobals.h"
#include "platform/UiText.h"
#include "programmer/Programmer.h"

int CSpiProgrammer::OpenBackend(CProgrammer& programmer, int progType, int /*ispSetting*/)
{
    // Opened before it is handed over: a controller without a slot for the
    // type drops the backend at once.
    auto spi = std::make_unique<CSpiProgrammer>();
    const int ready = spi->Open(&programmer, WiringFor(programmer), &CSpidevBus::Open,
                                &CGpiodLineRequest::Request);
    programmer.SetBackend(progType, std::move(spi));
    return ready;
}

SpiWiring CSpiProgrammer::WiringFor(const CProgrammer& programmer)
{
    SpiWiring wiring = SpiWiring::FromIni(IniFilePath("Quenby.ini"));
    // The command line checked the form already; a path from elsewhere that
    // is not one leaves the file's wiring.
    if (!programmer.m_strPortPath.empty())
        wiring.ApplyPort(programmer.m_strPortPath);
    return wiring;
}

int CSpiProgrammer::Open(CProgrammer* controller, const SpiWiring& wiring,
                         const BusOpener& openBus,
                         const CGpioProgrammer::LineRequester& requestRst)
{
    const std::uint32_t hz = CSpiLines::ClockFor(IspSettings::For(*controller).CrystalHz());
    LinesOpenFailure failure;
    std::unique_ptr<ISpiBus> bus;
    std::unique_ptr<IGpioLineRequest> rst;
    if (const std::string problem = wiring.Problem(); !problem.empty()) {
        failure = {wiring.m_strDevice + ": " + problem + " (check the [SPI] section of Quenby.ini)",
                   {wiring.m_strDevice, EINVAL, "SPI", Tr("请检查 Quenby.ini 的 [SPI] 节")}};
    } else if ((bus = openBus(wiring, hz, failure))) {
        LinesOpenFailure rstFailure;
        rst = requestRst(wiring.RstWiring(), rstFailure);
        if (!rst) {
            failure = wiring.RstFailure(rstFailure);
            bus.reset();
        }
    }
    return Init(controller,
                std::make_unique<CSpiLines>(wiring, std::move(bus), std::move(rst), failure));
}
