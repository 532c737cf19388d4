#include "cli/DeviceCommand.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/core/ProgrammerSession.h"
#include "app/core/SessionEventLoop.h"
#include "cli/CliView.h"
#include "cli/Commands.h"
#include "cli/JsonProgress.h"
#include "isp/IspEngine.h"
#include "platform/AppGlobals.h"
#include "platform/StderrMessageSink.h"
#include "programmer/DeviceCatalogue.h"
#include "programmer/SerialPort.h"
#include "programmer/StatusCode.h"
#include "programmer/StatusQueue.h"
#include "sim/BoardSimulator.h"
#include "sim/SimulatedBackends.h"

namespace {

void Complain(const std::string& text)
{
    std::fprintf(stderr, "tamberlink-cli: %s\n", text.c_str());
}

// Readable as an image: opens, and is not a folder.
bool CheckReadable(const std::string& path, std::string& reason)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat info {};
    const bool ok = ::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    ::close(fd);
    if (!ok)
        reason = std::strerror(EISDIR);
    return ok;
}

// Where read FILE will save: not a folder, in a folder that exists.
bool CheckWritablePlace(const std::string& path, std::string& reason)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::is_directory(path, error)) {
        reason = std::strerror(EISDIR);
        return false;
    }
    fs::path parent = fs::path(path).parent_path();
    if (parent.empty())
        parent = ".";
    if (!fs::is_directory(parent, error)) {
        reason = "no such folder: " + parent.string();
        return false;
    }
    return true;
}

// An index ("3") or an exact name; -1 when neither matches.
int ResolveDevice(const std::string& text, const std::vector<DeviceRecord>& devices)
{
    if (text.find_first_not_of("0123456789") == std::string::npos && text.size() < 9) {
        const int index = std::stoi(text);
        return index < int(devices.size()) ? index : -1;
    }
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (devices[i].name == text)
            return int(i);
    return -1;
}

// The simulated ISP programmers stand where the port, the GPIO chip or the
// FTDI cable would be: same backend, same start-up report (4), the chip kept
// in the state file.
CProgrammerSession::BackendOpener SimulatedIspOpener(const CliOptions& options, int deviceIndex,
                                                     const std::vector<DeviceRecord>& devices)
{
    SimIspOptions sim;
    sim.chip = devices[std::size_t(deviceIndex)].name == "AT89S51" ? SimChipType::AT89S51
                                                                    : SimChipType::AT89S52;
    sim.statePath = options.simState;
    sim.crystalMHz = options.simCrystalMHz;
    sim.misoFault = options.misoFault;
    return [table = SimulatedIspBackends(sim)](CProgrammer& programmer, int progType,
                                               int ispSetting) {
        return table.Open(programmer, progType, ispSetting);
    };
}

// An ISP connection that stopped working mid-run (a cable pulled out): why.
void ExplainBrokenLines(CProgrammer& programmer)
{
    auto* isp = dynamic_cast<CIspEngine*>(programmer.Backend());
    if (isp && isp->Lines() && isp->Lines()->Failed())
        Complain(isp->LinesName() + " stopped working: " + isp->LinesError());
}

// The session and its event loop for one command. Destroyed before the
// simulated board stops, so the port closes while the board still serves.
class CCommandRun {
public:
    CCommandRun(const CliOptions& options, const std::string& portPath,
                CProgrammerSession::BackendOpener opener)
        : m_options(options)
        , m_session(m_view, m_queue, m_messages)
        , m_loop(m_session, m_queue, TimeoutOf(options))
    {
        m_session.Programmer().m_strPortPath = portPath;
        m_session.Programmer().m_dCrystalMHz = options.crystalMHz;
        m_session.Programmer().m_bPageWrite = options.pageWrite;
        if (opener)
            m_session.SetBackendOpener(std::move(opener));
        if (options.progressJson) {
            m_view.SetProgressLine(false);
            m_progress.emplace([](const std::string& line) {
                std::fprintf(stderr, "%s\n", line.c_str());
                std::fflush(stderr);
            });
        }
        m_loop.SetObserver([this](const StatusEvent& event) {
            if (m_progress)
                m_progress->OnEvent(event, m_session);
            if (event.kind != StatusEvent::Kind::Status)
                return;
            if (event.value == kStatusSerialFailed || event.value == kStatusParallelFailed)
                m_bPortFailed = true;
            else if (event.value == kStatusParallelReady)
                m_bParallelReady = true;
        });
    }

    int Run(int deviceIndex, const std::string& cataloguePath)
    {
        m_session.Start(SettingsFromOptions(m_options, deviceIndex), cataloguePath);
        m_session.SetBlankCheckInAuto(m_options.markBlank);
        // The backend's first answer: the serial link asks for readiness
        // as soon as it is up; the cable reports itself ready.
        m_loop.RunUntil([this] {
            return m_bParallelReady
                || (m_session.SequenceEndCount() > 0 && !m_session.IsStepOutstanding());
        });
        const bool started = m_session.SequenceEndCount() > 0;
        if (started && !m_session.LastSequenceSucceeded()) {
            if (m_bPortFailed || m_loop.TimeoutCount() > 0) {
                Complain(UnreachableText(m_session.Programmer(), m_options, m_bPortFailed));
                return kExitUnreachable;
            }
            return kExitFailure;
        }
        if (RunCommand(started))
            return kExitSuccess;
        ExplainBrokenLines(m_session.Programmer());
        return kExitFailure;
    }

private:
    static std::chrono::milliseconds TimeoutOf(const CliOptions& options)
    {
        return std::chrono::milliseconds(
            std::max<long long>(1, std::llround(options.timeoutSeconds * 1000.0)));
    }

    bool Click(void (CProgrammerSession::*handler)())
    {
        return m_loop.RunCommand([this, handler] { (m_session.*handler)(); });
    }

    bool Load()
    {
        m_view.SetOpenPath(m_options.file);
        return Click(&CProgrammerSession::OnLoadFile);
    }

    bool RunCommand(bool readyChecked)
    {
        const std::string& command = m_options.command;
        if (command == "check")
            return readyChecked ? true : Click(&CProgrammerSession::OnCheck);
        if (command == "detect")
            return Click(&CProgrammerSession::OnDetect);
        if (command == "erase")
            return Click(&CProgrammerSession::OnErase);
        if (command == "blank")
            return Click(&CProgrammerSession::OnBlankCheck);
        if (command == "write")
            return Load() && Click(&CProgrammerSession::OnWrite);
        if (command == "verify")
            return Load() && Click(&CProgrammerSession::OnVerify);
        if (command == "auto")
            return Load() && Click(&CProgrammerSession::OnAuto);
        if (command == "lock") {
            m_session.SetLockSelection(m_options.lockLevel - 1);
            return Click(&CProgrammerSession::OnLock);
        }
        if (command == "read") {
            if (!Click(&CProgrammerSession::OnRead))
                return false;
            m_view.SetSavePath(m_options.file);
            errno = 0;
            if (!m_session.OnSaveFile()) {
                const int error = errno;
                Complain("cannot write " + m_options.file
                         + (error ? ": " + std::string(std::strerror(error)) : std::string()));
                return false;
            }
            return true;
        }
        return false;
    }

    const CliOptions& m_options;
    CCliView m_view;
    CStatusQueue m_queue{CStatusQueue::Progress::Coalesced};
    CStderrMessageSink m_messages;
    CProgrammerSession m_session;
    CSessionEventLoop m_loop;
    std::optional<CJsonProgress> m_progress;
    bool m_bPortFailed = false;
    bool m_bParallelReady = false;
};

}  // namespace

std::string UnreachableText(CProgrammer& programmer, const CliOptions& options, bool portFailed)
{
    auto* port = dynamic_cast<CSerialPort*>(programmer.Backend());
    if (!portFailed)
        return "no answer from the programmer on " + (port ? port->LastOpenPath() : options.port)
            + " (is it connected, powered and on this port?)";
    if (auto* isp = dynamic_cast<CIspEngine*>(programmer.Backend())) {
        const std::string why = isp->LinesError();
        return "cannot open " + isp->LinesName() + (why.empty() ? std::string() : ": " + why);
    }
    std::string path = programmer.m_strPortPath.empty()
        ? CSerialPort::ResolveComPortPath(options.comPort)
        : programmer.m_strPortPath;
    int error = 0;
    if (port) {
        error = port->LastOpenErrno();
        path = port->LastOpenPath();
    }
    std::string text = "cannot open serial port " + path;
    if (error == kErrorNoUart)
        text += ": no UART behind this device (choose the port the programmer is on)";
    else if (error == kErrorNotSerial)
        text += ": not a serial device (nothing was written to it)";
    else if (error == kErrorEchoLine)
        text = "serial port " + path + " sends back what it is sent: no programmer answers there"
            " (is TX tied to RX, or a modem in echo mode?)";
    else if (error != 0)
        text += ": " + std::string(std::strerror(error));
    if (error == EACCES || error == EPERM)
        text += " (the user must be in group dialout: sudo usermod -aG dialout $USER,"
                " then log in again)";
    else if (error == EBUSY)
        text += " (another program is using the port)";
    else if (error == ENOENT || error == ENODEV || error == ENXIO)
        text += std::string(" (no such port: check ")
            + (options.command == "gang" ? "--ports" : "--port")
            + " or the \"Ports\" section of Tamber_Info.ini)";
    return text;
}

std::optional<ChosenDevice> ChooseDevice(const CliOptions& options)
{
    ChosenDevice chosen;
    chosen.cataloguePath =
        options.catalogue.empty() ? CataloguePath() : options.catalogue;
    std::optional<std::vector<DeviceRecord>> devices = ReadCatalogueFile(chosen.cataloguePath);
    if (!devices) {
        Complain("cannot read the device catalogue " + chosen.cataloguePath);
        return std::nullopt;
    }
    chosen.devices = std::move(*devices);
    chosen.index = ResolveDevice(options.device, chosen.devices);
    if (chosen.index < 0) {
        Complain("unknown device '" + options.device + "' (see tamberlink-cli devices)");
        return std::nullopt;
    }
    return chosen;
}

int RunDeviceCommand(const CliOptions& options)
{
    std::string reason;
    if (options.command == "read") {
        if (!CheckWritablePlace(options.file, reason)) {
            Complain("cannot write " + options.file + ": " + reason);
            return kExitUsage;
        }
    } else if (!options.file.empty() && !CheckReadable(options.file, reason)) {
        Complain("cannot read " + options.file + ": " + reason);
        return kExitUsage;
    }

    const std::optional<ChosenDevice> chosen = ChooseDevice(options);
    if (!chosen)
        return kExitUsage;
    const std::string& cataloguePath = chosen->cataloguePath;
    const std::vector<DeviceRecord>& devices = chosen->devices;
    const int deviceIndex = chosen->index;

    std::string portPath = options.portPath;
    std::unique_ptr<CBoardSimulator> board;
    CProgrammerSession::BackendOpener opener;
    if (options.simulate && options.programmer != 0) {
        opener = SimulatedIspOpener(options, deviceIndex, devices);
    } else if (options.simulate) {
        CBoardSimulator::Options boardOptions;
        boardOptions.at89s51 = devices[std::size_t(deviceIndex)].name == "AT89S51";
        boardOptions.baud = options.baudSel == 1 ? 57600 : 115200;
        board = std::make_unique<CBoardSimulator>(boardOptions);
        board->SetFaults(options.boardFaults);
        std::error_code error;
        if (!options.simState.empty() && std::filesystem::exists(options.simState, error)) {
            std::string why;
            if (!board->Chip().LoadState(options.simState, &why)) {
                Complain("cannot load the simulated chip from " + options.simState + ": " + why);
                return kExitUsage;
            }
        }
        if (!board->Start()) {
            Complain("cannot start the simulated board: " + board->LastError());
            return kExitUnreachable;
        }
        portPath = board->DevicePath();
    }

    int status = kExitFailure;
    {
        CCommandRun run(options, portPath, std::move(opener));
        status = run.Run(deviceIndex, cataloguePath);
    }

    if (board) {
        board->Stop();
        std::string why;
        if (!options.simState.empty() && !board->Chip().SaveState(options.simState, &why)) {
            Complain("cannot save the simulated chip to " + options.simState + ": " + why);
            status = kExitFailure;
        }
    }
    return status;
}
