#include <gtest/gtest.h>

#include <cstring>

#include "programmer/StatusCode.h"
#include "tests/app/SessionTestKit.h"

namespace {

enum class Outcome { None, Success, Failure };

struct CodeRow {
    int code;
    Lines lines;
    Outcome outcome;
    bool sound;  // a success that allows its prompt
};

class StatusCodeTable : public testing::TestWithParam<CodeRow> {};

TEST_P(StatusCodeTable, LogsAndEndsAsTheTableSays)
{
    const CodeRow& row = GetParam();
    SettingsRecord settings;
    settings.soundOn = 1;
    CSessionHarness h(0, settings);
    h.session.OnProgStatus(row.code);

    EXPECT_EQ(h.view.log, row.lines);
    EXPECT_EQ(h.view.selected, std::vector<bool>(row.lines.size(), true));
    EXPECT_EQ(h.session.SequenceEndCount(), row.outcome == Outcome::None ? 0 : 1);
    if (row.outcome != Outcome::None) {
        EXPECT_EQ(h.session.LastSequenceSucceeded(), row.outcome == Outcome::Success);
        EXPECT_EQ(h.view.flashes, row.outcome == Outcome::Failure ? 1 : 0);
        EXPECT_EQ(h.view.sounds.size(), row.outcome == Outcome::Failure || row.sound ? 1u : 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, StatusCodeTable,
    testing::Values(CodeRow{0, {"初始化串口通讯失败."}, Outcome::Failure, false},
                    CodeRow{1, {"初始化并口失败."}, Outcome::Failure, false},
                    CodeRow{3, {"未初始化串口."}, Outcome::Failure, false},
                    CodeRow{4, {"初始化并口完成."}, Outcome::None, false},
                    CodeRow{5, {"编程器:就绪."}, Outcome::Success, false},
                    CodeRow{6, {"编程器:不可用."}, Outcome::Failure, false},
                    CodeRow{7, {"接收数据时发生错误."}, Outcome::Failure, false},
                    CodeRow{8, {}, Outcome::None, false},
                    CodeRow{9, {"编程器:擦除器件完成."}, Outcome::Success, true},
                    CodeRow{13, {"编程器:写器件时发生错误."}, Outcome::Failure, false},
                    CodeRow{14, {"编程器:读器件开始."}, Outcome::None, false},
                    CodeRow{17, {"编程器:写锁定位完成."}, Outcome::Success, true},
                    CodeRow{18, {"编程器:无效的操作."}, Outcome::Failure, false},
                    CodeRow{21, {}, Outcome::Failure, false},
                    CodeRow{-1, {}, Outcome::Failure, false}));

TEST(StatusEvents, SerialLinkUpAsksTheSelectedDeviceForReadiness)
{
    SettingsRecord settings;
    settings.deviceIndex = 1;
    CSessionHarness h(0, settings);
    h.session.OnProgStatus(kStatusSerialOpened);
    EXPECT_EQ(h.view.log, Lines{"初始化串口通讯完成."});
    EXPECT_EQ(h.backend->Ops(), Lines{"check"});
    EXPECT_EQ(h.session.Programmer().m_nCurDevice, 1);
    EXPECT_TRUE(h.session.IsStepOutstanding());
}

TEST(StatusEvents, WriteStartCountsTheTrimmedImage)
{
    CSessionHarness h;
    std::memset(h.session.Programmer().Buffer1, 0x00, 10);
    h.session.OnProgStatus(kStatusWriteStart);
    EXPECT_EQ(h.view.log, (Lines{"编程器:写器件开始.", "写入10字节..."}));
}

TEST(StatusEvents, DetectionSelectsAndNamesTheMatchedDevice)
{
    CSessionHarness h;
    CProgrammer& programmer = h.session.Programmer();
    programmer.SetSignature({0x1e, 0x51, 0x06});
    programmer.MatchSignature();
    h.Pump();  // the device list selection, then 19
    EXPECT_EQ(h.view.log, (Lines{"编程器:检测到器件(特征字:1e 51 06).",
                                 "AT89S51 - ROM容量:4K字节. 编程电压:5.00V."}));
    EXPECT_EQ(h.view.deviceSel, 1);

    programmer.SetSignature({0xAB, 0x0c, 0xff});
    programmer.MatchSignature();
    h.Pump();
    EXPECT_EQ(h.view.log.back(), "编程器:没检测到器件(特征字:ab 0c ff).");
    EXPECT_FALSE(h.session.LastSequenceSucceeded());
}

struct ProgressRow {
    int code, pos, length;
    std::string text;
    int percent;
};

class ProgressText : public testing::TestWithParam<ProgressRow> {};

TEST_P(ProgressText, ShowsPositionAndLastAddressInUpperCaseHex)
{
    const ProgressRow& row = GetParam();
    CSessionHarness h;
    h.session.Programmer().m_nPos = row.pos;
    h.session.Programmer().m_nLength = row.length;
    h.session.OnProgStatus(row.code);
    EXPECT_TRUE(h.view.progressShown);
    EXPECT_EQ(h.view.progressTexts, Lines{row.text});
    EXPECT_EQ(h.view.progressPos, std::vector<int>{row.percent});
    EXPECT_TRUE(h.view.log.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Positions, ProgressText,
    testing::Values(ProgressRow{11, 0, 0x11, "正在写:FFFFFFFF/0010", 0},
                    ProgressRow{11, 32, 0x11, "正在写:001F/0010", 200},  // last block overruns
                    ProgressRow{11, 0xAB0, 0x2000, "正在写:0AAF/1FFF", 33},
                    ProgressRow{11, 1, 1, "正在写:0000/0000", 100},  // one byte: full
                    ProgressRow{15, 0x10000, 0x20000, "正在读:FFFF/1FFFF", 50}));

TEST(StatusEvents, TransferEndsFillTheBar)
{
    CSessionHarness h(1);
    h.session.OnProgStatus(kStatusWriteDone);
    h.session.OnProgStatus(kStatusReadDone);
    EXPECT_EQ(h.view.log, (Lines{"编程器:写器件完成.", "编程器:读器件完成.", "数据已经保存到缓冲2.",
                                 "校验和 E000 (缓冲2, 器件 AT89S52)"}));
    EXPECT_EQ(h.view.progressPos, (std::vector<int>{100, 100}));
    EXPECT_EQ(h.view.progressTexts, (Lines{"写器件完成", "读器件完成"}));
    EXPECT_EQ(h.session.WriteCount(), 1);
    EXPECT_EQ(h.session.SequenceEndCount(), 2);
}

// With the progress reports coalesced (as the command line takes them),
// what the bar shows after each report is the position reached by then,
// and an end that follows is neither lost nor put before a report.
TEST(StatusEvents, CoalescedProgressShowsTheLatestPosition)
{
    CRecordingView view;
    CStatusQueue queue(CStatusQueue::Progress::Coalesced);
    CRecordingMessageSink messages;
    CProgrammerSession session(view, queue, messages);
    CProgrammer& programmer = session.Programmer();
    programmer.m_nLength = 0x100;
    auto handleAll = [&] {
        while (auto event = queue.Wait(std::chrono::milliseconds(0)))
            session.HandleEvent(*event);
    };
    for (const int pos : {0x10, 0x20, 0x30}) {
        programmer.m_nPos = pos;
        queue.PostStatus(kStatusWriteProgress);
    }
    handleAll();
    EXPECT_EQ(view.progressTexts.back(), "正在写:002F/00FF");
    // Sooner than the interval: held, then released ahead of the end.
    programmer.m_nPos = 0x40;
    queue.PostStatus(kStatusWriteProgress);
    programmer.m_nPos = 0x50;
    queue.PostStatus(kStatusWriteProgress);
    queue.PostStatus(kStatusReceiveError);
    handleAll();
    EXPECT_EQ(view.progressTexts, (Lines{"正在写:002F/00FF", "正在写:004F/00FF"}));
    EXPECT_EQ(view.log, Lines{"接收数据时发生错误."});
}

}  // namespace
