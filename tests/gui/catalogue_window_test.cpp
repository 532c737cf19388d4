#include <QComboBox>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

#include "programmer/DeviceCatalogue.h"
#include "tests/gui/WindowTestRig.h"

namespace {

class CatalogueWindowTest : public CWindowTestRig {
protected:
    // The shipped catalogue with a device inserted first, as Sordane does.
    std::vector<DeviceRecord> WithNewDeviceFirst() const
    {
        std::vector<DeviceRecord> devices = *ReadCatalogueFile(m_dir.File("ChipList.chip"));
        devices.insert(devices.begin(), DeviceRecord{"NEW", 7, 2, 5.0f, {0x1E, 0x11, 0x06}});
        return devices;
    }
    static void Choose(CProgrammerDlg& dlg, int index)
    {
        dlg.DeviceCombo()->setCurrentIndex(index);
        emit dlg.DeviceCombo()->activated(index);
    }
};

// The settings keep the device's name beside its index: a device inserted
// before it does not change the choice at the next start.
TEST_F(CatalogueWindowTest, TheChosenDeviceIsFoundByNameAfterADeviceWasInserted)
{
    QString chosen;
    {
        auto dlg = Open();
        Choose(*dlg, 1);
        chosen = dlg->DeviceCombo()->currentText();
        QTest::keyClick(dlg.get(), Qt::Key_Escape);
    }
    ASSERT_TRUE(WriteCatalogueFile(m_dir.File("ChipList.chip"), WithNewDeviceFirst()));
    auto again = Open();
    EXPECT_EQ(again->Session().DeviceSelection(), 2);
    EXPECT_EQ(again->DeviceCombo()->currentText(), chosen);
}

// A device saved while the window runs (here the user's own copy, made
// after the start) shows up at once; the chosen device stays chosen.
TEST_F(CatalogueWindowTest, TheRunningWindowReadsTheCatalogueWhenItIsSaved)
{
    auto dlg = Open();
    Choose(*dlg, 1);
    const QString chosen = dlg->DeviceCombo()->currentText();
    const int count = dlg->DeviceCombo()->count();
    std::filesystem::create_directories(ConfigFolder());
    const std::string own = (ConfigFolder() / "ChipList.chip").string();
    ASSERT_TRUE(WriteCatalogueFile(own, WithNewDeviceFirst()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->DeviceCombo()->count() == count + 1; },
                                kHangGuardMs));
    EXPECT_EQ(dlg->DeviceCombo()->itemText(0), QStringLiteral("NEW"));
    EXPECT_EQ(dlg->DeviceCombo()->currentText(), chosen);
    // Saved again: a rename over the file it watches.
    ASSERT_TRUE(WriteCatalogueFile(own, *ReadCatalogueFile(m_dir.File("ChipList.chip"))));
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg->DeviceCombo()->count() == count; }, kHangGuardMs));
}

}  // namespace
