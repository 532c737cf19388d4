#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/ResultLog.h"

class CBoardSimulator;
class CGangConsole;
class CRoundGate;
class CSerialAllocator;

// What the stations of one gang run share. Everything here is either
// read-only or locks itself.
struct GangRun {
    const CliOptions* options = nullptr;  // the run's, ports aside
    std::string cataloguePath;
    int deviceIndex = 0;
    std::string deviceName;
    std::vector<std::string> steps;  // as the records name them
    CSerialAllocator* serials = nullptr;  // null without --serial
    CResultLog* log = nullptr;            // null without --log
    CGangConsole* console = nullptr;
    CRoundGate* gate = nullptr;  // Enter between rounds; null with --wait-chip
};

// One port of a gang run: its own controller, session and event loop, run
// on one thread (Run), so each session sees its events one at a time and in
// order as it requires, while the ports work side by side.
class CGangStation {
public:
    // board: the port's simulated board, loaded but not started, or null
    // for real hardware; its chip is saved to simStatePath (when not empty)
    // at the end, after the board has stopped.
    CGangStation(const GangRun& run, std::string port, std::unique_ptr<CBoardSimulator> board,
                 std::string simStatePath);
    ~CGangStation();
    CGangStation(const CGangStation&) = delete;
    CGangStation& operator=(const CGangStation&) = delete;

    // Reaches the programmer, then programs a chip per round, closes the
    // port and saves the simulated chip. Call once.
    void Run();
    // Stops the simulated board, after Run (which stops it itself when it
    // saves the chip). Separate, since a board takes a few milliseconds to
    // stop and the results are known before.
    void StopBoard();

    const std::string& Port() const { return m_strPort; }
    const std::vector<ChipRecord>& Records() const { return m_records; }
    // The programmer could not be reached: nothing was programmed here.
    bool Unreachable() const { return m_bUnreachable; }
    // A chip failed, or what the run keeps about a chip could not be kept.
    bool Faulty() const { return m_bFaulty; }

private:
    struct Link;

    void RunRounds();
    bool Connect();
    void ProgramChip();
    bool BetweenRounds();
    using Signature = std::array<std::uint8_t, 3>;
    // false when the port failed or stopped answering meanwhile.
    bool WaitForNextChip();
    // Detects until one reads a signature that wanted accepts; false when
    // the port fails or several detects in a row get no answer.
    bool PollUntil(const std::function<bool(const Signature&)>& wanted);
    // One detect while waiting for a chip; the signature read, if any.
    std::optional<Signature> Poll();
    void Record(const std::string& outcome, double seconds, const std::string& sha256);
    void Note(const std::string& text);

    const GangRun m_run;
    const std::string m_strPort;
    const std::string m_strSimStatePath;
    CliOptions m_options;  // the run's, with this port's
    // Declared before the link: the board outlives the port that talks to it.
    std::unique_ptr<CBoardSimulator> m_board;
    std::unique_ptr<Link> m_link;

    std::optional<std::uint64_t> m_chipSerial;
    std::string m_strChipSignature;
    std::optional<Signature> m_lastSignature;
    bool m_bPortFailed = false;
    bool m_bUnreachable = false;
    bool m_bFaulty = false;
    std::vector<ChipRecord> m_records;
};
