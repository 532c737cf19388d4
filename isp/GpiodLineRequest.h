#pragma once

#include <memory>
#include <string>

#include "isp/GpioLineRequest.h"
#include "isp/GpioWiring.h"

struct gpiod_chip;
struct gpiod_line;

// The four lines on a real GPIO chip, through libgpiod 1.x. A thin wrapper:
// everything it decides is in GpioWiring and CGpioLines, which the tests run
// on the simulated chip.
class CGpiodLineRequest : public IGpioLineRequest {
public:
    static constexpr const char* kConsumer = "tamberlink";

    // Opens the chip and requests the lines, outputs low, under the consumer
    // name "tamberlink". nullptr with the reason (GpioWiring::Failure) in
    // failure when that fails; a build without libgpiod always fails.
    static std::unique_ptr<IGpioLineRequest> Request(const GpioWiring& wiring,
                                                     LinesOpenFailure& failure);

    ~CGpiodLineRequest() override;

    CGpiodLineRequest(const CGpiodLineRequest&) = delete;
    CGpiodLineRequest& operator=(const CGpiodLineRequest&) = delete;

    int Set(Line line, int level) override;
    int Get(Line line) override;

private:
    CGpiodLineRequest() = default;

    gpiod_chip* m_pChip = nullptr;
    gpiod_line* m_pLines[4] = {};
};
