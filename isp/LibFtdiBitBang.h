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
    // quad chip), sets the latency timer to 1 ms, the baud rate, and
    // synchronous bit-bang mode with MOSI, SCK and RST as outputs, all low.
    // nullptr with the reason in failure when any of that fails; a build
    // without libftdi1 always fails.
    static std::unique_ptr<IFtdiBitBang> Open(const FtdiAddress& address, const FtdiWiring& wiring,
                                              LinesOpenFailure& failure);

    // Leaves bit-bang mode (the lines go back to the UART) and closes.
    ~CLibFtdiBitBang() override;

    CLibFtdiBitBang(const CLibFtdiBitBang&) = delete;
    CLibFtdiBitBang& operator=(const CLibFtdiBitBang&) = delete;

    bool Write(const std::uint8_t* data, int size) override;
    int Read(std::uint8_t* data, int size) override;
    std::string Error() const override { return m_strError; }

private:
    CLibFtdiBitBang() = default;
    void Fail(const char* what);

    ftdi_context* m_pContext = nullptr;
    bool m_bOpen = false;
    std::string m_strName;
    std::string m_strError;
};
