#include "sim/SimIspRig.h"

#include "platform/MessageSink.h"

CSimIspRig::CSimIspRig(SimChipType chip, int cableType, const CableDescription& wiring)
    : m_chip(chip), m_cable(m_target, cableType, wiring)
{
}

CSimIspRig::~CSimIspRig()
{
    if (m_strStatePath.empty() || !m_pMessages)
        return;
    std::string error;
    if (!m_chip.SaveState(m_strStatePath, &error))
        m_pMessages->ShowMessage("Simulated chip state not saved to " + m_strStatePath + ": " + error,
                                 "Tamberlink", MessageIcon::Warning);
}

void CSimIspRig::SaveStateOnExit(const std::string& path, IMessageSink& messages)
{
    m_strStatePath = path;
    m_pMessages = &messages;
}
