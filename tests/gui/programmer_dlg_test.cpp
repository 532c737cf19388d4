#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <thread>
#include <utility>
#include <vector>

#include "app/AboutDlg.h"
#include "app/ProgrammerApp.h"
#include "app/ProgrammerDlg.h"
#include "app/QtStatusSink.h"
#include "app/SimulatedHardware.h"
#include "programmer/StatusCode.h"
#include "settings/SettingsGrid.h"
#include "sim/BoardSimulator.h"
#include "tests/gui/WindowTestRig.h"
#include "widgets/CommandButtonWidget.h"
#include "widgets/HexEdit.h"
#include "widgets/PropertyGrid.h"
#include "widgets/TextProgressCtrl.h"

// Readable failure output for texts (gtest finds it by argument lookup).
static void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// Hang guard only: every wait ends as soon as its condition holds.
constexpr int kHangGuardMs = 60000;

std::vector<std::uint8_t> Pattern(int size)
{
    std::vector<std::uint8_t> bytes(std::size_t(size), 0);
    for (int i = 0; i < size; ++i)
        bytes[std::size_t(i)] = std::uint8_t((i * 13 + 5) % 0xFE);
    return bytes;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class ProgrammerDlgTest : public CWindowTestRig {
protected:
    // Clicks a command button and waits for the sequence it starts to end.
    static bool Run(CProgrammerDlg& dlg, int id)
    {
        CProgrammerSession& session = dlg.Session();
        const int ends = session.SequenceEndCount();
        dlg.ButtonWidget(id)->click();
        EXPECT_TRUE(WaitForSequenceEnd(session, ends));
        return session.LastSequenceSucceeded();
    }

    static bool Load(CProgrammerDlg& dlg, const std::string& path)
    {
        dlg.SetOpenFileChooser([path] { return std::optional<std::string>(path); });
        return Run(dlg, kCmdLoadFile);
    }

    // The blank check from the Buffer 2 page's context menu.
    static bool BlankCheck(CProgrammerDlg& dlg)
    {
        auto* action = dlg.HexView2()->findChild<QAction*>(QStringLiteral("blankCheckAction"));
        EXPECT_TRUE(action && dlg.HexView2()->actions().contains(action));
        CProgrammerSession& session = dlg.Session();
        const int ends = session.SequenceEndCount();
        if (action)
            action->trigger();
        EXPECT_TRUE(WaitForSequenceEnd(session, ends));
        return session.LastSequenceSucceeded();
    }
};

TEST_F(ProgrammerDlgTest, StartUpWithoutSettingsLogsFirstLinesOnStatusPage)
{
    auto dlg = Open();
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Tamberlink V3.0"));
    const QStringList log = Log(*dlg);
    ASSERT_GE(log.size(), 5);
    EXPECT_EQ(log[0], QStringLiteral("TamberlinkVer3.0)"));
    EXPECT_EQ(log[2], QStringLiteral("Tamberlink            Tamberlink   "));
    EXPECT_EQ(log[3], QStringLiteral("初始化串口通讯完成."));
    EXPECT_EQ(log[4], QStringLiteral("编程器:就绪."));

    // The first line brought the Status page forward; the rest is hidden.
    EXPECT_EQ(dlg->CurrentPage(), kPageStatus);
    EXPECT_EQ(dlg->TabControl()->currentIndex(), kPageStatus);
    EXPECT_TRUE(dlg->LogList()->isVisible());
    EXPECT_FALSE(dlg->HexView1()->isVisible());
    EXPECT_FALSE(dlg->Grid()->isVisible());
    EXPECT_FALSE(dlg->Progress()->isVisible());

    EXPECT_EQ(dlg->DeviceCombo()->currentText(), QStringLiteral("AT89S52"));
    ASSERT_EQ(dlg->LockCombo()->count(), 3);
    EXPECT_EQ(dlg->LockCombo()->itemText(2), QStringLiteral("Lock Bit-3"));
    EXPECT_EQ(dlg->LockCombo()->currentIndex(), 0);
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(ProgrammerDlgTest, SelectPageShowsOnePageAndTheGridOnePixelLarger)
{
    auto dlg = Open();
    for (int page = 0; page < 4; ++page) {
        dlg->SelectPage(page);
        EXPECT_EQ(dlg->TabControl()->currentIndex(), page);
        EXPECT_EQ(dlg->Session().CurrentPage(), page);
        const QRect expected =
            page == kPageSettings ? dlg->PageRect().adjusted(-1, -1, 1, 1) : dlg->PageRect();
        EXPECT_EQ(dlg->PageControl(page)->geometry(), expected) << page;
        for (int other = 0; other < 4; ++other)
            EXPECT_EQ(dlg->PageControl(other)->isVisible(), other == page) << page << other;
    }
    // The user's tab click goes the same way; the next log line takes the
    // Status page back.
    dlg->TabControl()->setCurrentIndex(kPageBuffer2);
    EXPECT_TRUE(dlg->HexView2()->isVisible());
    dlg->Session().AppendLog("x");
    EXPECT_EQ(dlg->CurrentPage(), kPageStatus);
    EXPECT_TRUE(dlg->LogList()->isVisible());
}

// The log keeps its place across page changes, and its columns line up.
TEST_F(ProgrammerDlgTest, LogKeepsItsScrollPlaceAndUsesAFixedWidthFont)
{
    auto dlg = Open();
    for (int i = 0; i < 200; ++i)
        dlg->Session().AppendLog("line " + std::to_string(i));
    QScrollBar* bar = dlg->LogList()->verticalScrollBar();
    const int place = bar->value();
    ASSERT_GT(place, 0) << "the newest line is in view";
    dlg->TabControl()->setCurrentIndex(kPageSettings);
    dlg->TabControl()->setCurrentIndex(kPageStatus);
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), place);

    const QFontMetrics metrics(dlg->LogList()->font());
    EXPECT_EQ(metrics.horizontalAdvance(QStringLiteral("    00001 - 地址:0010  写:12  读:FF")),
              metrics.horizontalAdvance(QStringLiteral("    00002 - 地址:1A2B  写:A0  读:FF")));
}

TEST_F(ProgrammerDlgTest, EnterRunsAutoAndKeepsTheWindowOpen)
{
    auto dlg = Open();
    const int ends = dlg->Session().SequenceEndCount();
    dlg->LogList()->setFocus();
    QTest::keyClick(dlg->LogList(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dlg->Session().SequenceEndCount() > ends; }, kHangGuardMs));
    EXPECT_TRUE(dlg->isVisible());
    // The log was cleared; detect runs first (the default switch is on);
    // no step is marked, and the run says so.
    const QStringList log = Log(*dlg);
    ASSERT_EQ(log.size(), 4);
    EXPECT_EQ(log[0], QStringLiteral("编程器:就绪."));
    EXPECT_EQ(log[1], QStringLiteral("编程器:检测到器件(特征字:1e 52 06)."));
    EXPECT_EQ(log[2], QStringLiteral("AT89S52 - ROM容量:8K字节. 编程电压:5.00V."));
    EXPECT_EQ(log[3], QStringLiteral("自动完成: 没有标记的步骤 (右键单击按钮把它标记为\"(自动)\")."));
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("Tamber_Info.ini")));

    // A push button with the focus takes Enter as its click: Detect alone,
    // without clearing the log.
    const int detects = dlg->Session().SequenceEndCount();
    dlg->ButtonWidget(kCmdDetect)->setFocus();
    QTest::keyClick(dlg->ButtonWidget(kCmdDetect), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dlg->Session().SequenceEndCount() > detects; }, kHangGuardMs));
    EXPECT_EQ(Log(*dlg).size(), 6);
    EXPECT_EQ(Log(*dlg).value(4), QStringLiteral("编程器:检测到器件(特征字:1e 52 06)."));
}

// A click leaves no button with the focus, not even one Tab gave it: the
// next Enter runs Auto instead of opening the file dialog again.
TEST_F(ProgrammerDlgTest, AfterAClickEnterRunsAutoNotTheClickedCommand)
{
    auto dlg = Open();
    int chosen = 0;
    dlg->SetOpenFileChooser([&] { return ++chosen, std::optional<std::string>(); });
    dlg->ButtonWidget(kCmdDetect)->setFocus(Qt::TabFocusReason);
    QTest::mouseClick(dlg->ButtonWidget(kCmdLoadFile), Qt::LeftButton);
    const int ends = dlg->Session().SequenceEndCount();
    QTest::keyClick(dlg.get(), Qt::Key_Return);
    ASSERT_TRUE(WaitForSequenceEnd(dlg->Session(), ends));
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(Log(*dlg).value(0), QStringLiteral("编程器:就绪.")) << "Auto clears the log first";
    // Only the markable buttons tell of the right-click.
    for (const int id : {kCmdDetect, kCmdWrite, kCmdAuto})
        EXPECT_EQ(dlg->ButtonWidget(id)->toolTip().isEmpty(), id != kCmdWrite) << id;
}

// A right-click marks a button but leaves the focus where it was: Enter
// then runs Auto with the marked step, not a lone Write or a Lock.
TEST_F(ProgrammerDlgTest, RightClickLeavesTheFocusSoEnterStillRunsAuto)
{
    auto dlg = Open();
    dlg->LogList()->setFocus();
    for (int id : {kCmdWrite, kCmdLock})
        QTest::mouseClick(dlg->ButtonWidget(id), Qt::RightButton);
    const int ends = dlg->Session().SequenceEndCount();
    QTest::keyClick(dlg->focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(WaitForSequenceEnd(dlg->Session(), ends));
    const QStringList log = Log(*dlg);
    EXPECT_EQ(log.value(0), QStringLiteral("编程器:就绪.")) << "Auto clears the log first";
    EXPECT_TRUE(log.contains(QStringLiteral("编程器:写器件完成.")));
    EXPECT_FALSE(log.contains(QStringLiteral("编程器:写锁定位完成.")));
}

TEST_F(ProgrammerDlgTest, EscSavesMarksAndDeviceAndANewWindowRestoresThem)
{
    {
        auto dlg = Open();
        QTest::mouseClick(dlg->ButtonWidget(kCmdWrite), Qt::RightButton);
        EXPECT_EQ(dlg->ButtonWidget(kCmdWrite)->text(), QStringLiteral("(自动)写器件"));
        dlg->DeviceCombo()->setCurrentIndex(1);
        emit dlg->DeviceCombo()->activated(1);
        EXPECT_EQ(dlg->Session().DeviceSelection(), 1);
        dlg->Grid()->EditValueAsUser(dlg->SettingsGrid().SoundOnItem(), QStringLiteral("False"));
        EXPECT_EQ(dlg->Session().SoundOn(), 0);

        QTest::keyClick(dlg.get(), Qt::Key_Escape);
        EXPECT_FALSE(dlg->isVisible());
        EXPECT_EQ(dlg->result(), QDialog::Rejected);
    }
    SettingsRecord stored;
    stored.autoWrite = 7;
    ASSERT_TRUE(stored.Load(m_dir.File("Tamber_Info.ini")));
    EXPECT_EQ(stored.autoWrite, 1);
    EXPECT_EQ(stored.autoErase, 0);
    EXPECT_EQ(stored.deviceIndex, 1);
    EXPECT_EQ(stored.soundOn, 0);
    EXPECT_EQ(stored.autoDetect, 1);

    auto again = Open();
    EXPECT_EQ(again->ButtonWidget(kCmdWrite)->text(), QStringLiteral("(自动)写器件"));
    EXPECT_EQ(again->DeviceCombo()->currentIndex(), 1);
    EXPECT_EQ(again->Session().SoundOn(), 0);
    EXPECT_EQ(Log(*again).value(0), QStringLiteral("Tamberlink Ver3.0         "));
}

// A board that stops answering keeps a step outstanding: while it works on
// the device (not during a detect), Esc does nothing and the close box asks.
TEST_F(ProgrammerDlgTest, EscWaitsAndTheCloseBoxAsksWhileTheDeviceIsWorkedOn)
{
    auto dlg = Open();
    BoardFaults faults;
    faults.neverAnswer = true;
    dlg->SimulatedHardware()->Board()->SetFaults(faults);
    dlg->ButtonWidget(kCmdDetect)->click();
    EXPECT_FALSE(dlg->Session().IsDeviceStepOutstanding());
    for (int id : {kCmdLock, kCmdErase}) {
        dlg->ButtonWidget(id)->click();
        EXPECT_TRUE(dlg->Session().IsDeviceStepOutstanding()) << id;
    }
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(m_messages.Questions().empty());
    EXPECT_FALSE(dlg->close());  // answered no
    EXPECT_EQ(m_messages.Questions().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("Tamber_Info.ini")));

    m_messages.SetAnswer(true);
    EXPECT_TRUE(dlg->close());
    EXPECT_TRUE(std::filesystem::exists(m_dir.File("Tamber_Info.ini")));
}

// First start, no stored settings: a port picked from the drop-down is
// taken at once, so Esc straight after the pick stores it.
TEST_F(ProgrammerDlgTest, PortPickedFromTheDropDownIsStoredByAnEscRightAfter)
{
    auto dlg = Open();
    dlg->SelectPage(kPageSettings);
    QTreeWidget* tree = dlg->Grid()->Tree();
    QTreeWidgetItem* row = tree->topLevelItem(0)->child(1);
    ASSERT_EQ(dlg->Grid()->ItemFromRow(row), dlg->SettingsGrid().ComPortItem());
    tree->setCurrentItem(row);
    tree->editItem(row, 1);
    auto* combo = tree->viewport()->findChild<QComboBox*>();
    ASSERT_NE(combo, nullptr);
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    SettingsRecord stored;
    ASSERT_TRUE(stored.Load(m_dir.File("Tamber_Info.ini")));
    EXPECT_EQ(stored.comPort, 2);
}

TEST_F(ProgrammerDlgTest, AutoDetectSwitchFromTheGridReachesTheNextAutoRun)
{
    auto dlg = Open();
    dlg->Grid()->EditValueAsUser(dlg->SettingsGrid().AutoDetectItem(), QStringLiteral("False"));
    EXPECT_EQ(dlg->Session().AutoDetect(), 0);
    EXPECT_TRUE(Run(*dlg, kCmdAuto));
    EXPECT_EQ(Log(*dlg).value(0), QStringLiteral("编程器:就绪."));
    EXPECT_EQ(Log(*dlg).size(), 2);  // and the line that no step is marked
}

// Single commands and an Auto run, on the simulated board and on the
// simulated parallel-port cable.
class ProgrammerDlgHardwareTest : public ProgrammerDlgTest,
                                  public ::testing::WithParamInterface<int> {};

TEST_P(ProgrammerDlgHardwareTest, CommandsAndAutoRunProgramTheChip)
{
    auto dlg = Open(GetParam());
    const std::vector<std::uint8_t> image = Pattern(300);
    WriteFile(m_dir.File("image.bin"), image);
    ASSERT_TRUE(Load(*dlg, m_dir.File("image.bin")));

    EXPECT_TRUE(Run(*dlg, kCmdErase));
    EXPECT_TRUE(BlankCheck(*dlg));
    EXPECT_EQ(Log(*dlg).constLast(), QStringLiteral("器件是空的."));
    EXPECT_TRUE(Run(*dlg, kCmdWrite));
    EXPECT_TRUE(Log(*dlg).contains(QStringLiteral("编程器:写器件完成.")));
    EXPECT_TRUE(dlg->Progress()->isVisible());
    EXPECT_EQ(dlg->Progress()->Text(), QStringLiteral("写器件完成"));
    EXPECT_TRUE(dlg->ButtonWidget(kCmdErase)->isEnabled());
    EXPECT_TRUE(dlg->Session().Button(kCmdErase).IsAccepting());
    EXPECT_FALSE(BlankCheck(*dlg));
    EXPECT_EQ(Log(*dlg).constLast(), QStringLiteral("器件不是空的, 第一个非空字节在 0x0000."));
    EXPECT_TRUE(dlg->Session().Button(kCmdErase).IsAccepting()) << "a failed check ends";

    EXPECT_TRUE(Run(*dlg, kCmdVerify));
    EXPECT_EQ(Log(*dlg).constLast(), QStringLiteral("----------效验成功,数据正确----------"));
    std::vector<std::uint8_t> shown(image.size());
    dlg->HexView2()->GetData(shown.data(), int(shown.size()));
    EXPECT_EQ(shown, image);

    for (int id : {kCmdErase, kCmdWrite, kCmdVerify})
        QTest::mouseClick(dlg->ButtonWidget(id), Qt::RightButton);
    EXPECT_TRUE(Run(*dlg, kCmdAuto));
    const QStringList log = Log(*dlg);
    EXPECT_EQ(log.value(0), QStringLiteral("编程器:就绪."));
    EXPECT_TRUE(log.contains(QStringLiteral("编程器:擦除器件完成.")));
    EXPECT_EQ(log.constLast(), QStringLiteral("----------效验成功,数据正确----------"));
}

INSTANTIATE_TEST_SUITE_P(BoardAndCable, ProgrammerDlgHardwareTest, ::testing::Values(0, 1));
// The window with --simulate on GPIO lines and on an FTDI cable.
INSTANTIATE_TEST_SUITE_P(PinKinds, ProgrammerDlgHardwareTest, ::testing::Values(4, 5));

TEST_F(ProgrammerDlgTest, VerifyReportListsEachMismatchInTheLog)
{
    auto dlg = Open();
    std::vector<std::uint8_t> written = Pattern(0x2000);
    written[0x10] = 0xFF;
    WriteFile(m_dir.File("a.bin"), written);
    ASSERT_TRUE(Load(*dlg, m_dir.File("a.bin")));
    ASSERT_TRUE(Run(*dlg, kCmdErase));
    ASSERT_TRUE(Run(*dlg, kCmdWrite));

    std::vector<std::uint8_t> changed = written;
    changed[0x10] = 0x12;
    changed[0x1A2B] = std::uint8_t(written[0x1A2B] ^ 0x55);
    WriteFile(m_dir.File("b.bin"), changed);
    ASSERT_TRUE(Load(*dlg, m_dir.File("b.bin")));
    EXPECT_FALSE(Run(*dlg, kCmdVerify));

    const QStringList log = Log(*dlg);
    ASSERT_GE(log.size(), 4);
    const QStringList tail = log.mid(log.size() - 4);
    EXPECT_EQ(tail[0], QStringLiteral("    00001 - 地址:0010  写:12  读:FF"));
    EXPECT_EQ(tail[1], QString::asprintf("    00002 - 地址:1A2B  写:%02X  读:%02X",
                                         changed[0x1A2B], written[0x1A2B]));
    EXPECT_EQ(tail[2], QStringLiteral("共发现    2个单元不对!"));
    EXPECT_EQ(tail[3], QStringLiteral("---------效验结束，数据有误----------"));
    EXPECT_TRUE(dlg->Session().Button(kCmdVerify).IsAccepting());
}

TEST_F(ProgrammerDlgTest, LoadsBinaryAndHexAndSavesWhatTheBuffer2ViewHolds)
{
    auto dlg = Open();
    const std::string hex = m_dir.File("prog.Hex");
    const std::string text = ":0400000001020304F2\n:00000001FF\n";
    std::ofstream(hex, std::ios::binary) << text;
    ASSERT_TRUE(Load(*dlg, hex));
    // 1 + 2 + 3 + 4 + 8188 * 0xFF = 0x1FDC0E over the AT89S52's 8 KB.
    EXPECT_EQ(Log(*dlg).mid(Log(*dlg).size() - 2),
              (QStringList{QString::fromStdString("读入文件 " + hex + " 到缓冲1("
                                                  + std::to_string(text.size()) + "字节)."),
                           QStringLiteral("校验和 DC0E (缓冲1, 器件 AT89S52)")}));
    const std::uint8_t* view = dlg->HexView1()->Data();
    EXPECT_EQ(std::vector<std::uint8_t>(view, view + 5),
              (std::vector<std::uint8_t>{1, 2, 3, 4, 0xFF}));

    WriteFile(m_dir.File("ten.bin"), Pattern(10));
    ASSERT_TRUE(Load(*dlg, m_dir.File("ten.bin")));
    EXPECT_TRUE(Log(*dlg).value(Log(*dlg).size() - 2).endsWith(QStringLiteral("到缓冲1(10字节).")));

    // Nothing read yet: Buffer2 is all 0xFF and saves as an empty file.
    const std::string empty = m_dir.File("empty.bin");
    dlg->SetSaveFileChooser([&] { return std::optional<std::string>(empty); });
    dlg->ButtonWidget(kCmdSaveFile)->click();
    EXPECT_TRUE(ReadFile(empty).empty());
    EXPECT_TRUE(Log(*dlg).constLast().endsWith(QStringLiteral("(0字节).")));

    // What the view holds (an edit) is what gets saved.
    const std::vector<std::uint8_t> edited = Pattern(6);
    dlg->HexView2()->SetData(edited.data(), int(edited.size()), int(edited.size()));
    const std::string saved = m_dir.File("saved.bin");
    dlg->SetSaveFileChooser([&] { return std::optional<std::string>(saved); });
    dlg->ButtonWidget(kCmdSaveFile)->click();
    EXPECT_EQ(ReadFile(saved), edited);
    EXPECT_EQ(Log(*dlg).constLast(),
              QString::fromStdString("缓冲2保存到文件 " + saved + "(6字节)."));

    // Cancel: nothing written, nothing logged.
    const int lines = dlg->LogList()->count();
    dlg->SetSaveFileChooser([] { return std::optional<std::string>(); });
    dlg->ButtonWidget(kCmdSaveFile)->click();
    EXPECT_EQ(dlg->LogList()->count(), lines);
}

// The window's own save dialog: Intel HEX is offered after binary, and a name
// typed under that entry without an extension is saved as HEX text.
TEST_F(ProgrammerDlgTest, SaveDialogOffersIntelHex)
{
    auto dlg = Open();
    const std::vector<std::uint8_t> image = {0x12, 0x34};
    dlg->HexView2()->SetData(image.data(), 2, 2);
    QStringList filters;
    QTimer::singleShot(0, dlg.get(), [&] {
        QFileDialog* dialog = nullptr;
        if (!QTest::qWaitFor([&] {
                return (dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()));
            }, kHangGuardMs))
            return;
        filters = dialog->nameFilters();
        if (auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
            QTest::keyClick(types, Qt::Key_Down);  // the user picks the second entry
        dialog->setDirectory(QString::fromStdString(m_dir.Path().string()));
        dialog->selectFile(QStringLiteral("dump"));
        static_cast<QDialog*>(dialog)->accept();  // the Save button
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the save dialog stayed open";
            dialog->reject();
        }
    });
    dlg->ButtonWidget(kCmdSaveFile)->click();
    EXPECT_EQ(filters, (QStringList{QStringLiteral("二进制文件(*.bin)"),
                                    QStringLiteral("Intel Hex文件(*.hex)")}));
    const std::string text = ":020000001234B8\r\n:00000001FF\r\n";
    EXPECT_EQ(ReadFile(m_dir.File("dump.hex")), std::vector<std::uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(Log(*dlg).constLast(),
              QString::fromStdString("缓冲2保存到文件 " + m_dir.File("dump.hex") + "(2字节)."));
}

TEST_F(ProgrammerDlgTest, ProgressEventsSetTextAndPosition)
{
    auto dlg = Open();
    struct Case {
        int code, pos, length;
        const char* text;
        int percent;
    };
    const Case cases[] = {
        {kStatusWriteProgress, 0x800, 0x1001, "正在写:07FF/1000", 50},
        {kStatusReadProgress, 0, 0x1001, "正在读:FFFFFFFF/1000", 0},
        {kStatusReadProgress, 0x1010, 0x1001, "正在读:100F/1000", 100},
        {kStatusWriteDone, 5, 0x1001, "写器件完成", 100},
        {kStatusReadDone, 5, 0x1001, "读器件完成", 100},
    };
    for (const Case& c : cases) {
        dlg->Session().Programmer().m_nPos = c.pos;
        dlg->Session().Programmer().m_nLength = c.length;
        dlg->Session().OnProgStatus(c.code);
        EXPECT_TRUE(dlg->Progress()->isVisible()) << c.code;
        EXPECT_EQ(dlg->Progress()->Text(), QString::fromUtf8(c.text)) << c.code;
        EXPECT_EQ(std::min(dlg->Progress()->GetPos(), 100), c.percent) << c.code;
    }
}

// Reports folded on the way leave the bar on the last position, even when
// the last one was held back for the interval.
TEST_F(ProgrammerDlgTest, ProgressFromAWorkerEndsOnTheLastPosition)
{
    using namespace std::chrono_literals;
    auto dlg = Open();
    CProgrammer& programmer = dlg->Session().Programmer();
    programmer.m_nLength = 0x2000;
    const int before = dlg->EventsHandled();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int pos = 16; pos <= 0x2000; pos += 16) {
            programmer.m_nPos = pos;
            dlg->StatusSink().PostStatus(kStatusReadProgress);
            std::this_thread::sleep_for(20us);
        }
        done = true;
    });
    const bool handled =
        QTest::qWaitFor([&] { return done && dlg->StatusSink().Pending() == 0; }, kHangGuardMs);
    worker.join();
    ASSERT_TRUE(handled);
    EXPECT_EQ(dlg->Progress()->Text(), QStringLiteral("正在读:1FFF/1FFF"));
    EXPECT_EQ(dlg->Progress()->GetPos(), 100);
    EXPECT_LT(dlg->EventsHandled() - before, 0x2000 / 16);
}

TEST_F(ProgrammerDlgTest, LockUsesTheChosenLevel)
{
    auto dlg = Open();
    dlg->LockCombo()->setCurrentIndex(1);
    emit dlg->LockCombo()->activated(1);
    EXPECT_TRUE(Run(*dlg, kCmdLock));
    EXPECT_EQ(Log(*dlg).constLast(), QStringLiteral("编程器:写锁定位完成."));
    EXPECT_EQ(dlg->SimulatedHardware()->Board()->Chip().LockLevel(), 2);
}

TEST_F(ProgrammerDlgTest, WatchdogEndsAStepTheBoardNeverAnswers)
{
    auto dlg = Open();
    dlg->SetStepTimeout(200);
    BoardFaults faults;
    faults.neverAnswer = true;
    dlg->SimulatedHardware()->Board()->SetFaults(faults);
    EXPECT_FALSE(Run(*dlg, kCmdErase));
    const QStringList log = Log(*dlg);
    EXPECT_EQ(log.value(log.size() - 2), QStringLiteral("编程器:操作超时,没有响应."));
    EXPECT_TRUE(log.constLast().endsWith(": 没有应答 (请检查编程器是否接好、通电并接在这个串口上)"));
    EXPECT_TRUE(dlg->Session().Button(kCmdWrite).IsAccepting());
}

TEST(QtStatusSinkTest, EventsFromManyThreadsArriveInEachThreadsOrderOnTheWindowThread)
{
    CQtStatusSink sink;
    std::vector<StatusEvent> seen;
    bool offThread = false;
    sink.SetHandler([&](const StatusEvent& event) {
        offThread |= QThread::currentThread() != sink.thread();
        seen.push_back(event);
    });
    constexpr int kThreads = 4;
    constexpr int kEach = 200;
    std::vector<std::thread> threads;
    // Codes from 1000 up: none is a progress report, which would fold.
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&sink, t] {
            const int base = (t + 1) * 1000;
            for (int i = 0; i < kEach; ++i)
                i % 2 ? sink.PostStatus(base + i) : sink.SelectDeviceEntry(base + i);
        });
    for (std::thread& thread : threads)
        thread.join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return int(seen.size()) == kThreads * kEach; },
                                kHangGuardMs));
    EXPECT_FALSE(offThread);
    EXPECT_EQ(sink.Pending(), 0);
    std::vector<int> last(kThreads, -1);
    for (const StatusEvent& event : seen) {
        const int t = event.value / 1000 - 1;
        const int i = event.value % 1000;
        EXPECT_EQ(event.kind, i % 2 ? StatusEvent::Kind::Status : StatusEvent::Kind::SelectDevice);
        EXPECT_EQ(i, last[std::size_t(t)] + 1);
        last[std::size_t(t)] = i;
    }
}

// A worker's stream of progress reports and then the transfer's end: the
// window handles a few reports, the last one reading the final position,
// then the end, once and last; its thread wakes about once per report it
// handles, not once per report posted.
TEST(QtStatusSinkTest, ProgressIsFoldedAndTheEndComesAfterItOnce)
{
    using namespace std::chrono_literals;
    CQtStatusSink sink;
    constexpr int kReports = 10000;
    std::atomic<int> position{0};
    std::vector<std::pair<int, int>> seen;  // code, position when handled
    // A plain event loop, as the window runs: it sleeps until woken.
    QEventLoop loop;
    QTimer::singleShot(kHangGuardMs, &loop, &QEventLoop::quit);
    sink.SetHandler([&](const StatusEvent& event) {
        seen.emplace_back(event.value, position.load());
        if (event.value == kStatusWriteDone)
            loop.quit();
    });
    // Paced a little, so that reports come while the window handles others.
    std::thread worker([&] {
        for (int i = 1; i <= kReports; ++i) {
            position = i;
            sink.PostStatus(kStatusWriteProgress);
            if (i % 10 == 0)
                std::this_thread::sleep_for(20us);
        }
        sink.PostStatus(kStatusWriteDone);
    });
    loop.exec();
    worker.join();
    ASSERT_TRUE(!seen.empty() && seen.back().first == kStatusWriteDone);
    // A progress timer still armed must find nothing to deliver after the end.
    QTest::qWait(3 * int(CStatusQueue::kProgressInterval.count()));
    EXPECT_EQ(sink.Pending(), 0);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.back().first, kStatusWriteDone);
    seen.pop_back();
    for (const auto& [code, at] : seen)
        EXPECT_EQ(code, kStatusWriteProgress);
    EXPECT_EQ(seen.back().second, kReports);
    const int handled = int(seen.size()) + 1;
    EXPECT_LT(handled, kReports / 10);
    // Besides one per batch handled: the notice of the first report held,
    // the timer's last look after the stream, and a wake-up whose event an
    // earlier batch already took.
    EXPECT_LE(sink.Wakeups(), handled + 3);
}

TEST(ProgrammerAppTest, ParsesTheWindowsOptions)
{
    const auto demo = CProgrammerApp::ParseArguments(
        {"tamberlink", "--simulate", "--programmer", "2", "--catalogue", "/x/c.chip"});
    EXPECT_TRUE(demo.error.isEmpty());
    EXPECT_TRUE(demo.options.simulate);
    EXPECT_EQ(demo.options.programmer, 2);
    EXPECT_EQ(demo.options.cataloguePath, "/x/c.chip");
    EXPECT_EQ(CProgrammerApp::ParseArguments({"tamberlink", "--programmer", "6"}).options.programmer, 6);
    EXPECT_FALSE(CProgrammerApp::ParseArguments({"tamberlink", "--programmer", "7"}).error.isEmpty());
    EXPECT_FALSE(CProgrammerApp::ParseArguments({"tamberlink", "--bogus"}).error.isEmpty());
    EXPECT_FALSE(CProgrammerApp::ParseArguments({"tamberlink"}).options.simulate);
}

TEST_F(ProgrammerDlgTest, AboutItemAndAboutBox)
{
    auto dlg = Open();
    std::unique_ptr<QMenu> menu(dlg->CreateSystemMenu(dlg.get()));
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("&About Vrel..."));
    CAboutDlg about(dlg.get());
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Vrel_2005  "));
    EXPECT_EQ(about.VersionLabel()->text(), QStringLiteral("版本　Ver3.0"));
    EXPECT_EQ(about.MailLabel()->text(), QStringLiteral("E_mail:"));
    EXPECT_TRUE(about.MailText()->text().isEmpty());
}

}  // namespace
