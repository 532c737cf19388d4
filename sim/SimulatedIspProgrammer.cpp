#include "sim/SimulatedIspProgrammer.h"

#include "platform/AppGlobals.h"
#include "programmer/Programmer.h"
#include "sim/SimIspRig.h"

SimulatedIspProgrammer MakeSimulatedIspProgrammer(CProgrammer& controller, int cableType,
                                                  int latchMode, const SimIspOptions& options)
{
    const CableDescription wiring =
        options.wiring ? *options.wiring
                       : CableDescription::ForType(cableType, IniFilePath("Quenby.ini"));
    auto rig = std::make_unique<CSimIspRig>(options.chip, cableType, wiring);
    PrepareSimTarget(rig->Board(), controller, options);

    if (!options.statePath.empty())
        rig->Board().KeepState(options.statePath, controller.Messages());

    SimulatedIspProgrammer result;
    result.rig = rig.get();
    result.backend = std::make_unique<CIspProgrammer>(controller.Messages());
    result.backend->InitWith(&controller, std::move(rig), cableType, latchMode);
    return result;
}
