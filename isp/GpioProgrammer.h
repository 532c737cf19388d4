#pragma once

#include <functional>
#include <memory>
#include <string>

#include "isp/GpioLineRequest.h"
#include "isp/GpioWiring.h"
#include "isp/IspEngine.h"

class CProgrammer;

// The backend for ISP over GPIO lines (programmer type 4): the engine on
// four lines of one GPIO chip, such as a Raspberry Pi's header.
class CGpioProgrammer : public CIspEngine {
public:
    // Its lines keep time themselves: bytes are streamed.
    CGpioProgrammer() : CIspEngine(Algorithm::kStreamed) {}

    // Asks for the wiring's lines: the request, or nullptr with the reason
    // in failure.
    using LineRequester = std::function<std::unique_ptr<IGpioLineRequest>(
        const GpioWiring& wiring, LinesOpenFailure& failure)>;

    // Makes the backend, installs it in programmer for progType and opens it
    // on the real chip; 1 when the lines are held.
    static int OpenBackend(CProgrammer& programmer, int progType, int ispSetting);
    // The "GPIO" section of "Quenby.ini", with the chip given on the command
    // line (programmer.m_strPortPath) in place of its Chip.
    static GpioWiring WiringFor(const CProgrammer& programmer);

    // Asks requester for the wiring's lines once (a wiring that names a line
    // twice is refused first), then reports as Init does: 4 when they are
    // held, else 1 with the reason in LinesError(). Returns 1 when held.
    int Open(CProgrammer* controller, const GpioWiring& wiring, const LineRequester& requester);
};
