#include "sim/SimulatedBackends.h"

#include "programmer/Programmer.h"
#include "sim/SimulatedFtdiProgrammer.h"
#include "sim/SimulatedGpioProgrammer.h"
#include "sim/SimulatedIspProgrammer.h"
#include "sim/SimulatedSpiProgrammer.h"

namespace {

// Installs a made backend; its open has been reported already.
template <typename Made>
int Install(CProgrammer& programmer, int progType, Made made)
{
    const int ready = made.backend->IsPortReady() ? 1 : 0;
    programmer.SetBackend(progType, std::move(made.backend));
    return ready;
}

}  // namespace

CBackendTable SimulatedIspBackends(const SimIspOptions& options)
{
    return CBackendTable({
        {1, 3,
         [options](CProgrammer& programmer, int progType, int ispSetting) {
             return Install(programmer, progType,
                            MakeSimulatedIspProgrammer(programmer, progType, ispSetting, options));
         }},
        {4, 4,
         [options](CProgrammer& programmer, int progType, int) {
             return Install(programmer, progType, MakeSimulatedGpioProgrammer(programmer, options));
         }},
        {5, 5,
         [options](CProgrammer& programmer, int progType, int) {
             return Install(programmer, progType, MakeSimulatedFtdiProgrammer(programmer, options));
         }},
        {6, 6,
         [options](CProgrammer& programmer, int progType, int) {
             return Install(programmer, progType, MakeSimulatedSpiProgrammer(programmer, options));
         }},
    });
}
