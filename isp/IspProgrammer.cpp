#include "isp/IspProgrammer.h"

#include "isp/ParallelCableLines.h"
#include "programmer/Programmer.h"

CIspProgrammer::CIspProgrammer(IMessageSink& messages) : m_messages(messages) {}

CIspProgrammer::~CIspProgrammer() = default;

int CIspProgrammer::OpenBackend(CProgrammer& programmer, int progType, int ispSetting)
{
    // Opened before it is handed over: a controller without a slot for the
    // type drops the backend at once.
    auto isp = std::make_unique<CIspProgrammer>(programmer.Messages());
    const int ready = isp->Init(&programmer, kDefaultBase, progType, ispSetting);
    programmer.SetBackend(progType, std::move(isp));
    return ready;
}

int CIspProgrammer::Init(CProgrammer* controller, int basePort, int cableType, int latchMode)
{
    // A running operation keeps the old port until it ends.
    WaitIdle();
    auto lines = std::make_unique<CParallelCableLines>(m_messages, cableType, latchMode);
    lines->SetDirectIoAllowed(m_bDirectIoAllowed);
    lines->Open(std::uint16_t(basePort));
    m_pCable = lines.get();
    return CIspEngine::Init(controller, std::move(lines));
}

int CIspProgrammer::InitWith(CProgrammer* controller, std::unique_ptr<IPortRegisters> registers,
                             int cableType, int latchMode)
{
    WaitIdle();
    auto lines = std::make_unique<CParallelCableLines>(m_messages, cableType, latchMode);
    lines->OpenWith(std::move(registers));
    m_pCable = lines.get();
    return CIspEngine::Init(controller, std::move(lines));
}

int CIspProgrammer::CableType() const
{
    return m_pCable ? m_pCable->CableType() : 0;
}

int CIspProgrammer::LatchMode() const
{
    return m_pCable ? m_pCable->LatchMode() : 0;
}

const CableDescription& CIspProgrammer::Cable() const
{
    static const CableDescription kNone;
    return m_pCable ? m_pCable->Cable() : kNone;
}
