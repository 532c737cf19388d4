#include <gtest/gtest.h>

#include "programmer/StatusCode.h"
#include "tests/app/SessionTestKit.h"

namespace {

const DeviceRecord kS52{"AT89S52", 2, 8, 5.0f, {0x1e, 0x52, 0x06}};
const DeviceRecord kS51{"AT89S51", 2, 4, 5.0f, {0x1e, 0x51, 0x06}};
const DeviceRecord kNew{"NEW", 7, 2, 5.0f, {0x1e, 0x11, 0x06}};

// A session started as the window starts it: the stored device's name given
// before Start.
struct CatalogueSession {
    CatalogueSession(const std::vector<DeviceRecord>& devices, int index, std::string name)
        : session(view, queue, messages)
    {
        WriteCatalogueFile(path, devices);
        session.SetBackendOpener([](CProgrammer& programmer, int type, int) {
            programmer.SetBackend(type, std::make_unique<CScriptedBackend>(programmer));
            return 1;
        });
        SettingsRecord settings;
        settings.deviceIndex = index;
        session.SetStoredDeviceName(std::move(name));
        session.Start(settings, path);
    }

    CTempDir dir;
    const std::string path = dir.File("ChipList.chip");
    CRecordingView view;
    CStatusQueue queue;
    CRecordingMessageSink messages;
    CProgrammerSession session;
};

// A catalogue saved while the program runs is read again once no step is
// outstanding, and the device chosen stays chosen by its name.
TEST(CatalogueChoice, AChangedCatalogueIsReadAgainOnceTheStepHasEnded)
{
    CatalogueSession run({kS52, kS51}, 1, "AT89S51");
    run.session.OnErase();  // the scripted board does not answer yet
    ASSERT_TRUE(WriteCatalogueFile(run.path, {kNew, kS52, kS51}));
    run.session.ReloadCatalogue(run.path);
    EXPECT_EQ(run.session.Programmer().Devices().size(), 2u);

    run.queue.PostStatus(kStatusEraseDone);
    while (auto event = run.queue.TryPop())
        run.session.HandleEvent(*event);
    EXPECT_EQ(run.view.deviceList, (Lines{"NEW", "AT89S52", "AT89S51"}));
    EXPECT_EQ(run.session.DeviceSelection(), 2);
    EXPECT_EQ(run.session.Programmer().SelectDevice(0)->deviceCode, 7);

    // Gone from the catalogue: the line says so. Unreadable: nothing changes.
    ASSERT_TRUE(WriteCatalogueFile(run.path, {kS52, kS51}));
    run.session.SetDeviceSelection(0);
    run.session.ReloadCatalogue(run.path);
    EXPECT_NE(run.view.log.back().find("NEW"), std::string::npos);
    run.session.ReloadCatalogue(run.dir.File("missing.chip"));
    EXPECT_EQ(run.session.Programmer().Devices().size(), 2u);
}

}  // namespace
