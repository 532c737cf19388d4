#include "tests/soak/CableSoak.h"

#include <cstdio>

#include "isp/IspProgrammer.h"
#include "sim/SimIspRig.h"
#include "sim/SimulatedIspProgrammer.h"
#include "tests/soak/SessionBench.h"
#include "tests/soak/SoakReport.h"
#include "widgets/core/CommandButton.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kWriteErrorLine[] = "编程器:写器件时发生错误.";
const char kNoAnswerLine[] = "芯片没有应答编程使能指令, 请检查连线、晶振和电源.";

// Every byte is shifted bit by bit: keep the images small.
constexpr int kMaxImage = 512;

CIspProgrammer* CableBackend(CSessionBench& bench)
{
    return dynamic_cast<CIspProgrammer*>(bench.Session().Programmer().Backend());
}

}  // namespace

CCableSoak::CCableSoak(Options options, CSoakReport& report)
    : m_options(std::move(options))
    , m_report(report)
    , m_random(m_options.seed ^ 0x9E3779B9u)
    , m_strImagePath(m_options.folder + "/soak-cable-image.bin")
{
}

CCableSoak::~CCableSoak() = default;

bool CCableSoak::StartProgram(int cableType)
{
    m_pBench.reset();
    m_pRig = nullptr;
    CSessionBench::Config config;
    config.settings.progType = cableType;
    config.settings.ispSetting = 0;  // pulse the latch after every change
    config.settings.autoDetect = 0;
    config.settings.soundOn = 0;
    config.settings.hotkeyOn = 0;
    config.settings.autoLoad = 1;
    config.settings.autoErase = 1;
    config.settings.autoWrite = 1;
    config.settings.autoVerify = 1;
    config.settings.deviceIndex = 0;
    config.cataloguePath = m_options.cataloguePath;
    config.stepTimeout = m_options.stepTimeout;
    config.opener = [this](CProgrammer& programmer, int progType, int latchMode) {
        SimulatedIspProgrammer made = MakeSimulatedIspProgrammer(programmer, progType, latchMode);
        m_pRig = made.rig;
        const int ready = made.backend->IsPortReady() ? 1 : 0;
        programmer.SetBackend(progType, std::move(made.backend));
        return ready;
    };
    m_pBench = std::make_unique<CSessionBench>(config);
    if (!m_pBench->Connect() || !m_pRig) {
        m_report.Fail("the program does not open the simulated cable of type "
                      + std::to_string(cableType) + ":\n" + m_pBench->View().Tail(6));
        m_pBench.reset();
        return false;
    }
    m_pBench->Session().SetFilePath(m_strImagePath);
    return true;
}

SoakCase CCableSoak::PickCase(bool detectFirst, bool& skipErase)
{
    const int roll = std::uniform_int_distribution<int>(0, 99)(m_random);
    SoakCase c;
    c.expectLine = kVerifiedLine;
    skipErase = false;
    CSimChip& chip = m_pRig->Chip();
    CSimCable& cable = m_pRig->Cable();
    cable.SetMisoFault(CSimCable::MisoFault::None);

    if (roll < 40) {
        c.kind = "none";
    } else if (roll < 70) {
        const bool high = roll < 55;
        cable.SetMisoFault(high ? CSimCable::MisoFault::StuckHigh : CSimCable::MisoFault::StuckLow);
        c.kind = high ? "misoStuckHigh" : "misoStuckLow";
        c.expectSuccess = false;
        // Programming enable is never answered with 0x69, so the first step
        // that talks to the chip (detect or erase) fails and says why.
        c.expectLine = kNoAnswerLine;
    } else if (roll < 85) {
        // The erase step clears the lock bits: the run succeeds.
        const int level = std::uniform_int_distribution<int>(1, 3)(m_random);
        chip.Lock(level);
        c.kind = "lockedThenErased";
        c.detail = "locked at level " + std::to_string(level) + ", erase marked";
    } else {
        // Without the erase a blank chip locked against programming refuses
        // the first byte that is not 0xFF.
        chip.ChipErase();
        chip.Lock(1);
        skipErase = true;
        c.kind = "lockedNoErase";
        c.expectSuccess = false;
        c.expectLine = kWriteErrorLine;
    }
    if (c.detail.empty())
        c.detail = c.kind;
    if (detectFirst)
        c.detail += ", detect first";
    return c;
}

void CCableSoak::RunOne(int number, const Progress& progress)
{
    const std::vector<std::uint8_t> image = RandomImage(m_random, kMaxImage);
    const bool detectFirst = std::bernoulli_distribution(0.3)(m_random);
    bool skipErase = false;
    const SoakCase c = PickCase(detectFirst, skipErase);
    const std::string tag = "cable run " + std::to_string(number) + " (" + c.detail + ")";
    if (progress)
        progress(tag);
    if (!WriteImageFile(m_strImagePath, image)) {
        m_report.Fail("cannot write the image file " + m_strImagePath);
        return;
    }

    CSessionBench& bench = *m_pBench;
    CProgrammerSession& session = bench.Session();
    CIspProgrammer* backend = CableBackend(bench);
    if (!backend || backend->IsBusy() || session.IsStepOutstanding()) {
        m_report.Fail(tag + ": does not start clean");
        return;
    }
    session.SetAutoDetect(detectFirst ? 1 : 0);
    if (skipErase)
        session.OnToggleMark(kCmdErase);

    const auto started = Clock::now();
    const bool success = bench.RunAuto();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);

    if (skipErase)
        session.OnToggleMark(kCmdErase);
    m_pRig->Cable().SetMisoFault(CSimCable::MisoFault::None);
    bench.Settle([&] { return !backend->IsBusy(); }, std::chrono::milliseconds(1500));

    bool asExpected = success == c.expectSuccess;
    std::string why = asExpected ? "" : (success ? "succeeded" : "failed");
    const bool lineThere = c.linePrefix ? bench.View().ContainsPrefix(c.expectLine)
                                        : bench.View().Contains(c.expectLine);
    if (!lineThere) {
        asExpected = false;
        why += std::string(", no line \"") + c.expectLine + "\"";
    }
    if (!bench.AllEventsHandled()) {
        asExpected = false;
        why += ", events posted " + std::to_string(bench.Posted()) + " but handled "
            + std::to_string(bench.Handled());
    }
    if (!bench.Messages().Texts().empty()) {
        asExpected = false;
        why += ", a message was shown: " + bench.Messages().Texts().front();
    }
    if (asExpected && success) {
        for (std::size_t a = 0; a < image.size(); ++a) {
            if (m_pRig->Chip().PeekByte(std::uint32_t(a)) != image[a]) {
                asExpected = false;
                why += ", verified but the chip differs at " + std::to_string(a);
                break;
            }
        }
    }
    m_report.Record("cable " + c.kind, asExpected, took);
    if (!asExpected)
        m_report.Fail(tag + ": " + why + "\n" + bench.View().Tail(8));
    else if (m_options.verbose)
        std::printf("%s: %s in %lld ms\n", tag.c_str(), success ? "ok" : "failed as due",
                    static_cast<long long>(took.count()));
}

void CCableSoak::Run(const Progress& progress)
{
    int cableType = 0;
    for (int i = 1; i <= m_options.runs; ++i) {
        // Each of the three cable kinds gets its share of the runs, each in a
        // program of its own.
        const int type = 1 + (i - 1) * 3 / std::max(1, m_options.runs);
        if (type != cableType) {
            cableType = type;
            if (!StartProgram(cableType))
                return;
        }
        RunOne(i, progress);
        if (progress)
            progress({});
    }
    m_pBench.reset();
}
