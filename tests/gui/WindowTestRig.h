#pragma once

#include <QStringList>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/ProgrammerDlg.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TempDir.h"

// Fixture for tests of the main window: a fresh program folder holding a
// copy of the built catalogue, and the window opened there on simulated
// hardware. Needs TAMBERLINK_BIN_DIR (ctest sets it) to find the catalogue.
class CWindowTestRig : public ::testing::Test {
protected:
    // Hang guard only: every wait ends as soon as its condition holds.
    static constexpr int kHangGuardMs = 60000;

    // Copies the catalogue and makes the temporary folder the program
    // folder, so the window's ini files land there too; the configuration
    // folder is in it as well, so no catalogue of the user gets in.
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path ConfigFolder() const { return m_dir.Path() / "config" / "tamberlink"; }

    // Builds and shows the window without waiting. programmer 0 keeps the
    // stored type (the board in a fresh folder); 1..3 run the simulated
    // parallel-port cable instead.
    std::unique_ptr<CProgrammerDlg> Show(int programmer = 0);
    // Waits until the start-up has answered: the board's ready check has
    // ended, or the cable's port reported ready. False at the hang guard.
    static bool WaitForStartUp(CProgrammerDlg& dlg, int programmer = 0);
    // Both of the above; a start-up that never answers fails the test, but
    // the window is still returned.
    std::unique_ptr<CProgrammerDlg> Open(int programmer = 0);

    // Waits until a sequence begun after endsBefore sequence ends is over
    // and no step is outstanding. False at the hang guard.
    static bool WaitForSequenceEnd(CProgrammerSession& session, int endsBefore);
    // The lines of the Status page's log, top first.
    static QStringList Log(const CProgrammerDlg& dlg);

    CTempDir m_dir;
    CRecordingMessageSink m_messages;
};
