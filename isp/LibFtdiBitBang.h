#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "isp/FtdiAddress.h"
#include "isp/FtdiBitBang.h"
#include "isp/FtdiWiring.h"

struct ftdi_context;

// A real FTDI chip in synchronous bit-bang mode, through libftdi1. A thin
// wrapper: the batching and every decision on the lines are in CFtdiLines,
// which the tests run on the simulated cable.
class CLibFtdiBitBang : public IFtdiBitBang {
public:
    // Opens the first chip that address matches (interface A of a dual or
    // quad chip), sets the latency timer to 1 ms, synchronous bit-bang mode
    // with MOSI, SCK and RST as outputs, then the baud rate (the wiring's,
    // or the fastest the crystal allows on this chip; a rate above that is
    // refused, see FtdiRate; libftdi scales a bit-bang rate only once the
    // mode is on). nullptr with the reason in failure when any of that
    // fails; a build without libftdi1 always fails.
    static std::unique_ptr<IFtdiBitBang> Open(const FtdiAddress& address, const FtdiWiring& wiring,
                                              LinesOpenFailure& failure);

    // Drives RST low and closes with the chip left in bit-bang mode, RST its
    // only output: the target runs, its port pins free. Back in UART mode
    // DTR would idle high and hold an RST wired to it in reset.
    ~CLibFtdiBitBang() override;

    CLibFtdiBitBang(const CLibFtdiBitBang&) = delete;
    CLibFtdiBitBang& operator=(const CLibFtdiBitBang&) = delete;

    bool Write(const std::uint8_t* data, int size) override;
    int Read(std::uint8_t* data, int size) override;
    std::string Error() const override { return m_strError; }
    FtdiChipKind Kind() const override { return m_kind; }
    int Baud() const override { return m_nBaud; }

private:
    CLibFtdiBitBang() = default;
    void Fail(const char* what);

    ftdi_context* m_pContext = nullptr;
    bool m_bOpen = false;
    std::uint8_t m_byRst = 0;   // RST's bit
    std::uint8_t m_byLast = 0;  // the outputs as last written
    std::string m_strName;
    std::string m_strError;
    FtdiChipKind m_kind = FtdiChipKind::FT232R;
    int m_nBaud = 0;
};
