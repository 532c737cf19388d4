#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "isp/GpioLineRequest.h"
#include "isp/SpiBus.h"
#include "isp/SpiWiring.h"
#include "sim/SimTargetBoard.h"

// An SPI controller and a GPIO chip with an AT89S51/52 on them: the fake
// layer under the SPI backend. The target's MOSI, MISO and SCK sit on the
// controller's spidev device, its RST on one line of the GPIO chip, as the
// bench is really wired. Opening a device or asking for a line gets the
// kernel's answers (the device must be this one, the line must exist and be
// free), so a wrong device or RST line fails here as it does on the bench;
// a RST line that is not the target's leaves the target held in reset (its
// pull-down), and it never answers.
//
// Each transfer clocks its bytes through the target's pins in mode 0: MOSI
// set while SCK is low, MISO taken at the rising edge, each SCK phase half
// a period of the clock the bus was opened at. The model clock is charged
// kTransferOverhead per transfer (the system call, the controller's set-up)
// plus its bits at that clock, lineTime per RST change, and a host's waits
// in full.
//
// Driven from one thread at a time; the counters may be read from another.
class CSimSpiRig : public std::enable_shared_from_this<CSimSpiRig> {
public:
    // What a Raspberry Pi's spidev transfer costs besides its bits: the
    // ioctl, spi_sync and the spi-bcm2835 controller's set-up. An estimate:
    // no hardware here confirmed it.
    static constexpr std::chrono::microseconds kTransferOverhead{15};

    struct Options {
        int lineCount = 54;
        // Lines some other consumer holds, by offset.
        std::map<int, std::string> busyLines;
        // Neither the device nor the GPIO chip is open to the user.
        bool accessDenied = false;
        // A RST line set (a system call on the GPIO chip).
        std::chrono::nanoseconds lineTime{1000};
    };

    // board: this bench's device, RST's chip and the line RST sits on.
    static std::shared_ptr<CSimSpiRig> Make(SimChipType chip, const SpiWiring& board,
                                            Options options);

    // The kernel's answer to opening host's device at hz: the bus, or
    // nullptr with the reason (SpiWiring::Failure).
    std::unique_ptr<ISpiBus> OpenBus(const SpiWiring& host, std::uint32_t hz,
                                     LinesOpenFailure& failure);
    // The answer to a request for RST's line: the request, or nullptr with
    // the reason (GpioWiring::Failure).
    std::unique_ptr<IGpioLineRequest> RequestRst(const GpioWiring& host, LinesOpenFailure& failure);

    CSimChip& Chip() { return m_board.Chip(); }
    CSimClock& Clock() { return m_board.Clock(); }
    CSimIspTarget& Target() { return m_board.Target(); }
    CSimTargetBoard& Board() { return m_board; }

    // SPI transfers (system calls) and the bytes they moved since the last
    // reset.
    std::uint64_t Transfers() const { return m_nTransfers.load(std::memory_order_relaxed); }
    std::uint64_t Bytes() const { return m_nBytes.load(std::memory_order_relaxed); }
    void ResetCounters();
    // From now on every transfer and line change fails, as with the board
    // gone.
    void Unplug() { m_bUnplugged = true; }

private:
    class Bus;
    class Rst;

    CSimSpiRig(SimChipType chip, const SpiWiring& board, Options options);

    bool Transfer(const std::uint8_t* tx, std::uint8_t* rx, std::size_t size, std::uint32_t hz);
    int SetRst(int level);
    bool RstAtPin() const { return m_bRstOnPin && m_bRst; }

    const SpiWiring m_wiring;
    const Options m_options;
    CSimTargetBoard m_board;
    // The host's RST line is the one the target's RST sits on.
    bool m_bRstOnPin = false;
    bool m_bRst = false;
    std::atomic<bool> m_bUnplugged{false};
    std::atomic<std::uint64_t> m_nTransfers{0};
    std::atomic<std::uint64_t> m_nBytes{0};
};
