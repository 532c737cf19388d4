#include "sim/SimulatedIspProgrammer.h"

#include <filesystem>

#include "platform/AppGlobals.h"
#include "platform/MessageSink.h"
#include "programmer/Programmer.h"
#include "sim/SimIspRig.h"

SimulatedIspProgrammer MakeSimulatedIspProgrammer(CProgrammer& controller, int cableType,
                                                  int latchMode, const SimIspOptions& options)
{
    const CableDescription wiring =
        options.wiring ? *options.wiring
                       : CableDescription::ForType(cableType, IniFilePath("Quenby.ini"));
    auto rig = std::make_unique<CSimIspRig>(options.chip, cableType, wiring);

    if (!options.statePath.empty()) {
        std::error_code ec;
        bool keep = true;
        if (std::filesystem::exists(options.statePath, ec)) {
            std::string error;
            if (!rig->Chip().LoadState(options.statePath, &error)) {
                controller.Messages().ShowMessage("Simulated chip state not loaded from " +
                                                      options.statePath + ": " + error,
                                                  "Tamberlink", MessageIcon::Warning);
                // Saving over it would destroy what could not be read.
                keep = false;
            }
        }
        if (keep)
            rig->SaveStateOnExit(options.statePath, controller.Messages());
    }

    SimulatedIspProgrammer result;
    result.rig = rig.get();
    result.backend = std::make_unique<CIspProgrammer>(controller.Messages());
    result.backend->InitWith(&controller, std::move(rig), cableType, latchMode);
    return result;
}
