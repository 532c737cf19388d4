// The main window on Qt's offscreen platform: how fast it shows a long
// verify report and a stream of progress events, how soon it is on screen
// and how much memory it holds. A plain program rather than Google
// Benchmark: start-up and memory are one-off figures, and all of them are to
// be read side by side from one run, so it prints one table.
//
// The report and the progress go through the real paths: the session's
// CompareBuffers into the window's log list, status events through the
// window's sink, the session and the progress bar. Each is timed until the
// window has painted the result. The sink folds a burst of progress reports
// into the few the window has time for, so the burst is timed until the bar
// shows the last position, and what the window handled is counted. The start-up is the real tamberlink
// started with --simulate, timed by a small library preloaded into it
// (window_start_probe.cpp).

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QIcon>
#include <QListWidget>
#include <QString>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/ProgrammerApp.h"
#include "app/ProgrammerDlg.h"
#include "platform/AppGlobals.h"
#include "platform/MessageSink.h"
#include "programmer/StatusCode.h"
#include "widgets/TextProgressCtrl.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Waits that are not measured end here; a hang guard only.
constexpr int kGuardMs = 60000;
constexpr int kReportLines = 65536;
constexpr int kProgressEvents = 10000;
constexpr int kSmallReportLines = 8192;
constexpr int kSmallReports = 10;
// A write of the whole 64 KB: the progress text runs from 0000 to FFFF.
constexpr int kProgressLength = 0x10000;
// An 8 KB write on the serial board: one report per 16-byte block, a block
// (18-byte frame and acknowledgement) about every 1.6 ms at 115200 baud.
constexpr int kPacedEvents = 512;
constexpr std::chrono::microseconds kPacedInterval{1600};

constexpr double kReportTargetMs = 500;
constexpr double kProgressTargetMs = 500;
constexpr double kStartTargetMs = 300;
constexpr double kIdleRssTargetMb = 80;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

std::int64_t Nanoseconds(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return std::int64_t(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// A moment on the wall clock and in this process's CPU time (all its
// threads: the window's, a posting worker's, the simulated board's).
struct Stamp {
    Clock::time_point wall;
    std::int64_t cpuNs;
};

Stamp Now()
{
    return {Clock::now(), Nanoseconds(CLOCK_PROCESS_CPUTIME_ID)};
}

struct Span {
    double ms = 0;
    double cpuMs = 0;
};

Span Between(const Stamp& from, const Stamp& to)
{
    return {Ms(to.wall - from.wall), double(to.cpuNs - from.cpuNs) / 1e6};
}

// The temporary program folder, removed however the run ends.
std::filesystem::path g_folder;

void RemoveFolder()
{
    std::error_code error;
    if (!g_folder.empty())
        std::filesystem::remove_all(g_folder, error);
}

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "bench_window: %s\n", what.c_str());
    RemoveFolder();
    std::exit(1);
}

// VmRSS of a process (0: this one) in KiB; -1 when it cannot be read.
long VmRssKb(pid_t pid = 0)
{
    std::ifstream status(pid == 0 ? std::string("/proc/self/status")
                                  : "/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

double Mb(long kb)
{
    return double(kb) / 1024.0;
}

// The value of the first "key : value" line of a /proc file.
std::string FieldOf(const char* path, const char* key)
{
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line))
        if (line.rfind(key, 0) == 0) {
            const std::size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    return "?";
}

std::string LoadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string a, b, c;
    file >> a >> b >> c;
    return a + " " + b + " " + c;
}

class CPrintingMessageSink : public IMessageSink {
public:
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon) override
    {
        std::fprintf(stderr, "bench_window: message \"%s\": %s\n", caption.c_str(), text.c_str());
    }
};

// Runs the event loop until done() holds. busy: without sleeping, for the
// waits that are measured; otherwise gently. Fails the run at the guard.
void Pump(const std::function<bool()>& done, bool busy, const char* what)
{
    QElapsedTimer guard;
    guard.start();
    while (!done()) {
        if (guard.elapsed() > kGuardMs)
            Fail(std::string("timed out waiting for ") + what);
        if (busy) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        } else {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::usleep(500);
        }
    }
}

// Lets posted work and late paints drain: the event loop for a while.
void Settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    Pump([&] { return timer.elapsed() >= ms; }, false, "settling");
}

// Counts the paint events of one widget and calls back on each, before
// the widget paints.
class CPaintWatch : public QObject {
public:
    explicit CPaintWatch(QWidget* widget, std::function<void()> onPaint = {})
        : m_widget(widget), m_onPaint(std::move(onPaint))
    {
        widget->installEventFilter(this);
    }
    ~CPaintWatch() override { m_widget->removeEventFilter(this); }

    int Count() const { return m_nCount; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_widget && event->type() == QEvent::Paint) {
            ++m_nCount;
            if (m_onPaint)
                m_onPaint();
        }
        return false;
    }

private:
    QWidget* m_widget;
    std::function<void()> m_onPaint;
    int m_nCount = 0;
};

std::unique_ptr<CProgrammerDlg> ConstructWindow(IMessageSink& messages)
{
    CProgrammerDlg::Options options;
    options.simulate = true;
    // The ready check answers at once; nothing measured here waits for the
    // line.
    options.pacedSimulation = false;
    return std::make_unique<CProgrammerDlg>(options, &messages);
}

// Waits until the simulated board's ready check has ended and the window is
// quiet.
void WaitUntilIdle(CProgrammerDlg& dlg)
{
    Pump([&] { return dlg.Session().SequenceEndCount() > 0 && !dlg.Session().IsStepOutstanding(); },
         false, "the start-up's ready check");
    Settle(300);
}

std::unique_ptr<CProgrammerDlg> OpenWindow(IMessageSink& messages)
{
    auto dlg = ConstructWindow(messages);
    dlg->show();
    WaitUntilIdle(*dlg);
    return dlg;
}

std::uint8_t Pattern(int address)
{
    return std::uint8_t((address * 7 + (address >> 8)) & 0xFF);
}

const QString kReportEnd = QStringLiteral("---------效验结束，数据有误----------");

struct ReportTiming {
    Span appended;  // CompareBuffers returned
    Span shown;     // the log list has painted the result
};

// A verify report with the first `mismatches` bytes wrong, through the
// session into the log list, until the list has painted it.
ReportTiming ShowReport(CProgrammerDlg& dlg, int mismatches)
{
    CProgrammer& programmer = dlg.Session().Programmer();
    for (int address = 0; address < 0x10000; ++address) {
        programmer.Buffer1[address] = Pattern(address);
        programmer.Buffer2[address] =
            address < mismatches ? std::uint8_t(~Pattern(address)) : Pattern(address);
    }
    QListWidget* log = dlg.LogList();
    const int before = log->count();
    CPaintWatch paints(log->viewport());

    const Stamp start = Now();
    if (dlg.Session().CompareBuffers() != 0)
        Fail("the buffers compared equal");
    const Stamp appended = Now();
    Pump([&] { return paints.Count() > 0; }, true, "the log list's paint");
    const Stamp shown = Now();

    // What was painted is the end of the report, scrolled into view.
    const int count = log->count();
    if (count != before + mismatches + 3)
        Fail("the report has " + std::to_string(count - before) + " lines");
    if (log->item(count - 1)->text() != kReportEnd || log->currentRow() != count - 1)
        Fail("the report's last line is not the current line");
    if (!log->viewport()->rect().contains(log->visualItemRect(log->item(count - 1))))
        Fail("the report's last line is not in view");
    return {Between(start, appended), Between(start, shown)};
}

// Follows what the progress bar has painted, so that a wait can end when
// the bar on screen shows its current state.
class CProgressWatch {
public:
    explicit CProgressWatch(CTextProgressCtrl* bar)
        : m_bar(bar), m_paints(bar, [this] {
            m_paintedText = m_bar->DisplayedText();
            m_paintedWidth = m_bar->BarWidthPixels();
        })
    {
    }

    bool ShowsCurrentState() const
    {
        return m_paints.Count() > 0 && m_paintedText == m_bar->DisplayedText()
            && m_paintedWidth == m_bar->BarWidthPixels();
    }
    int Paints() const { return m_paints.Count(); }

private:
    CTextProgressCtrl* m_bar;
    QString m_paintedText;
    int m_paintedWidth = -1;
    CPaintWatch m_paints;
};

int ProgressPos(int event, int events = kProgressEvents)
{
    return int(std::int64_t(event) * kProgressLength / events);
}

void CheckProgressShown(CProgrammerDlg& dlg)
{
    const QString expected = QStringLiteral("正在写:FFFF/FFFF");
    if (dlg.Progress()->Text() != expected || !dlg.Progress()->isVisible())
        Fail("the progress bar shows \"" + dlg.Progress()->Text().toStdString() + "\"");
}

struct ProgressTiming {
    Span span;
    double afterLastPostMs = 0;  // the last post to the last position painted
    int paints = 0;
    int handled = 0;  // status events the window handled
    int wakeups = 0;  // times the sink woke the window's thread
};

// The controller's way: a worker posts the reports, as fast as it can or
// with a pause after each, and moves the position before each; the
// window's thread takes what its sink lets through. Timed from the first
// post until the bar on screen shows the last position.
ProgressTiming ProgressStream(CProgrammerDlg& dlg, int events,
                              std::chrono::microseconds pause = {})
{
    CProgrammer& programmer = dlg.Session().Programmer();
    programmer.m_nLength = kProgressLength;
    programmer.m_nPos = 0;
    CQtStatusSink& sink = dlg.StatusSink();
    const int before = dlg.EventsHandled();
    const int wakeupsBefore = sink.Wakeups();
    CProgressWatch watch(dlg.Progress());
    const QString last = QStringLiteral("正在写:FFFF/FFFF");

    const Stamp start = Now();
    std::atomic<bool> posted{false};
    Clock::time_point lastPost;
    std::thread worker([&] {
        for (int event = 1; event <= events; ++event) {
            programmer.m_nPos = ProgressPos(event, events);
            sink.PostStatus(kStatusWriteProgress);
            if (event == events)
                lastPost = Clock::now();
            else if (pause.count() > 0)
                std::this_thread::sleep_for(pause);
        }
        posted = true;
    });
    Pump([&] { return posted && dlg.Progress()->Text() == last && watch.ShowsCurrentState(); },
         true, "the last position on the bar");
    const Stamp shown = Now();
    worker.join();
    CheckProgressShown(dlg);
    if (sink.Pending() != 0)
        Fail("a progress report is still pending after the last position was shown");
    return {Between(start, shown), Ms(shown.wall - lastPost), watch.Paints(),
            dlg.EventsHandled() - before, sink.Wakeups() - wakeupsBefore};
}

// Each report handled on the window's thread (straight into the session,
// as the sink hands it over) and its state painted before the next: what
// one handled report costs, and the most painting 10,000 can cause.
ProgressTiming ProgressOneByOne(CProgrammerDlg& dlg)
{
    CProgrammer& programmer = dlg.Session().Programmer();
    programmer.m_nLength = kProgressLength;
    CProgressWatch watch(dlg.Progress());

    const Stamp start = Now();
    for (int event = 1; event <= kProgressEvents; ++event) {
        programmer.m_nPos = ProgressPos(event);
        dlg.Session().HandleEvent({StatusEvent::Kind::Status, kStatusWriteProgress});
        Pump([&] { return watch.ShowsCurrentState(); }, true, "a progress report's paint");
    }
    const Stamp shown = Now();
    CheckProgressShown(dlg);
    return {Between(start, shown), 0, watch.Paints(), kProgressEvents, 0};
}

struct StartRun {
    Span app;              // process started to QApplication set up
    Span painted;          // to the main window's first frame painted
    long idleRssKb = -1;   // a second after the window was painted
};

// Starts the real program on simulated hardware in its own program folder,
// with the probe preloaded, and reads the probe's times.
StartRun LaunchProgram(const std::string& program, const std::string& probe,
                       const std::string& folder)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        Fail("pipe");
    // Above the descriptor the child gets it on, so that the dup2 there is
    // never a no-op that would leave close-on-exec set.
    const int readFd = ::fcntl(fds[0], F_DUPFD_CLOEXEC, 10);
    const int writeFd = ::fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
    ::close(fds[0]);
    ::close(fds[1]);
    constexpr int kChildFd = 3;

    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (text.rfind("LD_PRELOAD=", 0) == 0 || text.rfind("XDG_CONFIG_HOME=", 0) == 0
            || text.rfind("TAMBERLINK_START_PROBE_FD=", 0) == 0)
            continue;
        env.push_back(text);
    }
    env.push_back("LD_PRELOAD=" + probe);
    env.push_back("TAMBERLINK_START_PROBE_FD=" + std::to_string(kChildFd));
    env.push_back("XDG_CONFIG_HOME=" + folder + "config");
    std::vector<char*> envp;
    for (std::string& text : env)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    std::string arg0 = program;
    std::string arg1 = "--simulate";
    char* argv[] = {arg0.data(), arg1.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeFd, kChildFd);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    const std::int64_t started = Nanoseconds(CLOCK_MONOTONIC);
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(writeFd);
    if (error != 0)
        Fail("cannot start " + program + ": " + std::strerror(error));

    auto abandon = [pid](const std::string& what) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        Fail(what);
    };
    StartRun run;
    std::string received;
    const Clock::time_point guard = Clock::now() + std::chrono::milliseconds(kGuardMs);
    while (received.find("painted ") == std::string::npos || received.back() != '\n') {
        pollfd watch{readFd, POLLIN, 0};
        if (Clock::now() > guard || ::poll(&watch, 1, 1000) < 0)
            abandon("no report from the start-up probe");
        char buffer[256];
        const ssize_t n = ::read(readFd, buffer, sizeof buffer);
        if (n == 0)
            abandon("the program ended before its window was painted");
        if (n > 0)
            received.append(buffer, std::size_t(n));
    }
    ::close(readFd);
    std::istringstream lines(received);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string what, detail;
        long long at = 0;
        long long cpu = 0;
        fields >> what >> at >> cpu >> detail;
        const Span span{double(at - started) / 1e6, double(cpu) / 1e6};
        if (what == "app") {
            run.app = span;
        } else if (what == "painted") {
            if (detail != "CProgrammerDlg")
                abandon("the first window painted is a " + detail);
            run.painted = span;
        }
    }

    // Idle: the start-up's ready check on the paced board is long over.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    run.idleRssKb = VmRssKb(pid);
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return run;
}

// A program folder of our own, with the built catalogue, for both the
// window in this process and the started program.
std::filesystem::path MakeProgramFolder(const std::string& program)
{
    namespace fs = std::filesystem;
    try {
        g_folder = fs::temp_directory_path()
            / ("tamberlink-bench-window-" + std::to_string(::getpid()));
        fs::create_directories(g_folder / "config");
        fs::copy_file(fs::path(ExecutableFolder()) / "ChipList.chip", g_folder / "ChipList.chip");
        std::error_code linkError;
        fs::create_hard_link(program, g_folder / "tamberlink", linkError);
        if (linkError)
            fs::copy_file(program, g_folder / "tamberlink");
    } catch (const fs::filesystem_error& error) {
        Fail(error.what());
    }
    return g_folder;
}

struct Args {
    int runs = 5;
    std::string program = TAMBERLINK_PROGRAM_PATH;
    std::string probe = TAMBERLINK_START_PROBE_PATH;
};

Args ParseArgs(int argc, char** argv)
{
    Args args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--runs" && hasValue)
            args.runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--program" && hasValue)
            args.program = argv[++i];
        else if (arg == "--probe" && hasValue)
            args.probe = argv[++i];
        else if (arg == "--help" || arg == "-h") {
            std::printf("Usage: bench_window [--runs N] [--program PATH] [--probe PATH]\n"
                        "  --runs N        timed runs of each figure (default 5)\n"
                        "  --program PATH  the tamberlink binary to start (default: the build's)\n"
                        "  --probe PATH    the start-up probe library (default: the build's)\n");
            std::exit(0);
        } else {
            Fail("unknown argument " + arg + " (see --help)");
        }
    }
    return args;
}

// The samples of one figure and how they read against the target.
struct Row {
    Row(std::string rowName, std::string rowUnit, double rowTarget = 0)
        : name(std::move(rowName)), unit(std::move(rowUnit)), target(rowTarget)
    {
    }

    std::string name;
    std::string unit;
    double target;  // 0: none
    std::vector<double> samples;
    std::vector<double> cpuMs;  // empty: not measured

    void Add(double sample) { samples.push_back(sample); }
    void Add(const Span& span)
    {
        samples.push_back(span.ms);
        cpuMs.push_back(span.cpuMs);
    }
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void PrintRow(const Row& row)
{
    std::string runs;
    for (double sample : row.samples) {
        char text[32];
        std::snprintf(text, sizeof text, "%s%.0f", runs.empty() ? "" : " / ", sample);
        runs += text;
    }
    const double median = Median(row.samples);
    const double worst = *std::max_element(row.samples.begin(), row.samples.end());
    char cpu[32] = "";
    if (!row.cpuMs.empty())
        std::snprintf(cpu, sizeof cpu, "%.0f ms", Median(row.cpuMs));
    char target[64] = "none";
    if (row.target > 0)
        std::snprintf(target, sizeof target, "%.0f %s: %s", row.target, row.unit.c_str(),
                      worst <= row.target    ? "met"
                          : median <= row.target ? "median met, not every run"
                                                 : "not met");
    std::printf("| %s | %s | %.0f %s | %s | %s |\n", row.name.c_str(), runs.c_str(), median,
                row.unit.c_str(), cpu, target);
}

std::string Machine()
{
    utsname name{};
    ::uname(&name);
    return std::to_string(std::thread::hardware_concurrency()) + " CPUs ("
        + FieldOf("/proc/cpuinfo", "model name") + "), Linux " + name.release;
}

}  // namespace

int main(int argc, char** argv)
{
    const Args args = ParseArgs(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string loadAtStart = LoadAverage();

    const std::string folderText = MakeProgramFolder(args.program).string() + "/";

    // In this process: QApplication to the window's first painted frame,
    // the way CProgrammerApp starts it.
    const Stamp beforeApp = Now();
    QApplication application(argc, argv);
    InitAppGlobals();
    SetAppDir(folderText);
    QApplication::setFont(CProgrammerApp::InterfaceFont());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/128.svg")));
    CPrintingMessageSink messages;
    auto dlg = ConstructWindow(messages);
    const Stamp constructed = Now();
    {
        CPaintWatch paints(dlg.get());
        dlg->show();
        Pump([&] { return paints.Count() > 0; }, true, "the window's first paint");
    }
    const Stamp painted = Now();
    WaitUntilIdle(*dlg);

    // Memory, in the first window: idle, then ten reports of 8,192 lines
    // appended one after another, as repeated Verify clicks leave them.
    Settle(500);
    const long idleKb = VmRssKb();
    for (int report = 0; report < kSmallReports; ++report) {
        ShowReport(*dlg, kSmallReportLines);
        Settle(50);
    }
    Settle(300);
    const long afterReportsKb = VmRssKb();
    const int logLinesAfterReports = dlg->LogList()->count();
    dlg.reset();
    Settle(300);

    // The real program, started and stopped runs times.
    Row appRow{"tamberlink --simulate: process start to QApplication set up", "ms"};
    Row startRow{"tamberlink --simulate: process start to the window painted", "ms",
                 kStartTargetMs};
    Row rssRow{"tamberlink --simulate: idle VmRSS, 1 s after the window was painted", "MB",
               kIdleRssTargetMb};
    for (int run = 0; run < args.runs; ++run) {
        const StartRun start = LaunchProgram(folderText + "tamberlink", args.probe, folderText);
        appRow.Add(start.app);
        startRow.Add(start.painted);
        rssRow.Add(Mb(start.idleRssKb));
    }

    // The verify report and the progress events, each on a fresh window.
    Row appendRow{"verify report, 65,536 lines: CompareBuffers returned", "ms"};
    Row reportRow{"verify report, 65,536 lines: appended and painted", "ms", kReportTargetMs};
    for (int run = 0; run < args.runs; ++run) {
        auto window = OpenWindow(messages);
        const ReportTiming timing = ShowReport(*window, kReportLines);
        appendRow.Add(timing.appended);
        reportRow.Add(timing.shown);
    }
    Row burstRow{"10,000 progress reports posted by a worker thread: first post to the last "
                 "position painted",
                 "ms", kProgressTargetMs};
    Row handledRow{"10,000 progress reports posted by a worker thread: reports the window handled",
                   "events"};
    Row wakeupRow{"10,000 progress reports posted by a worker thread: wake-ups of the window's "
                  "thread",
                  "wake-ups"};
    Row pacedRow{"512 progress reports, one every 1.6 ms: last post to the last position "
                 "painted",
                 "ms"};
    Row pacedHandledRow{"512 progress reports, one every 1.6 ms: reports the window handled",
                        "events"};
    Row pacedWakeupRow{"512 progress reports, one every 1.6 ms: wake-ups of the window's thread",
                       "wake-ups"};
    // No target: it times 10,000 paints of the bar rather than the handling.
    Row oneRow{"10,000 progress reports, each handled by the session and painted before the next",
               "ms"};
    int burstPaints = 0;
    int onePaints = 0;
    for (int run = 0; run < args.runs; ++run) {
        auto window = OpenWindow(messages);
        const ProgressTiming burst = ProgressStream(*window, kProgressEvents);
        Settle(50);
        const ProgressTiming paced = ProgressStream(*window, kPacedEvents, kPacedInterval);
        pacedRow.Add(paced.afterLastPostMs);
        pacedHandledRow.Add(paced.handled);
        pacedWakeupRow.Add(paced.wakeups);
        Settle(50);
        const ProgressTiming one = ProgressOneByOne(*window);
        burstRow.Add(burst.span);
        handledRow.Add(burst.handled);
        wakeupRow.Add(burst.wakeups);
        oneRow.Add(one.span);
        burstPaints = burst.paints;
        onePaints = one.paints;
    }

    RemoveFolder();

    std::printf("Machine: %s\nQt %s, platform %s; load average %s at the start, %s at the end\n"
                "Runs: %d of each timed figure\n\n",
                Machine().c_str(), qVersion(), qgetenv("QT_QPA_PLATFORM").constData(),
                loadAtStart.c_str(), LoadAverage().c_str(), args.runs);
    std::printf("| figure | runs (wall clock) | median | CPU, median | target |\n"
                "|---|---|---|---|---|\n");
    PrintRow(reportRow);
    PrintRow(appendRow);
    PrintRow(burstRow);
    PrintRow(handledRow);
    PrintRow(wakeupRow);
    PrintRow(pacedRow);
    PrintRow(pacedHandledRow);
    PrintRow(pacedWakeupRow);
    PrintRow(oneRow);
    PrintRow(startRow);
    PrintRow(appRow);
    Row inProcess{"in this process: QApplication constructed to the window painted", "ms"};
    inProcess.Add(Between(beforeApp, painted));
    PrintRow(inProcess);
    Row construction{"in this process: QApplication constructed to the window constructed", "ms"};
    construction.Add(Between(beforeApp, constructed));
    PrintRow(construction);
    PrintRow(rssRow);
    Row ownRss{"this benchmark's window: idle VmRSS", "MB"};
    ownRss.Add(Mb(idleKb));
    PrintRow(ownRss);

    std::printf("\nProgress bar paints in the last run: %d (worker), %d (one by one); one by one "
                "is %.0f us per event (%.0f us of CPU).\n",
                burstPaints, onePaints, Median(oneRow.samples) * 1000.0 / kProgressEvents,
                Median(oneRow.cpuMs) * 1000.0 / kProgressEvents);
    const long addedKb = afterReportsKb - idleKb;
    std::printf("Ten 8,192-line reports (%d log lines in all) add %.1f MB to the idle VmRSS "
                "(%.1f MB per report, %.0f bytes per line).\n",
                logLinesAfterReports, Mb(addedKb), Mb(addedKb) / kSmallReports,
                double(addedKb) * 1024.0 / double(kSmallReports * (kSmallReportLines + 3)));
    return 0;
}
