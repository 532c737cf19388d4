// The Settings page in the running window: a serial device picked there is
// used at once, and a block another installation stored comes back
// unchanged.

#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "platform/ProfileFile.h"
#include "programmer/SerialPort.h"
#include "settings/SettingsGrid.h"
#include "sim/BoardSimulator.h"
#include "tests/gui/WindowTestRig.h"
#include "widgets/PropertyGrid.h"

namespace {

using SettingsPageWindowTest = CWindowTestRig;

TEST_F(SettingsPageWindowTest, APickedSerialDeviceIsStoredAndOpenedAtOnce)
{
    // The adapter the user plugs in: a second board.
    CBoardSimulator adapter(CBoardSimulator::Options{});
    ASSERT_TRUE(adapter.Start());
    auto dlg = Open();
    CSettingsGrid& settings = dlg->SettingsGrid();
    std::vector<SerialDeviceInfo> present;
    settings.SetSerialDeviceSource([&] { return present; });
    CPropertyGridItem* device = settings.SerialDeviceItem();
    ASSERT_TRUE(dlg->Grid()->EditValueAsUser(settings.ComPortItem(), "COM 3"));
    EXPECT_TRUE(device->Description().endsWith("COM3: /dev/ttyS2 (未找到)"));
    // Plugged in now: the list is read again as it opens.
    present.push_back({adapter.DevicePath(), "USB Serial", "QinHeng"});
    emit dlg->Grid()->aboutToEdit(device);
    const QString label = QString::fromStdString(adapter.DevicePath() + " - USB Serial (QinHeng)");
    ASSERT_EQ(device->Constraints(), QStringList{label});

    const int linesBefore = dlg->LogList()->count();
    const int endsBefore = dlg->Session().SequenceEndCount();
    ASSERT_TRUE(dlg->Grid()->EditValueAsUser(device, label));
    const std::string ini = m_dir.File("Tamber_Info.ini");
    EXPECT_EQ(CProfileFile(ini).GetString("Ports", "COM3", ""), adapter.DevicePath());
    EXPECT_FALSE(SettingsRecord().Load(ini)) << "the settings block is written at close only";
    EXPECT_TRUE(device->Description().endsWith("COM3: " + label));

    // The start-up lines again, from the new port, without a restart.
    ASSERT_TRUE(WaitForSequenceEnd(dlg->Session(), endsBefore));
    EXPECT_EQ(Log(*dlg).mid(linesBefore),
              (QStringList{"初始化串口通讯完成.", "编程器:就绪."}));
    auto* port = dynamic_cast<CSerialPort*>(dlg->Session().Programmer().Backend());
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->LastOpenPath(), adapter.DevicePath());
}

// A simulator's pseudo-terminal is no listed adapter: its path is typed.
TEST_F(SettingsPageWindowTest, ATypedDevicePathIsUsedAtOnce)
{
    CBoardSimulator board(CBoardSimulator::Options{});
    ASSERT_TRUE(board.Start());
    auto dlg = Open();
    CSettingsGrid& settings = dlg->SettingsGrid();
    settings.SetSerialDeviceSource([] { return std::vector<SerialDeviceInfo>{}; });
    const int endsBefore = dlg->Session().SequenceEndCount();
    // A name that is no path is turned down.
    dlg->Grid()->EditValueAsUser(settings.SerialDeviceItem(), "ttyUSB9");
    EXPECT_EQ(CProfileFile(m_dir.File("Tamber_Info.ini")).GetString("Ports", "COM1", "-"), "-");
    ASSERT_TRUE(dlg->Grid()->EditValueAsUser(settings.SerialDeviceItem(),
                                             QString::fromStdString(board.DevicePath())));
    // There, though listed nowhere: never "(未找到)".
    EXPECT_FALSE(settings.SerialDeviceItem()->Description().contains("(未找到)"));
    ASSERT_TRUE(WaitForSequenceEnd(dlg->Session(), endsBefore));
    EXPECT_EQ(Log(*dlg).last(), "编程器:就绪.");
    auto* port = dynamic_cast<CSerialPort*>(dlg->Session().Programmer().Backend());
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->LastOpenPath(), board.DevicePath());
}

TEST_F(SettingsPageWindowTest, ABlockFromAnotherInstallationIsSavedByteForByte)
{
    // Cable kind 2, a COM port and a fourth value the grid cannot show,
    // mixed switches and marks, and bytes in the padding.
    const SettingsRecord block{.progType = 2, .comPort = 7, .baudSel = 1, .ispSetting = 3,
                               .autoDetect = 0, .hotkeyOn = 0, .autoLoad = 1, .autoWrite = 1,
                               .autoRead = 1, .deviceIndex = 1, .hotkeyKey = 'K',
                               .hotkeyMods = 3, .padding = {0xAB, 0xCD}};
    const std::string ini = m_dir.File("Tamber_Info.ini");
    ASSERT_TRUE(block.Save(ini));
    const std::string stored = CProfileFile(ini).GetString("InfoSave", "m_InfoSave", "");

    auto dlg = Open(2);
    EXPECT_FALSE(dlg->SettingsGrid().ComPortItem()->IsEnabled());
    ASSERT_TRUE(dlg->SaveSettings());
    EXPECT_EQ(CProfileFile(ini).GetString("InfoSave", "m_InfoSave", ""), stored);
}

// --programmer 4: the page shows that kind; closing keeps the stored one.
TEST_F(SettingsPageWindowTest, TheKindRunningIsShownAndTheStoredOneKept)
{
    const std::string ini = m_dir.File("Tamber_Info.ini");
    ASSERT_TRUE(SettingsRecord{.progType = 0}.Save(ini));
    auto dlg = Open(4);
    EXPECT_EQ(dlg->SettingsGrid().ProgTypeItem()->ConstraintIndex(), 4);
    dlg->SaveSettings();
    SettingsRecord stored;
    EXPECT_TRUE(stored.Load(ini) && stored.progType == 0);
}

}  // namespace
