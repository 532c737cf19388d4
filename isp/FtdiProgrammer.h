#pragma once

#include <functional>
#include <memory>
#include <string>

#include "isp/FtdiAddress.h"
#include "isp/FtdiBitBang.h"
#include "isp/FtdiWiring.h"
#include "isp/IspEngine.h"

class CProgrammer;

// The backend for ISP over an FTDI cable (programmer type 5): the engine on
// four of the bit-bang lines of an FT232R, FT232H or FT2232H class chip in
// synchronous bit-bang mode.
class CFtdiProgrammer : public CIspEngine {
public:
    // Its lines keep time themselves: bytes are streamed.
    CFtdiProgrammer() : CIspEngine(Algorithm::kStreamed) {}

    // Opens the chip address names, set up for wiring: the chip, or nullptr
    // with the reason in failure.
    using CableOpener = std::function<std::unique_ptr<IFtdiBitBang>(
        const FtdiAddress& address, const FtdiWiring& wiring, LinesOpenFailure& failure)>;

    // Makes the backend, installs it in programmer for progType and opens
    // the real cable; 1 when it is open.
    static int OpenBackend(CProgrammer& programmer, int progType, int ispSetting);
    // The "FTDI" section of "Quenby.ini", with the cable given on the
    // command line (programmer.m_strPortPath) in place of its Device.
    static FtdiWiring WiringFor(const CProgrammer& programmer);

    // Checks the wiring and the cable's address, has opener open it once,
    // then reports as Init does: 4 when it is open, else 1 with the reason
    // in LinesError(). Returns 1 when open.
    int Open(CProgrammer* controller, const FtdiWiring& wiring, const CableOpener& opener);
};
