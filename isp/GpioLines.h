#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "isp/GpioLineRequest.h"
#include "isp/GpioWiring.h"
#include "isp/IspLines.h"

// The programming lines on GPIO lines of one chip (a Raspberry Pi's header,
// a USB GPIO expander): each change is one set of one line, MISO one read.
// The lines were requested when the backend opened and are released when
// it goes. MOSI and SCK are driven only during an operation: between
// operations they are inputs and RST is low, so the target runs undisturbed.
class CGpioLines : public IIspLines {
public:
    // request is null when the open failed; failure then says why. The chip
    // is the one the request found, where it looked it up.
    CGpioLines(GpioWiring wiring, std::unique_ptr<IGpioLineRequest> request,
               LinesOpenFailure failure);

    bool IsOpen() const override { return m_pRequest != nullptr; }
    std::string Describe() const override { return "GPIO chip " + m_wiring.m_strChip; }
    std::string LastError() const override { return m_strError; }
    PortOpenFailure OpenFailure() const override { return m_openFailure; }
    bool Failed() const override { return m_bFailed; }

    void SetMosi(int level) override { Drive(IGpioLineRequest::kMosi, m_wiring.m_nMosi, level); }
    void SetRst(int level) override { Drive(IGpioLineRequest::kRst, m_wiring.m_nRst, level); }
    void SetSck(int level) override { Drive(IGpioLineRequest::kSck, m_wiring.m_nSck, level); }
    int ReadMiso() override;
    void EnableOutputs(bool on) override;
    void ReleaseTarget() override { EnableOutputs(false); }

    const GpioWiring& Wiring() const { return m_wiring; }

private:
    void Drive(IGpioLineRequest::Line line, int offset, int level);
    // The first failure is kept: later ones follow from it.
    void Fail(int offset, int error);

    const GpioWiring m_wiring;
    std::unique_ptr<IGpioLineRequest> m_pRequest;
    const PortOpenFailure m_openFailure;
    std::string m_strError;
    std::atomic<bool> m_bFailed{false};
    bool m_bDriving = false;  // MOSI and SCK are outputs
};
