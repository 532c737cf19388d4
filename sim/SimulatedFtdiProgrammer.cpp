#include "sim/SimulatedFtdiProgrammer.h"

#include "programmer/Programmer.h"
#include "sim/SimFtdiRig.h"

SimulatedFtdiProgrammer MakeSimulatedFtdiProgrammer(CProgrammer& controller,
                                                    const SimIspOptions& options)
{
    const FtdiWiring host = CFtdiProgrammer::WiringFor(controller);
    const FtdiWiring board = options.ftdiWiring ? *options.ftdiWiring : host;

    SimulatedFtdiProgrammer result;
    result.backend = std::make_unique<CFtdiProgrammer>();
    result.backend->Open(&controller, host,
                         [&](const FtdiAddress& address, const FtdiWiring& wiring,
                             LinesOpenFailure& failure) -> std::unique_ptr<IFtdiBitBang> {
                             auto rig = std::make_unique<CSimFtdiRig>(
                                 options.chip, board,
                                 CSimFtdiRig::Identity{options.ftdiVendor, options.ftdiProduct,
                                                       options.ftdiSerial, options.accessDenied,
                                                       options.ftdiLatency,
                                                       options.ftdiRateError});
                             PrepareSimTarget(rig->Board(), controller, options);
                             if (!rig->Open(address, wiring, failure))
                                 return nullptr;
                             if (!options.statePath.empty())
                                 rig->Board().KeepState(options.statePath, controller.Messages());
                             result.rig = rig.get();
                             return rig;
                         });
    return result;
}
