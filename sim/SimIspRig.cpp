#include "sim/SimIspRig.h"

CSimIspRig::CSimIspRig(SimChipType chip, int cableType, const CableDescription& wiring)
    : m_board(chip), m_cable(m_board.Target(), cableType, wiring)
{
}

CSimIspRig::~CSimIspRig() = default;

void CSimIspRig::SaveStateOnExit(const std::string& path, IMessageSink& messages)
{
    m_board.SaveStateOnExit(path, messages);
}
