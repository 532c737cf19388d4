#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "isp/FtdiBitBang.h"
#include "isp/FtdiWiring.h"
#include "isp/IspLines.h"
#include "isp/SteadyIspClock.h"

// The programming lines on an FTDI chip in synchronous bit-bang mode. Every
// line change is one byte (the state of all outputs); the chip returns one
// sample of all eight lines per byte, taken before the byte takes effect,
// so "MISO now" is the sample of the next byte written. The chip clocks one
// state per period of its rate (FtdiRate), which the open chose no shorter
// than an SCK phase may be.
//
// A USB round trip costs a millisecond on an FT232R (125 us on an FT232H),
// so bytes are batched, up to kMaxBatch in flight: a Shift is two states a
// bit (SCK low with MOSI set, SCK high) and one state that ends it SCK low
// and carries the last sample; a Shift that needs no answer stays queued
// with the ones after it. A short wait is idle states in the stream, timed
// by the chip's own clock; a longer one a wait on the host. Outside a frame
// each change is an exchange of its own, so that waits between changes
// keep their meaning.
class CFtdiLines : public IIspLines {
public:
    // At most this many bytes in flight: an FT232R takes 128 bytes from the
    // host before it has clocked them out, and in synchronous mode every
    // one of them comes back as a sample that must be read.
    static constexpr int kMaxBatch = 128;
    // How long the samples of one exchange may take to come back.
    static constexpr int kReadTimeoutMs = 1000;

    // device is null when the open failed; failure then says why.
    CFtdiLines(FtdiWiring wiring, std::string name, std::unique_ptr<IFtdiBitBang> device,
               LinesOpenFailure failure);

    bool IsOpen() const override { return m_pDevice != nullptr; }
    std::string Describe() const override { return "FTDI cable " + m_strName; }
    std::string LastError() const override { return m_strError; }
    PortOpenFailure OpenFailure() const override { return m_openFailure; }
    bool Failed() const override { return m_bFailed; }

    void SetMosi(int level) override { Drive(m_wiring.m_nMosi, level); }
    void SetRst(int level) override { Drive(m_wiring.m_nRst, level); }
    void SetSck(int level) override { Drive(m_wiring.m_nSck, level); }
    int ReadMiso() override;

    void BeginFrame() override { m_bInFrame = true; }
    void SampleMiso(std::uint8_t& byte, std::uint8_t mask) override;
    void EndFrame() override;
    void Shift(std::span<const std::uint8_t> tx, std::span<std::uint8_t> rx) override;
    void Wait(std::chrono::nanoseconds duration) override;
    void HoldNextFrameEnd(std::chrono::nanoseconds duration) override;
    void Flush() override { Exchange(); }

    // How long the chip holds each state.
    std::chrono::nanoseconds StateTime() const { return m_stateTime; }

private:
    struct Sample {
        std::size_t index;  // of the byte whose sample it is
        std::uint8_t* byte;
        std::uint8_t mask;
    };

    void Drive(int line, int level);
    void Queue();
    // Writes the queued bytes in one USB write and reads their samples back,
    // filling the samples asked for. A failure leaves MISO reading high
    // from then on.
    void Exchange();
    void Fail(const std::string& why);
    bool Miso(std::uint8_t sample) const { return ((sample >> m_wiring.m_nMiso) & 1) != 0; }
    IIspClock& Clock() { return m_pClock ? *m_pClock : m_steadyClock; }

    const FtdiWiring m_wiring;
    const std::string m_strName;
    std::unique_ptr<IFtdiBitBang> m_pDevice;
    const PortOpenFailure m_openFailure;
    std::string m_strError;
    std::atomic<bool> m_bFailed{false};
    CSteadyIspClock m_steadyClock;
    IIspClock* m_pClock = nullptr;  // the cable's, when it keeps one

    std::chrono::nanoseconds m_stateTime{0};
    std::uint8_t m_byOut = 0;  // the outputs' levels, low after the open
    bool m_bInFrame = false;
    // A held frame end: the queued byte at m_nHoldIndex (once the next
    // Shift has placed it) is clocked no sooner than m_tHold.
    bool m_bHold = false;
    std::ptrdiff_t m_nHoldIndex = -1;
    std::chrono::nanoseconds m_tHold{0};
    // When the last byte written has surely been clocked out.
    std::chrono::nanoseconds m_tClockedBy{0};
    std::vector<std::uint8_t> m_queue;
    std::vector<Sample> m_samples;
    std::vector<std::uint8_t> m_in;
};
