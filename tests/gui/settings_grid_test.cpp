#include <QSignalSpy>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/ProfileFile.h"
#include "settings/SerialDeviceList.h"
#include "settings/SettingsGrid.h"
#include "tests/support/TempDir.h"
#include "widgets/PropertyGrid.h"

namespace {

const std::string kProductLine = "Tamberlink Ver3.0" + std::string(9, ' ');

struct SettingsPage {
    CTempDir dir;
    std::string ini = dir.File("Tamber_Info.ini");
    CPropertyGrid grid;
    CSettingsGrid settings;
    std::vector<std::string> log;

    SettingsPage()
    {
        settings.Build(grid);
        QObject::connect(&grid, &CPropertyGrid::notify, &settings, &CSettingsGrid::OnGridNotify);
    }

    bool Load(SettingsRecord& record)
    {
        return settings.LoadSettings(ini, record,
                                     [this](const std::string& line) { log.push_back(line); });
    }

    std::string Shown(CPropertyGridItem* item) const { return item->Value().toStdString(); }
};

TEST(SettingsGridTest, BuildsTwoExpandedCategoriesOfDropDownsAndSwitches)
{
    SettingsPage page;
    std::vector<std::string> captions;
    for (CPropertyGridItem* item : page.grid.Items())
        captions.push_back(item->Caption().toStdString());
    EXPECT_EQ(captions, (std::vector<std::string>{"编程器", "编程器", "串口", "串口设备", "通讯速率",
                                                  "程序版本", "晶振频率", "系统", "自动检测器件",
                                                  "使用声音提示", "使用热键"}));
    for (CPropertyGridItem* item : page.grid.Items()) {
        if (item->IsCategory()) {
            EXPECT_TRUE(page.grid.IsExpanded(item));
        } else if (item == page.settings.CrystalItem()) {
            EXPECT_EQ(item->Flags(), CPropertyGridItem::kFlagHasEdit);
        } else if (!item->IsBool()) {
            // The serial device item also takes a typed path.
            EXPECT_EQ(item->Flags(), item == page.settings.SerialDeviceItem() ? 5 : 4);
        }
    }
    EXPECT_EQ(page.settings.ComPortItem()->Constraints(),
              (QStringList{"COM 1", "COM 2", "COM 3", "COM 4"}));
    // The drop-downs take nothing but their own values.
    EXPECT_FALSE(page.grid.EditValueAsUser(page.settings.BaudSelItem(), "9600"));
    EXPECT_TRUE(page.settings.IspSettingItem()->Description().contains("3.0"));
    // Colours arrive as Windows colour references (0x00BBGGRR).
    EXPECT_EQ(page.grid.HelpBackColor(), QColor(0xFF, 0x80, 0x80));
    EXPECT_EQ(page.grid.LineColor(), QColor(0x80, 0x80, 0xFF));
    EXPECT_EQ(page.grid.Tree()->palette().color(QPalette::Base), QColor(0xE9, 0xF3, 0xF7));
}

TEST(SettingsGridTest, FirstStartWithoutRecordLogsStartLinesAndSavesFullBlock)
{
    SettingsPage page;
    SettingsRecord record;
    record.comPort = 2;  // the caller's start values stay as they are
    EXPECT_FALSE(page.Load(record));

    ASSERT_EQ(page.log.size(), 3u);
    EXPECT_EQ(page.log[0], "TamberlinkVer3.0)");
    EXPECT_FALSE(page.log[1].empty());
    EXPECT_EQ(page.log[2], "Tamberlink" + std::string(12, ' ') + "Tamberlink" + std::string(3, ' '));
    EXPECT_EQ(record.comPort, 2);

    EXPECT_EQ(page.Shown(page.settings.ProgTypeItem()), "");
    EXPECT_EQ(page.Shown(page.settings.ComPortItem()), "");
    EXPECT_EQ(page.Shown(page.settings.BaudSelItem()), "115200");
    EXPECT_EQ(page.settings.BaudSelItem()->ConstraintIndex(), 0);
    EXPECT_EQ(page.Shown(page.settings.IspSettingItem()), "");
    for (CPropertyGridItem* item : {page.settings.AutoDetectItem(), page.settings.SoundOnItem(),
                                    page.settings.HotkeyOnItem()})
        EXPECT_EQ(page.Shown(item), "True");

    // Closing saves: the untouched empty items keep the start values.
    const SettingsRecord saved = page.settings.CollectForSave(page.settings.Settings());
    EXPECT_EQ(saved.comPort, 2);
    EXPECT_EQ(saved.baudSel, 0);
    ASSERT_TRUE(CSettingsGrid::SaveSettings(page.ini, saved));
    const std::string text = CProfileFile(page.ini).GetString("InfoSave", "m_InfoSave", "");
    EXPECT_EQ(text.size(), 2 * 56 + 2u);  // 56 bytes and the checksum, in hex
    SettingsRecord back;
    back.comPort = 99;
    ASSERT_TRUE(back.Load(page.ini));
    EXPECT_EQ(back, saved);
}

TEST(SettingsGridTest, StoredSerialProgrammerLogsProductLineBeforeEditionLines)
{
    SettingsPage page;
    SettingsRecord stored;
    stored.progType = 0;
    ASSERT_TRUE(stored.Save(page.ini));

    SettingsRecord record;
    ASSERT_TRUE(page.Load(record));
    ASSERT_EQ(page.log.size(), 3u);
    EXPECT_EQ(page.log[0], kProductLine);
    EXPECT_NE(page.log[1], kProductLine);
    EXPECT_EQ(page.Shown(page.settings.ProgTypeItem()), "Tamberlink V3.0 ");
}

// One stored field at a time: what the item shows, and what a save stores
// while the user leaves the item alone.
struct StoredValueCase {
    const char* name;
    std::int32_t SettingsRecord::*field;
    std::int32_t stored;
    CPropertyGridItem* (CSettingsGrid::*item)() const;
    const char* shown;
    std::int32_t saved;
};

void PrintTo(const StoredValueCase& c, std::ostream* os)
{
    *os << c.name;
}

class StoredValueTest : public ::testing::TestWithParam<StoredValueCase> {};

TEST_P(StoredValueTest, ShowsInRangeValuesAndKeepsRawOnes)
{
    const StoredValueCase& c = GetParam();
    SettingsPage page;
    SettingsRecord stored;
    stored.*c.field = c.stored;
    ASSERT_TRUE(stored.Save(page.ini));

    SettingsRecord record;
    ASSERT_TRUE(page.Load(record));
    EXPECT_EQ(record, stored);  // the raw value reaches the controller
    EXPECT_EQ(page.Shown((page.settings.*c.item)()), c.shown);
    EXPECT_EQ(page.settings.CollectForSave(record).*c.field, c.saved);
}

using R = SettingsRecord;
using G = CSettingsGrid;
INSTANTIATE_TEST_SUITE_P(
    Fields, StoredValueTest,
    ::testing::Values(
        StoredValueCase{"Com3", &R::comPort, 3, &G::ComPortItem, "COM 3", 3},
        StoredValueCase{"Com7", &R::comPort, 7, &G::ComPortItem, "", 7},
        StoredValueCase{"Com0", &R::comPort, 0, &G::ComPortItem, "", 0},
        StoredValueCase{"Baud57600", &R::baudSel, 1, &G::BaudSelItem, "57600", 1},
        // Out of range: the item keeps showing "115200" and a save stores that.
        StoredValueCase{"Baud2", &R::baudSel, 2, &G::BaudSelItem, "115200", 0},
        StoredValueCase{"Cable2", &R::progType, 2, &G::ProgTypeItem, "并口ISP下载线 类型2", 2},
        StoredValueCase{"Spi6", &R::progType, 6, &G::ProgTypeItem, "SPI接口ISP (树莓派 spidev)", 6},
        StoredValueCase{"Kind7", &R::progType, 7, &G::ProgTypeItem, "", 7},
        StoredValueCase{"Serial", &R::progType, 0, &G::ProgTypeItem, "Tamberlink V3.0 ", 0},
        StoredValueCase{"Isp0", &R::ispSetting, 0, &G::IspSettingItem, "Ver3.0", 0},
        StoredValueCase{"Isp5", &R::ispSetting, 5, &G::IspSettingItem, "", 5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsGridTest, CableKindWithoutProductLineAndSwitchesOff)
{
    SettingsPage page;
    SettingsRecord stored;
    stored.progType = 2;
    stored.autoDetect = 0;
    stored.soundOn = 0;
    stored.hotkeyOn = 0;
    stored.hotkeyKey = 'A';
    stored.hotkeyMods = 5;
    stored.autoWrite = 1;
    stored.deviceIndex = 4;
    ASSERT_TRUE(stored.Save(page.ini));

    SettingsRecord record;
    ASSERT_TRUE(page.Load(record));
    EXPECT_EQ(page.log.size(), 2u);  // only the edition lines
    EXPECT_EQ(record, stored);
    for (CPropertyGridItem* item : {page.settings.AutoDetectItem(), page.settings.SoundOnItem(),
                                    page.settings.HotkeyOnItem()})
        EXPECT_EQ(page.Shown(item), "False");
    EXPECT_EQ(page.settings.Settings().hotkeyKey, 'A');
}

TEST(SettingsGridTest, UserChoiceInGridIsSavedForNextStart)
{
    SettingsPage page;
    SettingsRecord stored;
    stored.comPort = 3;
    ASSERT_TRUE(stored.Save(page.ini));
    SettingsRecord record;
    ASSERT_TRUE(page.Load(record));

    ASSERT_TRUE(page.grid.EditValueAsUser(page.settings.ComPortItem(), "COM 2"));
    ASSERT_TRUE(page.grid.EditValueAsUser(page.settings.BaudSelItem(), "57600"));
    const SettingsRecord saved = page.settings.CollectForSave(record);
    EXPECT_EQ(saved.comPort, 2);
    EXPECT_EQ(saved.baudSel, 1);
}

TEST(SettingsGridTest, SwitchChangesReachSettingsAndListeners)
{
    SettingsPage page;
    SettingsRecord record;
    page.Load(record);
    QSignalSpy spy(&page.settings, &CSettingsGrid::switchesChanged);
    int hookCalls = 0;
    int hotkeyOnInHook = -1;
    page.settings.SetHotkeyHook([&] {
        ++hookCalls;
        hotkeyOnInHook = page.settings.HotkeyOn();
    });

    ASSERT_TRUE(page.grid.EditValueAsUser(page.settings.SoundOnItem(), "False"));
    EXPECT_EQ(page.settings.SoundOn(), 0);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0), (QList<QVariant>{1, 0, 1}));

    ASSERT_TRUE(page.grid.EditValueAsUser(page.settings.AutoDetectItem(), "False"));
    EXPECT_EQ(page.settings.AutoDetect(), 0);

    ASSERT_TRUE(page.grid.EditValueAsUser(page.settings.HotkeyOnItem(), "False"));
    EXPECT_EQ(page.settings.HotkeyOn(), 0);
    EXPECT_EQ(hookCalls, 0);
    ASSERT_TRUE(page.grid.EditValueAsUser(page.settings.HotkeyOnItem(), "True"));
    EXPECT_EQ(hookCalls, 1);
    EXPECT_EQ(hotkeyOnInHook, 1);

    // The switches go into the saved block from the grid's settings.
    const SettingsRecord saved = page.settings.CollectForSave(page.settings.Settings());
    EXPECT_EQ(saved.soundOn, 0);
    EXPECT_EQ(saved.autoDetect, 0);
    EXPECT_EQ(saved.hotkeyOn, 1);
}

TEST(SettingsGridTest, ProgramChangesAndOtherCodesAreNotActedOn)
{
    SettingsPage page;
    QSignalSpy spy(&page.settings, &CSettingsGrid::switchesChanged);
    QSignalSpy notifications(&page.grid, &CPropertyGrid::notify);

    // Loading a record with switches off sets the items by program.
    SettingsRecord stored;
    stored.soundOn = 0;
    ASSERT_TRUE(stored.Save(page.ini));
    SettingsRecord record;
    ASSERT_TRUE(page.Load(record));
    EXPECT_TRUE(page.settings.SoundOnItem()->SetValue("True"));
    EXPECT_EQ(notifications.count(), 0);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(page.settings.SoundOn(), 0);

    // A switch change under a code other than 3 is ignored.
    page.settings.OnGridNotify(CPropertyGrid::kNotifySelectionChanged,
                               page.settings.SoundOnItem());
    EXPECT_EQ(page.settings.SoundOn(), 0);
    // A text item change is left to the next save.
    ASSERT_TRUE(page.grid.EditValueAsUser(page.settings.ComPortItem(), "COM 4"));
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(page.settings.Settings().comPort, stored.comPort);
}

// The serial port's three items apply to the serial board only; an unknown
// kind greys nothing. The user's pick on the programmer item regreys at once.
TEST(SettingsGridTest, ItemsThatDoNotApplyToTheKindAreGreyed)
{
    const std::pair<int, bool> kinds[] = {{0, true},  {1, false}, {2, false}, {3, false},
                                          {4, false}, {5, false}, {6, false}, {9, true}};
    for (const auto& [type, serial] : kinds) {
        SCOPED_TRACE(type);
        SettingsPage page;
        SettingsRecord stored;
        stored.progType = type;
        ASSERT_TRUE(stored.Save(page.ini));
        SettingsRecord record;
        ASSERT_TRUE(page.Load(record));
        for (CPropertyGridItem* item : {page.settings.ComPortItem(), page.settings.BaudSelItem(),
                                        page.settings.SerialDeviceItem()}) {
            const auto rows = page.grid.Tree()->findItems(
                item->Caption(), Qt::MatchExactly | Qt::MatchRecursive, 0);
            ASSERT_EQ(rows.size(), 1);
            EXPECT_EQ(bool(rows.front()->flags() & Qt::ItemIsEnabled), serial);
        }
        EXPECT_EQ(page.grid.EditValueAsUser(page.settings.ComPortItem(), "COM 2"), serial);
        // The crystal is the ISP kinds' alone.
        EXPECT_EQ(page.settings.CrystalItem()->IsEnabled(), !serial);
    }

    SettingsPage page;
    CPropertyGridItem* kind = page.settings.ProgTypeItem();
    ASSERT_EQ(kind->Constraints().size(), 7);
    ASSERT_TRUE(page.grid.EditValueAsUser(kind, kind->Constraints().at(4)));
    EXPECT_FALSE(page.settings.BaudSelItem()->IsEnabled());
    ASSERT_TRUE(page.grid.EditValueAsUser(kind, kind->Constraints().at(0)));
    EXPECT_TRUE(page.settings.BaudSelItem()->IsEnabled());
    ASSERT_TRUE(page.grid.EditValueAsUser(kind, kind->Constraints().at(3)));
    // Taken at the next start: only the saved block has it.
    EXPECT_EQ(page.settings.Settings().progType, 0);
    EXPECT_EQ(page.settings.CollectForSave(page.settings.Settings()).progType, 3);
}

// The crystal lives in Quenby.ini beside the settings file, where the ISP
// backends read it; what the item shows is what the file holds.
TEST(SettingsGridTest, TheCrystalIsTypedAndKeptInTheCableFile)
{
    SettingsPage page;
    const std::string cable = page.dir.File("Quenby.ini");
    ASSERT_TRUE(CProfileFile(cable).WriteString("ISP", "Crystal", "11.0592"));
    SettingsRecord stored;
    stored.progType = 4;
    ASSERT_TRUE(stored.Save(page.ini));
    SettingsRecord record;
    ASSERT_TRUE(page.Load(record));
    CPropertyGridItem* crystal = page.settings.CrystalItem();
    EXPECT_EQ(page.Shown(crystal), "11.0592");

    const std::pair<const char*, const char*> typed[] = {
        {"24", "24"}, {" 3.579545 ", "3.579545"}, {"0", "3.579545"}, {"fast", "3.579545"},
        {"50", "3.579545"}};
    for (const auto& [text, kept] : typed) {
        ASSERT_TRUE(page.grid.EditValueAsUser(crystal, text));
        EXPECT_EQ(page.Shown(crystal), kept) << text;
        EXPECT_EQ(CProfileFile(cable).GetString("ISP", "Crystal", ""), kept) << text;
    }
}

} // namespace

namespace {

TEST(SerialDeviceListTest, ByIdNamesAreListedBesideTheirDevice)
{
    namespace fs = std::filesystem;
    CTempDir dir;
    const fs::path byId = dir.Path() / "by-id";
    fs::create_directory(byId);
    for (const char* node : {"ttyUSB0", "ttyUSB1", "ttyACM0"})
        std::ofstream(dir.File(node)) << "";
    fs::create_symlink("../ttyUSB1", byId / "usb-B");
    fs::create_symlink(dir.File("ttyUSB0"), byId / "usb-A");
    fs::create_symlink(dir.File("ttyACM0"), byId / "usb-C");  // a device not listed
    fs::create_symlink(dir.File("gone"), byId / "usb-D");     // dangling
    std::vector<std::string> labels;
    for (const SerialDeviceInfo& device : CSerialDeviceList::WithStableNames(
             {{dir.File("ttyUSB0"), "USB Serial", ""}, {dir.File("ttyUSB1"), "", "FTDI"}},
             byId.string()))
        labels.push_back(CSerialDeviceList::Label(device));
    EXPECT_EQ(labels, (std::vector<std::string>{
                          dir.File("ttyUSB0") + " - USB Serial",
                          (byId / "usb-A").string() + " - USB Serial",
                          dir.File("ttyUSB1") + " (FTDI)", (byId / "usb-B").string() + " (FTDI)",
                          (byId / "usb-C").string()}));
}

}  // namespace
