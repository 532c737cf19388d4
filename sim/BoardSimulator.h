#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "sim/BoardFaults.h"
#include "sim/BoardProtocol.h"
#include "sim/LinePacer.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimChip.h"
#include "sim/StopSignal.h"

// A simulated programmer board with one flash chip in its socket, served on
// a pseudo-terminal: the host opens DevicePath() as its serial port.
//
// One thread serves the line; the chip, the fault switches and the counters
// may be used from any thread meanwhile.
class CBoardSimulator {
public:
    struct Options {
        bool at89s51 = false; // an AT89S51 in the socket instead of an AT89S52
        int baud = 115200;
        // Every byte costs 10 bit times at the baud rate, in both directions.
        bool paced = false;
        // Flash size of the part in KB; 0: its own (4 or 8 KB). A 64 KB part
        // lets a write run as long as the host ever streams.
        int flashKB = 0;
        // Kept as a symbolic link to the line while the board is plugged in
        // (a stable name, as /dev/ttyUSB0 is for an adapter); empty: none.
        std::string linkPath = {};
        // After the line was closed by closeAfterBlock (the adapter pulled
        // out), the board comes back on a new line this many milliseconds
        // later, the link pointing at it; -1: it stays unplugged.
        int replugAfterMs = -1;
        // When set, the socket holds a chip only while this file exists
        // (see CBoardProtocol::SetSocketProbe): chips can be taken out and
        // put in from outside.
        std::string socketPath {};
    };
    using Faults = BoardFaults;

    explicit CBoardSimulator(Options options);
    ~CBoardSimulator();
    CBoardSimulator(const CBoardSimulator&) = delete;
    CBoardSimulator& operator=(const CBoardSimulator&) = delete;

    // Creates the pseudo-terminal (and the link) and starts serving. False
    // (see LastError()) when the terminal or the link cannot be made; a
    // second call while running is true. After an unplug it plugs the board
    // in again: a new line, no transfer open, the chip as it was.
    bool Start();
    // Ends serving and closes the line; safe to call more than once.
    void Stop();
    bool IsServing() const { return m_bServing; }
    std::string LastError() const;

    // The slave path, e.g. /dev/pts/7; empty before Start().
    std::string DevicePath() const;
    CSimChip& Chip() { return m_chip; }
    void SetFaults(const Faults& faults);
    Faults GetFaults() const;

    // Complete 18-byte frames taken in, data frames included.
    int FramesReceived() const { return m_protocol.FramesReceived(); }
    // Single-byte write acknowledgements that went out on the line.
    int AcksSent() const { return m_nAcksSent; }
    // Data frames programmed successfully.
    int BlocksWritten() const { return m_protocol.BlocksWritten(); }
    // Data replies sent, repeats included.
    int BlocksRead() const { return m_protocol.BlocksRead(); }
    // Read-ending 0 bytes.
    int StopBytesSeen() const { return m_protocol.StopBytesSeen(); }
    // Times the board came back by itself after an unplug.
    int Replugs() const { return m_nReplugs; }

private:
    void Serve();
    // Serves one line until it is closed or a stop comes.
    void ServeLine();
    // Opens a new line and points the link at it.
    bool PlugIn();
    // After replugAfterMs: plugs in again; false when stopped first.
    bool Replug();
    bool PointLink();
    void RemoveLink();
    // Returns false when the line is gone and serving must end.
    bool ReadAvailable();
    // The fault switches as last set: copied again only after SetFaults.
    const Faults& CurrentFaults();
    bool Answer(const CBoardProtocol::Replies& replies, CLinePacer::Clock::time_point readyAt,
                const Faults& faults);
    bool Transmit(const std::uint8_t* data, std::size_t size,
                  CLinePacer::Clock::time_point readyAt, const Faults& faults);
    bool WriteOut(const std::uint8_t* data, std::size_t size);
    void HangUp();
    void Garble(std::uint8_t* bytes, std::size_t size);
    void SetError(const std::string& text);

    const Options m_options;
    CSimChip m_chip;
    CBoardProtocol m_protocol;
    CPseudoTerminal m_pty;
    CLinePacer m_pacer;
    std::unique_ptr<CStopSignal> m_pStop;
    std::thread m_thread;
    std::mt19937 m_random;
    // Until then the serving thread watches the line without sleeping.
    CLinePacer::Clock::time_point m_awakeUntil;

    mutable std::mutex m_mutex; // guards m_faults, m_strError, m_strDevicePath
    Faults m_faults;
    std::atomic<unsigned> m_nFaultsVersion {1}; // counts SetFaults calls
    Faults m_servingFaults;                     // serving thread only
    unsigned m_nServingFaultsVersion = 0;
    std::string m_strError;
    std::string m_strDevicePath;

    std::atomic<bool> m_bServing {false};
    std::atomic<int> m_nAcksSent {0};
    std::atomic<int> m_nReplugs {0};
    bool m_bUnplugged = false; // serving thread only
};
