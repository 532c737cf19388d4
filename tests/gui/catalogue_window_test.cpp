#include <QComboBox>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

#include "app/ProgrammerDlg.h"
#include "platform/ProfileFile.h"
#include "programmer/DeviceCatalogue.h"
#include "tests/gui/WindowTestRig.h"

namespace {

class CatalogueWindowTest : public CWindowTestRig {
protected:
    static QStringList Devices(const CProgrammerDlg& dlg)
    {
        QStringList names;
        for (int i = 0; i < dlg.DeviceCombo()->count(); ++i)
            names << dlg.DeviceCombo()->itemText(i);
        return names;
    }
    // The program folder's catalogue with a new device put first, as Sordane
    // inserts one.
    std::vector<DeviceRecord> WithNewDeviceFirst() const
    {
        std::vector<DeviceRecord> devices = *ReadCatalogueFile(m_dir.File("ChipList.chip"));
        devices.insert(devices.begin(), DeviceRecord{"NEW", 7, 2, 5.0f, {0x1E, 0x11, 0x06}});
        return devices;
    }
};

// The settings block keeps the device by its index; its name is kept beside
// it, so a device inserted before it does not change the choice.
TEST_F(CatalogueWindowTest, TheChosenDeviceIsFoundByNameAfterADeviceWasInserted)
{
    QString chosen;
    {
        auto dlg = Open();
        dlg->DeviceCombo()->setCurrentIndex(1);
        emit dlg->DeviceCombo()->activated(1);
        chosen = dlg->DeviceCombo()->currentText();
        QTest::keyClick(dlg.get(), Qt::Key_Escape);
    }
    EXPECT_EQ(CProfileFile(m_dir.File("Tamber_Info.ini")).GetString("Window", "Device", ""),
              chosen.toStdString());
    ASSERT_TRUE(WriteCatalogueFile(m_dir.File("ChipList.chip"), WithNewDeviceFirst()));

    auto again = Open();
    EXPECT_EQ(again->DeviceCombo()->currentIndex(), 2);
    EXPECT_EQ(again->DeviceCombo()->currentText(), chosen);
    EXPECT_EQ(again->Session().DeviceSelection(), 2);
}

// A device saved in Sordane while the window runs (here into the user's own
// copy, which did not exist at start) shows up without a restart, and the
// device chosen stays chosen.
TEST_F(CatalogueWindowTest, TheRunningWindowReadsTheCatalogueWhenItIsSaved)
{
    auto dlg = Open();
    dlg->DeviceCombo()->setCurrentIndex(1);
    emit dlg->DeviceCombo()->activated(1);
    const QString chosen = dlg->DeviceCombo()->currentText();
    const QStringList before = Devices(*dlg);

    std::filesystem::create_directories(ConfigFolder());
    ASSERT_TRUE(WriteCatalogueFile((ConfigFolder() / "ChipList.chip").string(), WithNewDeviceFirst()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Devices(*dlg).size() == before.size() + 1; },
                                kHangGuardMs));
    EXPECT_EQ(Devices(*dlg).value(0), QStringLiteral("NEW"));
    EXPECT_EQ(dlg->DeviceCombo()->currentText(), chosen);
    EXPECT_EQ(dlg->Session().DeviceSelection(), 2);
    EXPECT_TRUE(Log(*dlg).last().startsWith(QStringLiteral("器件库已更新")));

    // The user's copy saved again (a rename over it), with NEW removed.
    std::vector<DeviceRecord> devices = WithNewDeviceFirst();
    devices.erase(devices.begin());
    ASSERT_TRUE(WriteCatalogueFile((ConfigFolder() / "ChipList.chip").string(), devices));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Devices(*dlg) == before; }, kHangGuardMs));
    EXPECT_EQ(dlg->DeviceCombo()->currentText(), chosen);
}

}  // namespace
