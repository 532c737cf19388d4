#include <gtest/gtest.h>

#include "programmer/StatusCode.h"
#include "tests/app/SessionTestKit.h"

namespace {

const DeviceRecord kS52{"AT89S52", 2, 8, 5.0f, {0x1e, 0x52, 0x06}};
const DeviceRecord kS51{"AT89S51", 2, 4, 5.0f, {0x1e, 0x51, 0x06}};
const DeviceRecord kNew{"NEW", 7, 2, 5.0f, {0x1e, 0x11, 0x06}};

// A session started on a catalogue of its own, as the window starts it: the
// stored device's name given before Start.
struct CatalogueSession {
    CatalogueSession(const std::vector<DeviceRecord>& devices, int index, std::string name)
        : session(view, queue, messages)
    {
        WriteCatalogueFile(path, devices);
        session.SetBackendOpener([this](CProgrammer& programmer, int type, int) {
            auto fake = std::make_unique<CScriptedBackend>(programmer);
            backend = fake.get();
            programmer.SetBackend(type, std::move(fake));
            return 1;
        });
        SettingsRecord settings;
        settings.deviceIndex = index;
        session.SetStoredDeviceName(std::move(name));
        session.Start(settings, path);
    }
    void Pump()
    {
        while (auto event = queue.TryPop())
            session.HandleEvent(*event);
    }
    int LinesWith(const std::string& text) const
    {
        return int(std::count_if(view.log.begin(), view.log.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        }));
    }

    CTempDir dir;
    const std::string path = dir.File("ChipList.chip");
    CRecordingView view;
    CStatusQueue queue;
    CRecordingMessageSink messages;
    CScriptedBackend* backend = nullptr;
    CProgrammerSession session;
};

TEST(CatalogueChoice, StartSelectsTheStoredDeviceByNameWhenItMoved)
{
    // A device inserted in front of the stored one since the last run.
    CatalogueSession moved({kNew, kS52, kS51}, 1, "AT89S51");
    EXPECT_EQ(moved.session.DeviceSelection(), 2);
    EXPECT_EQ(moved.view.deviceSel, 2);
    EXPECT_EQ(moved.session.DeviceSelectionName(), "AT89S51");

    // No name kept (an older settings file) or a name no longer there: the
    // stored index, as always.
    CatalogueSession unnamed({kNew, kS52, kS51}, 1, "");
    EXPECT_EQ(unnamed.session.DeviceSelection(), 1);
    CatalogueSession gone({kNew, kS52, kS51}, 1, "AT89C2051");
    EXPECT_EQ(gone.session.DeviceSelection(), 1);
}

TEST(CatalogueChoice, AChangedCatalogueIsReadAgainKeepingTheChosenDevice)
{
    CatalogueSession run({kS52, kS51}, 1, "AT89S51");
    ASSERT_EQ(run.session.DeviceSelection(), 1);

    // The same records again (a save without changes): nothing happens.
    run.session.ReloadCatalogue(run.path);
    EXPECT_EQ(run.LinesWith("器件库已更新"), 0);

    ASSERT_TRUE(WriteCatalogueFile(run.path, {kNew, kS52, kS51}));
    run.session.ReloadCatalogue(run.path);
    EXPECT_EQ(run.view.deviceList, (Lines{"NEW", "AT89S52", "AT89S51"}));
    EXPECT_EQ(run.session.DeviceSelection(), 2);
    EXPECT_EQ(run.view.deviceSel, 2);
    EXPECT_EQ(run.LinesWith("器件库已更新"), 1);

    // Operations take their code from the new records.
    run.session.SetDeviceSelection(0);
    EXPECT_EQ(run.session.Programmer().SelectDevice(0)->deviceCode, 7);

    // The chosen device removed: the line says so.
    ASSERT_TRUE(WriteCatalogueFile(run.path, {kS52, kS51}));
    run.session.ReloadCatalogue(run.path);
    EXPECT_EQ(run.LinesWith("NEW"), 1);
    EXPECT_EQ(run.session.DeviceSelection(), 0);
}

TEST(CatalogueChoice, ARunningStepKeepsItsCatalogueUntilItEnds)
{
    CatalogueSession run({kS52, kS51}, 1, "AT89S51");
    run.Pump();
    run.session.OnErase();  // the scripted board does not answer yet
    ASSERT_TRUE(run.session.IsStepOutstanding());

    ASSERT_TRUE(WriteCatalogueFile(run.path, {kNew, kS52, kS51}));
    run.session.ReloadCatalogue(run.path);
    EXPECT_EQ(run.view.deviceList, (Lines{"AT89S52", "AT89S51"}));
    EXPECT_EQ(run.session.Programmer().Devices().size(), 2u);

    run.queue.PostStatus(kStatusEraseDone);
    run.Pump();
    EXPECT_EQ(run.view.deviceList, (Lines{"NEW", "AT89S52", "AT89S51"}));
    EXPECT_EQ(run.session.DeviceSelection(), 2);
}

// A file that cannot be read at the moment (half a copy, gone) leaves the
// catalogue in use as it is.
TEST(CatalogueChoice, AnUnreadableCatalogueChangesNothing)
{
    CatalogueSession run({kS52, kS51}, 1, "AT89S51");
    run.session.ReloadCatalogue(run.dir.File("missing.chip"));
    EXPECT_EQ(run.session.Programmer().Devices().size(), 2u);
    EXPECT_EQ(run.session.DeviceSelection(), 1);
}

}  // namespace
