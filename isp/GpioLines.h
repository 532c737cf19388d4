#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "isp/GpioLineRequest.h"
#include "isp/GpioWiring.h"
#include "isp/IspLines.h"
#include "isp/SteadyIspClock.h"

// The programming lines on GPIO lines of one chip (a Raspberry Pi's header,
// a USB GPIO expander): each change is one set of one line, MISO one read.
// The lines were requested when the backend opened and are released when
// it goes. MOSI and SCK are driven only during an operation: between
// operations they are inputs and RST is low, so the target runs undisturbed.
//
// A GPIO line toggles faster than the target may be clocked, so a frame
// keeps each SCK phase at least IspTiming::MinSckPhase of the crystal long,
// waiting on a monotonic clock where the line operations themselves do not
// take that long; MOSI is set only when it changes.
class CGpioLines : public IIspLines {
public:
    // request is null when the open failed; failure then says why. The chip
    // is the one the request found, where it looked it up.
    CGpioLines(GpioWiring wiring, std::unique_ptr<IGpioLineRequest> request,
               LinesOpenFailure failure, double crystalHz = 12e6);

    bool IsOpen() const override { return m_pRequest != nullptr; }
    std::string Describe() const override { return "GPIO chip " + m_wiring.m_strChip; }
    std::string LastError() const override { return m_strError; }
    PortOpenFailure OpenFailure() const override { return m_openFailure; }
    bool Failed() const override { return m_bFailed; }

    void SetMosi(int level) override { Drive(IGpioLineRequest::kMosi, m_wiring.m_nMosi, level); }
    void SetRst(int level) override { Drive(IGpioLineRequest::kRst, m_wiring.m_nRst, level); }
    void SetSck(int level) override;
    int ReadMiso() override;
    void Shift(std::span<const std::uint8_t> tx, std::span<std::uint8_t> rx) override;
    void Wait(std::chrono::nanoseconds duration) override;
    void EnableOutputs(bool on) override;
    void ReleaseTarget() override { EnableOutputs(false); }
    // Held by the clock before the next Shift's last rising SCK edge.
    void HoldNextFrameEnd(std::chrono::nanoseconds duration) override;

    const GpioWiring& Wiring() const { return m_wiring; }
    std::chrono::nanoseconds MinSckPhase() const { return m_minPhase; }

private:
    void Drive(IGpioLineRequest::Line line, int offset, int level);
    // The first failure is kept: later ones follow from it.
    void Fail(int offset, int error);
    IIspClock& Clock() { return m_pClock ? *m_pClock : m_steadyClock; }

    const GpioWiring m_wiring;
    std::unique_ptr<IGpioLineRequest> m_pRequest;
    const PortOpenFailure m_openFailure;
    std::string m_strError;
    std::atomic<bool> m_bFailed{false};

    CSteadyIspClock m_steadyClock;
    IIspClock* m_pClock = nullptr;  // the request's, when it keeps one
    const std::chrono::nanoseconds m_minPhase;
    // The levels driven last (-1: not yet known) and when SCK last changed.
    int m_nMosi = -1;
    int m_nSck = -1;
    std::chrono::nanoseconds m_tSck{0};
    bool m_bDriving = false;  // MOSI and SCK are outputs
    // The next Shift's last bit goes no sooner (m_bHold).
    bool m_bHold = false;
    std::chrono::nanoseconds m_tHold{0};
};
