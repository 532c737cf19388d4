#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/AppGlobals.h"
#include "programmer/DeviceCatalogue.h"
#include "sordane/CatalogueEditor.h"
#include "sordane/CatalogueModel.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

const DeviceRecord kS52{"AT89S52", 2, 8, 5.0f, {0x1E, 0x52, 0x06}};
const DeviceRecord kMine{"MINE", 9, 4, 5.0f, {0x1E, 0x99, 0x01}};
const DeviceRecord kTheirs{"THEIRS", 8, 4, 5.0f, {0x1E, 0x98, 0x01}};

// Saves through the editor, answering the message box that comes with
// button; the box's text, empty when none came.
QString SaveAnswering(CCatalogueEditor& editor, QMessageBox::StandardButton button, bool& saved)
{
    QString text;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            box->button(button)->click();
        }
    });
    poll.start(10);
    saved = editor.Save();
    return text;
}

class SordaneFiles : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", m_dir.File("config").c_str(), 1); }
    void TearDown() override
    {
        ::unsetenv("XDG_CONFIG_HOME");
        g_strAppDir = m_savedAppDir;
    }

    CTempDir m_dir;
    std::string m_savedAppDir = g_strAppDir;
};

// Two editors on one file: the later save asks before it drops the other's
// addition.
TEST_F(SordaneFiles, ASaveOverAFileChangedSinceItWasReadAsksFirst)
{
    const QString path = QString::fromStdString(m_dir.File("ChipList.chip"));
    ASSERT_TRUE(WriteCatalogueFile(path.toStdString(), {kS52}));
    CCatalogueEditor first, second;
    ASSERT_TRUE(first.OpenFile(path) && second.OpenFile(path));
    first.Model()->AddRecord(kTheirs);
    ASSERT_TRUE(first.Save());
    second.Model()->AddRecord(kMine);

    bool saved = true;
    EXPECT_TRUE(SaveAnswering(second, QMessageBox::No, saved).contains(path));
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadCatalogueFile(path.toStdString()), (std::vector<DeviceRecord>{kS52, kTheirs}));
    EXPECT_FALSE(SaveAnswering(second, QMessageBox::Yes, saved).isEmpty());
    EXPECT_TRUE(saved);
    EXPECT_EQ(ReadCatalogueFile(path.toStdString()), (std::vector<DeviceRecord>{kS52, kMine}));
    // Its own save is what it compares with next.
    EXPECT_TRUE(SaveAnswering(second, QMessageBox::No, saved).isEmpty());
}

// An installed program folder cannot be written by its user: the save goes
// to the user's own copy, which the programmer reads from then on.
TEST_F(SordaneFiles, AnInstalledCatalogueIsSavedAsTheUsersOwnCopy)
{
    SetAppDir("/proc/self");  // no one may make a file there, root included
    const std::string own = m_dir.File("config") + "/tamberlink/ChipList.chip";
    CCatalogueEditor editor;
    ASSERT_TRUE(editor.OpenFile(QString::fromStdString(CataloguePath())));
    editor.Model()->AddRecord(kMine);
    bool saved = false;
    EXPECT_TRUE(SaveAnswering(editor, QMessageBox::Ok, saved).contains(QString::fromStdString(own)));
    EXPECT_TRUE(saved);
    EXPECT_EQ(CataloguePath(), own);
    EXPECT_EQ(ReadCatalogueFile(own), std::vector<DeviceRecord>{kMine});
}

// A second Sordane for the same catalogue (by any name of it) brings the
// first forward and ends; the first goes on.
TEST_F(SordaneFiles, ASecondSordaneForTheSameFileEndsAtOnce)
{
    const char* bin = std::getenv("TAMBERLINK_BIN_DIR");
    if (!bin)
        GTEST_SKIP() << "TAMBERLINK_BIN_DIR names the program folder (ctest sets it)";
    const std::string path = m_dir.File("ChipList.chip");
    ASSERT_TRUE(WriteCatalogueFile(path, {kS52}));
    fs::create_symlink(path, m_dir.File("link.chip"));
    const fs::path runtime = m_dir.Path() / "runtime";
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    const std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen",
                                                  "XDG_RUNTIME_DIR=" + runtime.string()};
    const std::string program = (fs::path(bin) / "Sordane").string();

    CChildProcess first(program, {path}, environment);
    // Its lock taken; the second waits a little for the socket beside it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fs::is_empty(runtime); }, 60000));
    CChildProcess second(program, {m_dir.File("link.chip")}, environment);
    EXPECT_EQ(second.Wait(60000), 0);
    EXPECT_NE(second.ReadAll().find("brought forward"), std::string::npos);
    EXPECT_TRUE(first.Running());
}

}  // namespace
