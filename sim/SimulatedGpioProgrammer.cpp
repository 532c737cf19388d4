#include "sim/SimulatedGpioProgrammer.h"

#include "programmer/Programmer.h"
#include "sim/SimGpioRig.h"

SimulatedGpioProgrammer MakeSimulatedGpioProgrammer(CProgrammer& controller,
                                                    const SimIspOptions& options)
{
    const GpioWiring host = CGpioProgrammer::WiringFor(controller);
    const GpioWiring board = options.gpioWiring ? *options.gpioWiring : host;

    SimulatedGpioProgrammer result;
    result.backend = std::make_unique<CGpioProgrammer>();
    result.backend->Open(&controller, host,
                         [&](const GpioWiring& wiring, LinesOpenFailure& failure)
                             -> std::unique_ptr<IGpioLineRequest> {
                             auto rig = std::make_unique<CSimGpioRig>(
                                 options.chip, board,
                                 CSimGpioRig::Options{options.gpioLineCount, options.gpioBusyLines,
                                                      options.accessDenied, options.gpioLineTime});
                             PrepareSimTarget(rig->Board(), controller, options);
                             if (!rig->Request(wiring, failure))
                                 return nullptr;
                             if (!options.statePath.empty())
                                 rig->Board().KeepState(options.statePath, controller.Messages());
                             result.rig = rig.get();
                             return rig;
                         });
    return result;
}
