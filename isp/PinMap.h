#pragma once

#include <optional>

// Where each DB-25 connector pin sits in the port's registers. Inverted pins
// are high when their register bit is 0. Pin 0 and pins above 17 are "no pin".
struct PinInfo {
    int reg = 0;  // IPortRegisters::kData, kStatus or kControl
    int bit = 0;
    bool inverted = false;
    bool settable = false;
};

// nullopt for pin 0, pins above 17 and negative numbers.
std::optional<PinInfo> LookupPin(int pin);
