#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "isp/FtdiAddress.h"
#include "isp/FtdiBitBang.h"
#include "isp/FtdiWiring.h"

struct ftdi_context;
struct ftdi_transfer_control;

// A real FTDI chip in synchronous bit-bang mode, through libftdi1. A thin
// wrapper: the batching and every decision on the lines are in CFtdiLines,
// which the tests run on the simulated cable.
//
// Exchanges are libftdi's asynchronous transfers: each is a write submitted
// at once and a read of its samples. libftdi reads into one buffer of the
// context, so only one read may be in flight: the oldest exchange's, the
// next one's submitted as soon as it is collected. A transfer is waited for
// with a time limit of our own (libftdi's reads resubmit themselves for as
// long as the chip answers, even with no data) and cancelled when it runs
// out.
class CLibFtdiBitBang : public IFtdiBitBang {
public:
    // The USB transfer size of reads, rounded up to whole packets: well
    // under what the line layer keeps in flight.
    static constexpr unsigned kReadChunk = 256;

    // Opens the first chip that address matches (interface A of a dual or
    // quad chip), sets the latency timer to 1 ms, synchronous bit-bang mode
    // with MOSI, SCK and RST as outputs, then the baud rate (the wiring's,
    // or the fastest the crystal allows on this chip; a rate above that is
    // refused, see FtdiRate; libftdi scales a bit-bang rate only once the
    // mode is on). nullptr with the reason in failure when any of that
    // fails; a build without libftdi1 always fails.
    static std::unique_ptr<IFtdiBitBang> Open(const FtdiAddress& address, const FtdiWiring& wiring,
                                              LinesOpenFailure& failure);

    // Cancels what is in flight, drives RST low and closes with the chip
    // left in bit-bang mode, RST its only output: the target runs, its port
    // pins free. Back in UART mode DTR would idle high and hold an RST wired
    // to it in reset.
    ~CLibFtdiBitBang() override;

    CLibFtdiBitBang(const CLibFtdiBitBang&) = delete;
    CLibFtdiBitBang& operator=(const CLibFtdiBitBang&) = delete;

    bool Submit(const std::uint8_t* data, int size) override;
    bool Collect(std::uint8_t* samples, int size, std::chrono::milliseconds timeout) override;
    // Synchronous bit-bang mode again with mask's lines as outputs; refused
    // with exchanges in flight.
    bool SetOutputs(std::uint8_t mask) override;
    std::string Error() const override { return m_strError; }
    FtdiChipKind Kind() const override { return m_kind; }
    int Baud() const override { return m_nBaud; }

private:
    struct Exchange {
        std::vector<std::uint8_t> out;  // libftdi writes from here until done
        std::vector<std::uint8_t> in;   // and reads the samples into here
        ftdi_transfer_control* write = nullptr;
        ftdi_transfer_control* read = nullptr;
    };

    CLibFtdiBitBang() = default;
    void Fail(const std::string& what);
    // Submits the read of the oldest exchange when it has none yet.
    bool StartRead();
    // Waits for transfer until deadline; its byte count, or -1 when it
    // failed or was cancelled for time (timedOut set). The transfer is gone
    // either way.
    int Finish(ftdi_transfer_control* transfer, std::chrono::steady_clock::time_point deadline,
               bool& timedOut);
    // Cancels every transfer in flight and forgets the exchanges.
    void CancelAll();

    ftdi_context* m_pContext = nullptr;
    bool m_bOpen = false;
    std::uint8_t m_byRst = 0;   // RST's bit
    std::uint8_t m_byLast = 0;  // the outputs as last submitted
    std::deque<Exchange> m_exchanges;  // in flight, oldest first
    std::string m_strName;
    std::string m_strError;
    FtdiChipKind m_kind = FtdiChipKind::FT232R;
    int m_nBaud = 0;
};
