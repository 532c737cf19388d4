#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>

#include "isp/GpioLineRequest.h"
#include "isp/GpioWiring.h"
#include "sim/SimTargetBoard.h"
#include "sim/SimTargetSocket.h"

// A GPIO chip with an AT89S51/52 on some of its lines: the fake line layer
// under the GPIO backend. It applies the kernel's rules to a request (the
// chip must be this one, every line must exist and be free) and then serves
// it as the real chip's lines would, so a wrong chip name or line offset
// fails here as it does on the bench. Unwired lines are pulled low, as most
// of a Raspberry Pi's header is. Each line set or read costs lineTime on the
// chip's clock (a system call on the character device); a set lands and a
// read samples at its end.
//
// Driven from one thread at a time; the counters may be read from another.
class CSimGpioRig : public IGpioLineRequest {
public:
    struct Options {
        int lineCount = 54;
        // Lines some other consumer holds, by offset.
        std::map<int, std::string> busyLines;
        // The chip's device node is not open to the user.
        bool accessDenied = false;
        std::chrono::nanoseconds lineTime{1000};
    };

    // board: this chip's name and the lines the target's pins sit on.
    CSimGpioRig(SimChipType chip, const GpioWiring& board, Options options);

    // The kernel's answer to a request for host's lines: true when they are
    // now held; otherwise false with the reason (GpioWiring::Failure).
    bool Request(const GpioWiring& host, LinesOpenFailure& failure);

    int Set(Line line, int level) override;
    int Get(Line line) override;
    IIspClock* Clock() override { return &m_board.Clock(); }
    int SetDriving(bool on) override;

    CSimChip& Chip() { return m_board.Chip(); }
    CSimIspTarget& Target() { return m_board.Target(); }
    CSimTargetBoard& Board() { return m_board; }
    // What reaches the target's pins.
    const CSimTargetSocket& Socket() const { return m_socket; }

    // Line sets and reads since the last reset: what the kernel was asked.
    std::uint64_t LineChanges() const { return m_nChanges.load(std::memory_order_relaxed); }
    std::uint64_t LineReads() const { return m_nReads.load(std::memory_order_relaxed); }
    void ResetCounters();
    // From now on every set and read fails as on a chip that went away.
    void Unplug() { m_bUnplugged = true; }

private:
    static void Bump(std::atomic<std::uint64_t>& counter)
    {
        counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }

    const GpioWiring m_wiring;
    const Options m_options;
    const int m_nLineCount;  // at most 64: the socket's line masks
    CSimTargetBoard m_board;
    CSimTargetSocket m_socket;
    int m_offsets[4] = {-1, -1, -1, -1};  // host's lines, by Line
    std::uint64_t m_driven = 0;
    std::uint64_t m_levels = 0;
    std::atomic<bool> m_bUnplugged{false};
    std::atomic<std::uint64_t> m_nChanges{0};
    std::atomic<std::uint64_t> m_nReads{0};
};
