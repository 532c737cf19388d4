#pragma once

#include <memory>
#include <string>

#include "isp/GpioLineRequest.h"
#include "isp/GpioWiring.h"

// The four lines on a real GPIO chip, through libgpiod 1.x or 2.x, whichever
// the build found (TAMBERLINK_GPIOD_API 1 or 2; without either every request
// fails saying so). A thin wrapper: everything it decides is in GpioWiring,
// CGpioChipLookup and CGpioLines, which the tests run on the simulated chip.
class CGpiodLineRequest : public IGpioLineRequest {
public:
    static constexpr const char* kConsumer = "tamberlink";
    static constexpr const char* kDeviceDir = "/dev";

    // Finds the chip (CGpioChipLookup), opens it and requests the lines
    // (all but those given as GpioWiring::kNoLine) under the consumer name
    // "tamberlink": RST an output, low, the others
    // inputs until SetDriving(true). nullptr with the reason
    // (GpioWiring::Failure) in failure when that fails.
    static std::unique_ptr<IGpioLineRequest> Request(const GpioWiring& wiring,
                                                     LinesOpenFailure& failure);
    // The same, with the chips' nodes looked for in deviceDir.
    static std::unique_ptr<IGpioLineRequest> RequestIn(const std::string& deviceDir,
                                                       const GpioWiring& wiring,
                                                       LinesOpenFailure& failure);

    ~CGpiodLineRequest() override;

    CGpiodLineRequest(const CGpiodLineRequest&) = delete;
    CGpiodLineRequest& operator=(const CGpiodLineRequest&) = delete;

    int Set(Line line, int level) override;
    int Get(Line line) override;
    int SetDriving(bool on) override;
    std::string ChipName() const override { return m_strChipName; }

private:
    // The library's objects, as the version in use has them.
    struct Handles;

    CGpiodLineRequest();
    // The wiring with the chip that lookup found, for failures that name it.
    static GpioWiring OnChip(const GpioWiring& wiring, const std::string& path);

    std::unique_ptr<Handles> m_pHandles;
    std::string m_strChipName;
};
