#pragma once

#include <string>

#include "sim/SimChip.h"
#include "sim/SimClock.h"
#include "sim/SimIspTarget.h"

class IMessageSink;

// The target side of every simulated ISP bench: an AT89S51/52, its serial
// programming interface and the model clock both keep time by, optionally
// kept in a state file across runs. The benches differ only in how the
// host's lines reach its pins and what each of their operations costs on
// the clock.
class CSimTargetBoard {
public:
    explicit CSimTargetBoard(SimChipType chip);
    ~CSimTargetBoard();

    CSimTargetBoard(const CSimTargetBoard&) = delete;
    CSimTargetBoard& operator=(const CSimTargetBoard&) = delete;

    CSimChip& Chip() { return m_chip; }
    CSimIspTarget& Target() { return m_target; }
    CSimClock& Clock() { return m_clock; }

    // Loads the chip from path when the file exists and saves it there when
    // the board goes. A file that cannot be loaded is shown through messages
    // and left alone (the chip starts erased and is not saved over it);
    // false then.
    bool KeepState(const std::string& path, IMessageSink& messages);
    // Saves to path when the board goes, without loading; a failure is shown
    // through messages, since nobody is left to ask.
    void SaveStateOnExit(const std::string& path, IMessageSink& messages);

private:
    CSimChip m_chip;
    CSimClock m_clock;
    CSimIspTarget m_target{m_chip, m_clock};
    std::string m_strStatePath;
    IMessageSink* m_pMessages = nullptr;
};
