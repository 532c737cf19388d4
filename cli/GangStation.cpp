#include "cli/GangStation.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>

#include "app/core/ProgrammerSession.h"
#include "app/core/SessionEventLoop.h"
#include "cli/CliView.h"
#include "cli/DeviceCommand.h"
#include "cli/GangConsole.h"
#include "cli/JsonProgress.h"
#include "cli/RoundGate.h"
#include "cli/SerialAllocator.h"
#include "platform/MessageSink.h"
#include "programmer/Programmer.h"
#include "programmer/StatusCode.h"
#include "programmer/StatusQueue.h"
#include "sim/BoardSimulator.h"

namespace {

using Clock = std::chrono::steady_clock;

// Between two detects while waiting for a chip to be swapped.
constexpr auto kPollInterval = std::chrono::milliseconds(300);
// Detects in a row that get no answer before the port is given up.
constexpr int kUnansweredPollLimit = 3;

std::string SignatureText(const std::array<std::uint8_t, 3>& signature)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02x %02x %02x", signature[0], signature[1], signature[2]);
    return text;
}

// What an empty socket reads as: nothing drives the lines.
bool IsEmptySocket(const std::array<std::uint8_t, 3>& signature)
{
    return signature == std::array<std::uint8_t, 3> {0xFF, 0xFF, 0xFF}
        || signature == std::array<std::uint8_t, 3> {0x00, 0x00, 0x00};
}

// Four upper-case hex digits, as the log lines show a checksum; empty for none.
std::string ChecksumText(const std::optional<std::uint16_t>& checksum)
{
    if (!checksum)
        return {};
    char text[8];
    std::snprintf(text, sizeof text, "%04X", unsigned(*checksum));
    return text;
}

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The session's log, tagged with the port; progress is not drawn, since
// several ports would fight over one terminal line.
class CStationView : public CCliView {
public:
    CStationView(CGangConsole& console, std::string port)
        : m_console(console), m_strPort(std::move(port))
    {
    }

    void InsertLogLine(int, const std::string& text, bool) override
    {
        m_strLastLine = text;
        if (!m_bMuted)
            m_console.Line(m_strPort, text);
    }
    void SetProgressPos(int) override {}
    void InvalidateProgress() override {}

    // While waiting for a chip the polls' lines would only repeat.
    void SetMuted(bool muted) { m_bMuted = muted; }
    const std::string& LastLine() const { return m_strLastLine; }

private:
    CGangConsole& m_console;
    const std::string m_strPort;
    std::string m_strLastLine;
    bool m_bMuted = false;
};

class CStationMessages : public IMessageSink {
public:
    CStationMessages(CGangConsole& console, std::string port)
        : m_console(console), m_strPort(std::move(port))
    {
    }

    void ShowMessage(const std::string& text, const std::string&, MessageIcon) override
    {
        std::string line = text;
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        m_console.Note(m_strPort, line);
    }

private:
    CGangConsole& m_console;
    const std::string m_strPort;
};

} // namespace

// The session of one port and what drives it.
struct CGangStation::Link {
    Link(CGangConsole& console, const std::string& port, std::chrono::milliseconds timeout)
        : view(console, port)
        , messages(console, port)
        , session(view, queue, messages)
        , loop(session, queue, timeout)
    {
    }

    CStationView view;
    CStatusQueue queue{CStatusQueue::Progress::Coalesced};
    CStationMessages messages;
    CProgrammerSession session;
    CSessionEventLoop loop;
    std::optional<CJsonProgress> progress;
};

CGangStation::CGangStation(const GangRun& run, std::string port,
                           std::unique_ptr<CBoardSimulator> board, std::string simStatePath)
    : m_run(run)
    , m_strPort(std::move(port))
    , m_strSimStatePath(std::move(simStatePath))
    , m_board(std::move(board))
{
}

CGangStation::~CGangStation() = default;

void CGangStation::Run()
{
    RunRounds();
    if (m_run.gate)
        m_run.gate->Leave();
    // The port closes while the board still serves it; the board then
    // stops, so the chip is saved as it stays.
    m_link.reset();
    if (!m_board || m_strSimStatePath.empty())
        return;
    m_board->Stop();
    std::string why;
    if (!m_board->Chip().SaveState(m_strSimStatePath, &why)) {
        Note("cannot save the simulated chip to " + m_strSimStatePath + ": " + why);
        m_bFaulty = true;
    }
}

void CGangStation::StopBoard()
{
    if (m_board)
        m_board->Stop();
}

void CGangStation::Note(const std::string& text)
{
    m_run.console->Note(m_strPort, text);
}

void CGangStation::RunRounds()
{
    const Clock::time_point start = Clock::now();
    if (!Connect()) {
        if (m_bUnreachable) {
            if (m_link)
                Note(UnreachableText(m_link->session.Programmer(), m_options, m_bPortFailed));
            Record("unreachable", SecondsSince(start), {});
        } else {
            Record("failure", SecondsSince(start), {});
        }
        return;
    }
    for (int round = 1; round <= m_run.options->gang.rounds; ++round) {
        if (round > 1 && !BetweenRounds())
            break;
        ProgramChip();
    }
}

bool CGangStation::Connect()
{
    if (m_board && !m_board->Start()) {
        Note("cannot start the simulated board: " + m_board->LastError());
        m_bUnreachable = true;
        return false;
    }
    m_options = *m_run.options;
    CliOptions& options = m_options;
    if (m_board)
        options.portPath = m_board->DevicePath();
    else
        ApplyPortOption(m_strPort, options);  // checked when the options were read

    const auto timeout = std::chrono::milliseconds(
        std::max<long long>(1, std::llround(options.timeoutSeconds * 1000.0)));
    m_link = std::make_unique<Link>(*m_run.console, m_strPort, timeout);
    CProgrammerSession& session = m_link->session;
    session.Programmer().m_strPortPath = options.portPath;
    if (options.progressJson)
        m_link->progress.emplace(
            [console = m_run.console](const std::string& line) { console->NoteLine(line); },
            m_strPort);
    m_link->loop.SetObserver([this](const StatusEvent& event) {
        if (m_link->progress)
            m_link->progress->OnEvent(event, m_link->session);
        if (event.kind != StatusEvent::Kind::Status)
            return;
        if (event.value == kStatusSerialFailed) {
            m_bPortFailed = true;
        } else if (event.value == kStatusDeviceDetected || event.value == kStatusNoDevice) {
            m_lastSignature = m_link->session.Programmer().Signature();
            m_strChipSignature = SignatureText(*m_lastSignature);
        }
    });
    if (m_run.serials) {
        session.SetWriteStartHandler([this] {
            // A detect may have chosen a smaller device than --device, whose
            // write would stop short of the serial: no number for that chip.
            const SerialNumberFormat& format = *m_run.options->gang.serial;
            CProgrammer& programmer = m_link->session.Programmer();
            const std::uint64_t end = std::uint64_t(format.address) + std::uint64_t(format.bytes);
            if (end > std::uint64_t(programmer.CurrentRomBytes())) {
                const DeviceRecord* device = programmer.CurrentDevice();
                char range[64];
                std::snprintf(range, sizeof range, "0x%X..0x%llX", format.address,
                              (unsigned long long)end - 1);
                Note("--serial: " + std::string(range) + " lies outside the "
                     + (device ? device->name + "'s " + std::to_string(device->romSizeKB) + " KB"
                               : std::string("device"))
                     + "; the chip is not written and takes no number");
                return false;
            }
            std::string error;
            const std::optional<std::uint64_t> serial = m_run.serials->Take(error);
            if (!serial) {
                Note(error);
                return false;
            }
            m_chipSerial = serial;
            m_run.options->gang.serial->Encode(*serial, m_link->session.Programmer().Buffer1);
            return true;
        });
    }

    session.Start(SettingsFromOptions(options, m_run.deviceIndex), m_run.cataloguePath);
    session.SetBlankCheckInAuto(options.markBlank);
    // The serial link asks whether the board is ready as soon as it is up.
    m_link->loop.RunUntil(
        [&] { return session.SequenceEndCount() > 0 && !session.IsStepOutstanding(); });
    if (session.LastSequenceSucceeded())
        return true;
    m_bUnreachable = m_bPortFailed || m_link->loop.TimeoutCount() > 0;
    return false;
}

void CGangStation::ProgramChip()
{
    const Clock::time_point start = Clock::now();
    m_chipSerial.reset();
    CProgrammerSession& session = m_link->session;
    m_link->view.SetOpenPath(m_run.options->file);
    const bool passed = m_link->loop.RunCommand([&] { session.OnLoadFile(); })
        && m_link->loop.RunCommand([&] { session.OnAuto(); });
    // Of the bytes the last load read, which this chip was given (a file
    // changed meanwhile cannot slip in between).
    Record(passed ? "success" : "failure", SecondsSince(start), session.LoadedFileSha256());
}

bool CGangStation::BetweenRounds()
{
    m_strChipSignature.clear();
    if (m_run.gate)
        return m_run.gate->Arrive();
    return WaitForNextChip();
}

bool CGangStation::WaitForNextChip()
{
    m_link->view.SetMuted(true);
    Note("waiting for the chip to be taken out");
    bool answered = PollUntil([](const Signature& signature) { return IsEmptySocket(signature); });
    if (answered) {
        Note("waiting for a new chip");
        answered = PollUntil(
            [this](const Signature&) { return m_link->session.LastSequenceSucceeded(); });
    }
    m_link->view.SetMuted(false);
    if (!answered) {
        // A port gone, or a programmer that went silent, would keep this
        // port waiting for ever: its rounds end here and the run fails.
        Note(UnreachableText(m_link->session.Programmer(), m_options, m_bPortFailed));
        Note("no more chips on this port");
        m_bFaulty = true;
    }
    return answered;
}

bool CGangStation::PollUntil(const std::function<bool(const Signature&)>& wanted)
{
    m_bPortFailed = false;
    int unanswered = 0;
    for (;;) {
        const std::optional<Signature> signature = Poll();
        if (m_bPortFailed)
            return false;
        if (!signature) {
            if (++unanswered >= kUnansweredPollLimit)
                return false;
        } else if (wanted(*signature)) {
            return true;
        } else {
            unanswered = 0;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

std::optional<CGangStation::Signature> CGangStation::Poll()
{
    m_lastSignature.reset();
    CProgrammerSession& session = m_link->session;
    m_link->loop.RunCommand([&] { session.OnDetect(); });
    return m_lastSignature;
}

void CGangStation::Record(const std::string& outcome, double seconds, const std::string& sha256)
{
    ChipRecord record;
    record.time = Iso8601LocalTime(std::time(nullptr));
    record.port = m_strPort;
    record.device = m_run.deviceName;
    if (m_link) {
        const int selected = m_link->session.DeviceSelection();
        const auto& devices = m_link->session.Programmer().Devices();
        if (selected >= 0 && selected < int(devices.size()))
            record.device = devices[std::size_t(selected)].name;
        record.lastLine = m_link->view.LastLine();
    }
    record.signature = m_strChipSignature;
    record.file = m_run.options->file;
    record.sha256 = sha256;
    if (m_link) {
        record.checksum = ChecksumText(m_link->session.WrittenChecksum());
        record.readChecksum = ChecksumText(m_link->session.ReadChecksum());
    }
    record.serial = m_chipSerial;
    record.steps = m_run.steps;
    record.outcome = outcome;
    record.seconds = seconds;
    if (outcome != "success")
        m_bFaulty = true;
    std::string error;
    if (m_run.log && !m_run.log->Append(record, error)) {
        Note(error);
        m_bFaulty = true;
    }
    m_records.push_back(std::move(record));
}
