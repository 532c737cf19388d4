#include "isp/PinMap.h"

#include "isp/PortRegisters.h"

namespace {

// Indexed by DB-25 pin number; entry 0 is a placeholder for "no pin".
constexpr PinInfo kPins[18] = {
    {},
    {IPortRegisters::kControl, 0, true, true},   // 1  /STROBE
    {IPortRegisters::kData, 0, false, true},     // 2  D0
    {IPortRegisters::kData, 1, false, true},     // 3  D1
    {IPortRegisters::kData, 2, false, true},     // 4  D2
    {IPortRegisters::kData, 3, false, true},     // 5  D3
    {IPortRegisters::kData, 4, false, true},     // 6  D4
    {IPortRegisters::kData, 5, false, true},     // 7  D5
    {IPortRegisters::kData, 6, false, true},     // 8  D6
    {IPortRegisters::kData, 7, false, true},     // 9  D7
    {IPortRegisters::kStatus, 6, false, false},  // 10 /ACK
    {IPortRegisters::kStatus, 7, true, false},   // 11 BUSY
    {IPortRegisters::kStatus, 5, false, false},  // 12 PAPER END
    {IPortRegisters::kStatus, 4, false, false},  // 13 SELECT
    {IPortRegisters::kControl, 1, true, true},   // 14 /AUTOFD
    {IPortRegisters::kStatus, 3, false, false},  // 15 /ERROR
    {IPortRegisters::kControl, 2, false, true},  // 16 /INIT
    {IPortRegisters::kControl, 3, true, true},   // 17 /SELECT IN
};

} // namespace

std::optional<PinInfo> LookupPin(int pin)
{
    if (pin < 1 || pin > 17)
        return std::nullopt;
    return kPins[pin];
}
