#pragma once

#include <cstdint>
#include <string>

#include "isp/CableDescription.h"
#include "isp/PortRegisters.h"
#include "sim/SimCable.h"
#include "sim/SimChip.h"
#include "sim/SimIspTarget.h"
#include "sim/SimTargetBoard.h"

class IMessageSink;

// The simulated ISP bench in one piece: a target chip, its serial interface
// and the cable to the port. The backend's port owns it as its register set,
// so chip, target and cable live exactly as long as the backend that drives
// them.
class CSimIspRig : public IPortRegisters {
public:
    CSimIspRig(SimChipType chip, int cableType, const CableDescription& wiring);
    ~CSimIspRig() override;

    CSimIspRig(const CSimIspRig&) = delete;
    CSimIspRig& operator=(const CSimIspRig&) = delete;

    std::uint8_t Read(int offset) override { return m_cable.Read(offset); }
    void Write(int offset, std::uint8_t value) override { m_cable.Write(offset, value); }
    IIspClock* Clock() override { return &m_board.Clock(); }

    CSimChip& Chip() { return m_board.Chip(); }
    CSimIspTarget& Target() { return m_board.Target(); }
    CSimCable& Cable() { return m_cable; }
    CSimTargetBoard& Board() { return m_board; }

    // Saves the chip to path when the rig goes; a failure is shown through
    // messages, since nobody is left to ask.
    void SaveStateOnExit(const std::string& path, IMessageSink& messages);

private:
    CSimTargetBoard m_board;
    CSimCable m_cable;
};
