#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
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
// so the line states are one stream, cut into exchanges of kExchangeBytes
// of which up to kMaxInFlight are in flight: the chip clocks what it holds
// while the next exchanges are on their way. A Shift is two states a bit
// (SCK low with MOSI set, SCK high) and one state that ends it SCK low and
// carries the last sample. Only what needs an answer waits for the stream
// to come back: a Shift with a place for its reply, a sample, a change
// outside a frame, a long wait.
//
// Time at the chip is kept in the stream wherever it can be: a wait of up
// to kLongestStreamedWait is idle states, and a held frame end (the write
// cycle before the next instruction) is idle states before the next
// frame's last rising edge. Both are counted at the fastest the chip may
// really run (libftdi accepts a rate up to 5 % off the one asked for), and
// a stall of the chip only lengthens them. A longer wait is the host's,
// once every byte before it has come back, so surely been clocked.
//
// Between operations only RST is an output, held low: the target runs
// with its port pins (MOSI and SCK on P1.5 and P1.7) free. A change of the
// outputs is a control request that the chip obeys on arrival, so it waits
// until everything before it has come back.
class CFtdiLines : public IIspLines {
public:
    // Bytes per USB exchange and exchanges in flight: together more than
    // a round trip's worth of line states on either chip family.
    static constexpr int kExchangeBytes = 256;
    static constexpr int kMaxInFlight = 4;
    // How long an exchange's samples may take to come back once the bytes
    // before them have been clocked.
    static constexpr int kReadTimeoutMs = 1000;
    // Waits up to this long are idle states in the stream.
    static constexpr std::chrono::microseconds kLongestStreamedWait{2000};

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
    void Flush() override { Drain(); }
    // MOSI and SCK outputs, low, during an operation; otherwise RST low
    // first, then it alone an output.
    void EnableOutputs(bool on) override;
    void ReleaseTarget() override { EnableOutputs(false); }
    // The open leaves every programming line an output: let go at once.
    void Prepare() override { ReleaseTarget(); }

    // How long the chip holds each state at the rate it was asked for.
    std::chrono::nanoseconds StateTime() const { return m_stateTime; }
    // The idle states that last at least duration at the fastest the chip
    // may run.
    std::size_t StatesFor(std::chrono::nanoseconds duration) const;

private:
    struct Sample {
        std::size_t index;  // of the byte whose sample it is, in its exchange
        std::uint8_t* byte;
        std::uint8_t mask;
    };
    struct InFlight {
        std::size_t size;
        std::vector<Sample> samples;
    };

    void Drive(int line, int level);
    // Appends the outputs' levels to the stream.
    void Queue();
    // Starts the exchange put together so far, once fewer than
    // kMaxInFlight are in flight (collecting the oldest until then).
    void Submit();
    // Waits for the oldest exchange and fills the samples asked of it.
    void CollectOldest();
    // Everything queued goes, and every sample asked for is filled in.
    void Drain();
    // A failure leaves MISO reading high from then on.
    void Fail(const std::string& why);
    // The samples asked of an exchange from what came back (nullptr:
    // nothing did).
    void Fill(const std::vector<Sample>& samples, const std::uint8_t* in) const;
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
    double m_dFastestStatesPerNs = 0;
    std::uint8_t m_byOut = 0;  // the outputs' levels, low after the open
    bool m_bInFrame = false;
    bool m_bDriving = true;  // MOSI and SCK are outputs, as the open left them
    // A held frame end: the next Shift's last rising edge comes no sooner
    // than m_nHoldStates states after the stream's byte m_nHoldFrom.
    bool m_bHold = false;
    std::uint64_t m_nHoldFrom = 0;
    std::size_t m_nHoldStates = 0;
    std::uint64_t m_nStreamPos = 0;  // bytes queued since the open
    std::vector<std::uint8_t> m_queue;
    std::vector<Sample> m_samples;  // asked of the exchange in m_queue
    std::deque<InFlight> m_inFlight;
    std::size_t m_nBytesInFlight = 0;
    std::vector<std::uint8_t> m_in;
};
