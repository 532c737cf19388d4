#include "sim/SimulatedSpiProgrammer.h"

#include "programmer/Programmer.h"
#include "sim/SimSpiRig.h"

SimulatedSpiProgrammer MakeSimulatedSpiProgrammer(CProgrammer& controller,
                                                  const SimIspOptions& options)
{
    const SpiWiring host = CSpiProgrammer::WiringFor(controller);
    const SpiWiring board = options.spiWiring ? *options.spiWiring : host;

    SimulatedSpiProgrammer result;
    auto rig = CSimSpiRig::Make(
        options.chip, board,
        CSimSpiRig::Options{options.gpioLineCount, options.gpioBusyLines, options.accessDenied,
                            options.gpioLineTime});
    PrepareSimTarget(rig->Board(), controller, options);
    result.backend = std::make_unique<CSpiProgrammer>();
    const int ready = result.backend->Open(
        &controller, host,
        [&](const SpiWiring& wiring, std::uint32_t hz, LinesOpenFailure& failure) {
            return rig->OpenBus(wiring, hz, failure);
        },
        [&](const GpioWiring& wiring, LinesOpenFailure& failure) {
            return rig->RequestRst(wiring, failure);
        });
    if (ready) {
        if (!options.statePath.empty())
            rig->Board().KeepState(options.statePath, controller.Messages());
        result.rig = rig;
    }
    return result;
}
