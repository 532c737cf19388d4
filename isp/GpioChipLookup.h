#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "isp/GpioWiring.h"

// Which GPIO chip's device node a wiring means, found the way gpiodetect
// finds chips: the nodes gpiochipN in the device folder, each with its
// label. A number is gpiochipN, a path is itself, a name is the node of that
// name and anything else a label. With no chip given, the Raspberry Pi
// header's controller is found by its label, and the wiring's chip is taken
// where no chip has one of those labels (another board).
class CGpioChipLookup {
public:
    // The label of the chip at a device path; empty when it cannot be
    // opened (the open that follows says why).
    using LabelReader = std::function<std::string(const std::string& path)>;

    CGpioChipLookup(std::string deviceDir, LabelReader labelOf);

    // The device path to open; empty when no node has the name and no chip
    // the label.
    std::string Find(const GpioWiring& wiring) const;
    // The chips' nodes in the folder, by number.
    std::vector<std::string> ChipPaths() const;

private:
    std::string ByName(const std::string& chip) const;
    // The first chip with the first of labels that any chip has; empty when
    // none has any.
    std::string ByLabel(std::span<const char* const> labels) const;

    const std::string m_strDeviceDir;
    const LabelReader m_labelOf;
};
