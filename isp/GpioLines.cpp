#include "isp/GpioLines.h"

namespace {

GpioWiring OnChip(GpioWiring wiring, const IGpioLineRequest* request)
{
    if (request && !request->ChipName().empty()) {
        wiring.m_strChip = request->ChipName();
        wiring.m_bHeaderChip = false;
    }
    return wiring;
}

}  // namespace

CGpioLines::CGpioLines(GpioWiring wiring, std::unique_ptr<IGpioLineRequest> request,
                       LinesOpenFailure failure)
    : m_wiring(OnChip(std::move(wiring), request.get()))
    , m_pRequest(std::move(request))
    , m_openFailure(m_pRequest ? PortOpenFailure{} : std::move(failure.port))
    , m_strError(m_pRequest ? std::string() : std::move(failure.text))
{
}

void CGpioLines::Fail(int offset, int error)
{
    if (m_bFailed)
        return;
    // The text first: a reader that sees the flag reads a finished text.
    m_strError = m_wiring.Explain(error, offset);
    m_bFailed = true;
}

void CGpioLines::Drive(IGpioLineRequest::Line line, int offset, int level)
{
    if (!m_pRequest)
        return;
    if (const int error = m_pRequest->Set(line, level))
        Fail(offset, error);
}

int CGpioLines::ReadMiso()
{
    if (!m_pRequest)
        return 0;
    const int value = m_pRequest->Get(IGpioLineRequest::kMiso);
    if (value < 0) {
        Fail(m_wiring.m_nMiso, -value);
        // A line that cannot be read counts as pulled high, like a silent
        // device: nothing read from it matches.
        return 1;
    }
    return value;
}

void CGpioLines::EnableOutputs(bool on)
{
    if (!m_pRequest || m_bDriving == on)
        return;
    m_bDriving = on;
    // Named by MOSI, the first line whose direction changes.
    if (const int error = m_pRequest->SetDriving(on))
        Fail(m_wiring.m_nMosi, error);
}
