#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "isp/GpioLineRequest.h"
#include "isp/IspLines.h"
#include "isp/SpiBus.h"
#include "isp/SpiWiring.h"
#include "isp/SteadyIspClock.h"

// The programming lines on an SPI controller: MOSI, MISO and SCK are the
// controller's, RST is a GPIO line. The controller clocks whole bytes, so
// every Shift (an instruction frame, a page) is one transfer; between
// transfers SCK idles low (mode 0), and MOSI and SCK changes have nothing
// to drive. Waits pass on the bus's clock, or the system's.
class CSpiLines : public IIspLines {
public:
    // The SPI clock for a target on a crystal of crystalHz: the controller's
    // SCK is symmetric, so each phase is half a period, and neither may be
    // shorter than IspTiming::MinSckPhase.
    static std::uint32_t ClockFor(double crystalHz);

    // bus and rst are null when the open failed; failure then says why.
    CSpiLines(SpiWiring wiring, std::unique_ptr<ISpiBus> bus,
              std::unique_ptr<IGpioLineRequest> rst, LinesOpenFailure failure);

    bool IsOpen() const override { return m_pBus && m_pRst; }
    std::string Describe() const override { return "SPI device " + m_wiring.m_strDevice; }
    std::string LastError() const override { return m_strError; }
    PortOpenFailure OpenFailure() const override { return m_openFailure; }
    bool Failed() const override { return m_bFailed; }

    void Prepare() override { SetRst(0); }

    void SetMosi(int) override {}
    void SetRst(int level) override;
    void SetSck(int) override {}
    // MISO belongs to the controller between transfers: the last bit it
    // brought in.
    int ReadMiso() override { return m_bLastMiso ? 1 : 0; }

    // One transfer. A failure leaves MISO reading high from then on.
    void Shift(std::span<const std::uint8_t> tx, std::span<std::uint8_t> rx) override;
    void Wait(std::chrono::nanoseconds duration) override;
    // The next transfer starts so that its last bit, clocked no faster than
    // the bus's clock, lands no sooner than duration from now: the bits
    // before it overlap the wait.
    void HoldNextFrameEnd(std::chrono::nanoseconds duration) override;

    const SpiWiring& Wiring() const { return m_wiring; }
    std::uint32_t ClockHz() const { return m_pBus ? m_pBus->ClockHz() : 0; }

private:
    void Fail(const std::string& why);
    IIspClock& Clock() { return m_pClock ? *m_pClock : m_steadyClock; }

    const SpiWiring m_wiring;
    std::unique_ptr<ISpiBus> m_pBus;
    std::unique_ptr<IGpioLineRequest> m_pRst;
    const PortOpenFailure m_openFailure;
    std::string m_strError;
    std::atomic<bool> m_bFailed{false};
    bool m_bLastMiso = true;
    std::vector<std::uint8_t> m_discard;

    CSteadyIspClock m_steadyClock;
    IIspClock* m_pClock = nullptr;  // the bus's, when it keeps one
    // The next Shift's last bit goes no sooner (m_bHold).
    bool m_bHold = false;
    std::chrono::nanoseconds m_tHold{0};
};
