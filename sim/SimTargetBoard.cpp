#include "sim/SimTargetBoard.h"

#include <filesystem>
#include <system_error>

#include "platform/MessageSink.h"

CSimTargetBoard::CSimTargetBoard(SimChipType chip) : m_chip(chip) {}

CSimTargetBoard::~CSimTargetBoard()
{
    if (m_strStatePath.empty() || !m_pMessages)
        return;
    std::string error;
    if (!m_chip.SaveState(m_strStatePath, &error))
        m_pMessages->ShowMessage("Simulated chip state not saved to " + m_strStatePath + ": " + error,
                                 "Tamberlink", MessageIcon::Warning);
}

bool CSimTargetBoard::KeepState(const std::string& path, IMessageSink& messages)
{
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        std::string error;
        if (!m_chip.LoadState(path, &error)) {
            messages.ShowMessage("Simulated chip state not loaded from " + path + ": " + error,
                                 "Tamberlink", MessageIcon::Warning);
            // Saving over it would destroy what could not be read.
            return false;
        }
    }
    SaveStateOnExit(path, messages);
    return true;
}

void CSimTargetBoard::SaveStateOnExit(const std::string& path, IMessageSink& messages)
{
    m_strStatePath = path;
    m_pMessages = &messages;
}
