#include "tests/soak/SerialSoak.h"

#include <cstdio>

#include "programmer/SerialProgrammer.h"
#include "tests/soak/SessionBench.h"
#include "tests/soak/SoakReport.h"
#include "widgets/core/CommandButton.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kWriteErrorLine[] = "编程器:写器件时发生错误.";
const char kReceiveErrorLine[] = "接收数据时发生错误.";
const char kTimeoutLine[] = "编程器:操作超时,没有响应.";
const char kPortFailedLine[] = "初始化串口通讯失败.";
const char kLineFaultPrefix[] = "WARNING:  ";

// AT89S52: 8 KB; images stay well inside it so that runs are short.
constexpr int kMaxImage = 4096;
// A slow board answers every block late: three blocks are enough.
constexpr std::size_t kMaxSlowImage = 48;

CSerialProgrammer* SerialBackend(CSessionBench& bench)
{
    return dynamic_cast<CSerialProgrammer*>(bench.Session().Programmer().Backend());
}

}  // namespace

CSerialSoak::CSerialSoak(Options options, CSoakReport& report)
    : m_options(std::move(options))
    , m_report(report)
    , m_random(m_options.seed)
    , m_board(CBoardSimulator::Options{})
    , m_strImagePath(m_options.folder + "/soak-image.bin")
{
}

CSerialSoak::~CSerialSoak()
{
    // The port closes while the board still serves.
    m_pBench.reset();
    m_board.Stop();
}

bool CSerialSoak::StartProgram()
{
    m_pBench.reset();
    if (!m_board.IsServing() && !m_board.Start()) {
        m_report.Fail("the simulated board does not start: " + m_board.LastError());
        return false;
    }
    CSessionBench::Config config;
    config.settings.progType = 0;
    config.settings.comPort = 1;
    config.settings.baudSel = 0;
    config.settings.autoDetect = 0;
    config.settings.soundOn = 0;
    config.settings.hotkeyOn = 0;
    config.settings.autoLoad = 1;
    config.settings.autoErase = 1;
    config.settings.autoWrite = 1;
    config.settings.autoRead = 0;
    config.settings.autoVerify = 1;
    config.settings.deviceIndex = 0;
    config.cataloguePath = m_options.cataloguePath;
    config.portPath = m_board.DevicePath();
    config.stepTimeout = m_options.stepTimeout;
    m_pBench = std::make_unique<CSessionBench>(config);
    if (!m_pBench->Connect()) {
        m_report.Fail("the program does not connect to the board on " + config.portPath + ":\n"
                      + m_pBench->View().Tail(6));
        m_pBench.reset();
        return false;
    }
    m_pBench->Session().SetFilePath(m_strImagePath);
    return true;
}

SoakCase CSerialSoak::PickCase(int blocks, BoardFaults& faults)
{
    std::uniform_int_distribution<int> percent(0, 99);
    // A block number that mostly lands inside the transfer, sometimes just
    // past it, where the fault must change nothing.
    std::uniform_int_distribution<int> anyBlock(0, blocks + 1);
    const int roll = percent(m_random);

    SoakCase c;
    c.expectLine = kVerifiedLine;
    if (roll < 35) {
        c.kind = "none";
    } else if (roll < 45) {
        const int k = faults.failBlock = anyBlock(m_random);
        c.kind = "failBlock";
        c.detail = "failBlock " + std::to_string(k);
        if (k < blocks) {
            c.expectSuccess = false;
            c.expectLine = kWriteErrorLine;
        }
    } else if (roll < 55) {
        const int k = faults.dropAckOfBlock = anyBlock(m_random);
        c.kind = "dropAckOfBlock";
        c.detail = "dropAckOfBlock " + std::to_string(k);
        if (k < blocks) {
            c.expectSuccess = false;
            c.expectLine = kReceiveErrorLine;
        }
    } else if (roll < 65) {
        // The repeat request brings the block: the verify succeeds.
        const int k = faults.loseReadBlock = anyBlock(m_random);
        c.kind = "loseReadBlock";
        c.detail = "loseReadBlock " + std::to_string(k);
    } else if (roll < 71) {
        faults.neverAnswer = true;
        c.kind = "neverAnswer";
        c.expectSuccess = false;
        c.expectLine = kTimeoutLine;
    } else if (roll < 77) {
        // Replies of kinds the host does not know answer nothing: the ready
        // check waits until the watchdog gives up.
        faults.garbage = true;
        c.kind = "garbage";
        c.expectSuccess = false;
        c.expectLine = kTimeoutLine;
    } else if (roll < 85) {
        // Slow, but inside the host's waits (500 ms for a read block): every
        // reply and acknowledgement is late, so the caller keeps such images
        // short.
        faults.replyDelayMs = std::uniform_int_distribution<int>(50, 400)(m_random);
        c.kind = "replyDelay";
        c.detail = "replyDelayMs " + std::to_string(faults.replyDelayMs);
    } else {
        const int k = faults.closeAfterBlock = anyBlock(m_random);
        c.kind = "closeAfterBlock";
        c.detail = "closeAfterBlock " + std::to_string(k);
        if (k < blocks) {
            c.closesLine = true;
            c.expectSuccess = false;
            // The last block's acknowledgement still arrives; the end frame
            // then goes unanswered, the write stands after the wait for its
            // answer, and the verify finds the port gone.
            c.expectLine = k + 1 < blocks ? kReceiveErrorLine : kPortFailedLine;
        }
    }
    if (c.detail.empty())
        c.detail = c.kind;
    return c;
}

bool CSerialSoak::StartsClean(int number)
{
    CProgrammerSession& session = m_pBench->Session();
    CSerialProgrammer* backend = SerialBackend(*m_pBench);
    bool clean = backend && !backend->IsBusy() && !session.IsStepOutstanding();
    for (int step : session.PendingSteps())
        clean = clean && step == 0;
    for (int id : {kCmdDetect, kCmdLoadFile, kCmdSaveFile, kCmdErase, kCmdWrite, kCmdRead,
                   kCmdVerify, kCmdAuto, kCmdLock})
        clean = clean && session.Button(id).IsAccepting();
    if (!clean)
        m_report.Fail("run " + std::to_string(number) + " does not start clean");
    return clean;
}

void CSerialSoak::CheckChip(int number, const std::vector<std::uint8_t>& image)
{
    CSimChip& chip = m_board.Chip();
    for (std::size_t a = 0; a < image.size(); ++a) {
        if (chip.PeekByte(std::uint32_t(a)) != image[a]) {
            m_report.Fail("run " + std::to_string(number) + " verified, but the chip differs at "
                          + std::to_string(a));
            return;
        }
    }
}

void CSerialSoak::RunOne(int number, const Progress& progress)
{
    std::vector<std::uint8_t> image = RandomImage(m_random, kMaxImage);
    BoardFaults faults;
    const SoakCase c = PickCase(BlockCount(image), faults);
    if (faults.replyDelayMs > 0 && image.size() > kMaxSlowImage) {
        image.resize(kMaxSlowImage);
        image.back() = 0x5A;
    }
    const bool detectFirst = std::bernoulli_distribution(0.3)(m_random);

    if (!WriteImageFile(m_strImagePath, image)) {
        m_report.Fail("cannot write the image file " + m_strImagePath);
        return;
    }
    const std::string tag = "serial run " + std::to_string(number) + " (" + c.detail + ")";
    if (progress)
        progress(tag);
    if (!StartsClean(number))
        return;
    CSessionBench& bench = *m_pBench;
    const std::size_t messagesBefore = bench.Messages().Texts().size();
    bench.Session().SetAutoDetect(detectFirst ? 1 : 0);

    m_board.SetFaults(faults);
    const auto started = Clock::now();
    const bool success = bench.RunAuto();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    m_board.SetFaults({});

    // A failed write is followed by the board's answer to its end frame;
    // it belongs to this run, not to the next.
    CSerialProgrammer* backend = SerialBackend(bench);
    bench.Settle(
        [&] {
            return backend && !backend->IsBusy()
                && (backend->IsReady() || c.kind == "neverAnswer" || c.closesLine);
        },
        std::chrono::milliseconds(1500));

    bool asExpected = success == c.expectSuccess;
    std::string why;
    if (!asExpected)
        why = success ? "succeeded" : "failed";
    const bool lineThere = c.linePrefix ? bench.View().ContainsPrefix(c.expectLine)
                                        : bench.View().Contains(c.expectLine);
    if (!lineThere) {
        asExpected = false;
        why += (why.empty() ? "" : ", ") + std::string("no line \"") + c.expectLine + "\"";
    }
    if (!bench.AllEventsHandled()) {
        asExpected = false;
        why += ", events posted " + std::to_string(bench.Posted()) + " but handled "
            + std::to_string(bench.Handled());
    }
    const std::vector<std::string> texts = bench.Messages().Texts();
    const std::size_t shown = texts.size() - messagesBefore;
    // A hang-up is shown once, as a port failure; nothing else shows a box.
    const std::size_t messagesDue = c.closesLine ? 1 : 0;
    if (shown != messagesDue
        || (shown > 0 && !texts.back().starts_with(kLineFaultPrefix))) {
        asExpected = false;
        why += ", " + std::to_string(shown) + " messages shown";
    }
    if (asExpected && success)
        CheckChip(number, image);
    m_report.Record(c.kind, asExpected, took);
    if (!asExpected)
        m_report.Fail(tag + ": " + why + "\n" + bench.View().Tail(8));
    else if (m_options.verbose)
        std::printf("%s: %s in %lld ms\n", tag.c_str(), success ? "ok" : "failed as due",
                    static_cast<long long>(took.count()));

    // A board that hung up is gone for this program: start it again.
    if (c.closesLine || !m_board.IsServing()) {
        ++m_nRestarts;
        StartProgram();
    }
}

void CSerialSoak::Run(const Progress& progress)
{
    if (!StartProgram())
        return;
    for (int i = 1; i <= m_options.runs && m_pBench; ++i) {
        RunOne(i, progress);
        if (progress)
            progress({});
    }
    m_report.Note("serial: the program was started afresh " + std::to_string(m_nRestarts)
                  + " times after the board hung up");
}
