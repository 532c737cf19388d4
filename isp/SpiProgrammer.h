#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "isp/GpioProgrammer.h"
#include "isp/IspEngine.h"
#include "isp/SpiBus.h"
#include "isp/SpiWiring.h"

class CProgrammer;

// The backend for ISP over Linux SPI (programmer type 6): the engine on a
// spidev device's MOSI, MISO and SCK, with RST on a GPIO line.
class CSpiProgrammer : public CIspEngine {
public:
    // The controller clocks whole frames and pages: bytes are streamed.
    CSpiProgrammer() : CIspEngine(Algorithm::kStreamed) {}

    // Opens the wiring's SPI device at a clock of hz: the bus, or nullptr
    // with the reason in failure.
    using BusOpener = std::function<std::unique_ptr<ISpiBus>(
        const SpiWiring& wiring, std::uint32_t hz, LinesOpenFailure& failure)>;

    // Makes the backend, installs it in programmer for progType and opens
    // the real device and RST line; 1 when both are held.
    static int OpenBackend(CProgrammer& programmer, int progType, int ispSetting);
    // The "SPI" section of "Quenby.ini", with the command line's
    // spidevB.C[:CHIP:LINE] (programmer.m_strPortPath) in place of what it
    // names.
    static SpiWiring WiringFor(const CProgrammer& programmer);

    // Checks the wiring, opens the bus at the clock the crystal allows
    // (IspSettings), then asks for RST, then reports as Init does: 4 when
    // both are held, else 1 with the reason in LinesError(). Returns 1 when
    // held.
    int Open(CProgrammer* controller, const SpiWiring& wiring, const BusOpener& openBus,
             const CGpioProgrammer::LineRequester& requestRst);
};
