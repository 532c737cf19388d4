#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <unistd.h>

#include "platform/AppGlobals.h"
#include "programmer/DeviceCatalogue.h"
#include "sordane/CatalogueEditor.h"
#include "sordane/CatalogueModel.h"
#include "sordane/SingleInstance.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

const DeviceRecord kS52{"AT89S52", 2, 8, 5.0f, {0x1E, 0x52, 0x06}};
const DeviceRecord kMine{"MINE", 9, 4, 5.0f, {0x1E, 0x99, 0x01}};
const DeviceRecord kTheirs{"THEIRS", 8, 4, 5.0f, {0x1E, 0x98, 0x01}};

// Answers the next message box with button and keeps its text; a box that
// never comes is no hang: the answer is given up after a while.
class CBoxAnswer : public QObject {
public:
    explicit CBoxAnswer(QMessageBox::StandardButton button) : m_button(button)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            text = box->text();
            m_timer.stop();
            box->button(m_button)->click();
        });
        m_timer.start();
    }
    QString text;

private:
    QMessageBox::StandardButton m_button;
    QTimer m_timer;
};

class SordaneFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            m_oldConfig = old;
        ::setenv("XDG_CONFIG_HOME", m_dir.File("config").c_str(), 1);
    }
    void TearDown() override
    {
        if (m_oldConfig)
            ::setenv("XDG_CONFIG_HOME", m_oldConfig->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        g_strAppDir = m_savedAppDir;
    }

    CTempDir m_dir;
    std::optional<std::string> m_oldConfig;
    std::string m_savedAppDir = g_strAppDir;
};

TEST_F(SordaneFiles, ChangedOnDiskComparesWithWhatWasLoadedOrSaved)
{
    const std::string path = m_dir.File("a.chip");
    ASSERT_TRUE(WriteCatalogueFile(path, {kS52}));
    CCatalogueModel model;
    ASSERT_TRUE(model.Load(QString::fromStdString(path)));
    EXPECT_FALSE(model.ChangedOnDisk());
    ASSERT_TRUE(WriteCatalogueFile(path, {kS52}));  // the same bytes again
    EXPECT_FALSE(model.ChangedOnDisk());
    ASSERT_TRUE(WriteCatalogueFile(path, {kS52, kTheirs}));
    EXPECT_TRUE(model.ChangedOnDisk());
    ASSERT_TRUE(model.Save(QString::fromStdString(path)));
    EXPECT_FALSE(model.ChangedOnDisk());
    fs::remove(path);
    EXPECT_TRUE(model.ChangedOnDisk());

    // A new catalogue: a file made meanwhile where there was none.
    model.New(QString::fromStdString(m_dir.File("new.chip")));
    EXPECT_FALSE(model.ChangedOnDisk());
    ASSERT_TRUE(WriteCatalogueFile(m_dir.File("new.chip"), {kTheirs}));
    EXPECT_TRUE(model.ChangedOnDisk());
}

// Two editors on one file: the later save asks before it drops the other's
// addition.
TEST_F(SordaneFiles, ASaveOverAFileChangedSinceItWasReadAsksFirst)
{
    const QString path = QString::fromStdString(m_dir.File("ChipList.chip"));
    ASSERT_TRUE(WriteCatalogueFile(path.toStdString(), {kS52}));
    CCatalogueEditor first;
    CCatalogueEditor second;
    ASSERT_TRUE(first.OpenFile(path));
    ASSERT_TRUE(second.OpenFile(path));
    first.Model()->AddRecord(kTheirs);
    ASSERT_TRUE(first.Save());
    second.Model()->AddRecord(kMine);

    {
        CBoxAnswer no(QMessageBox::No);
        EXPECT_FALSE(second.Save());
        EXPECT_TRUE(no.text.contains(path)) << no.text.toStdString();
    }
    EXPECT_EQ(ReadCatalogueFile(path.toStdString()), (std::vector<DeviceRecord>{kS52, kTheirs}));
    EXPECT_TRUE(second.Model()->IsModified());

    {
        CBoxAnswer yes(QMessageBox::Yes);
        EXPECT_TRUE(second.Save());
        EXPECT_FALSE(yes.text.isEmpty());
    }
    EXPECT_EQ(ReadCatalogueFile(path.toStdString()), (std::vector<DeviceRecord>{kS52, kMine}));
    // Saved by this editor, so the next save asks nothing.
    second.Model()->AddRecord(kTheirs);
    EXPECT_TRUE(second.Save());
}

// An installed program folder cannot be written by its user: the save goes
// to the user's own copy, which the programmer reads from then on.
TEST_F(SordaneFiles, AnInstalledCatalogueIsSavedAsTheUsersOwnCopy)
{
    const bool root = ::geteuid() == 0;
    // Not even root makes files in /proc.
    const fs::path installed = root ? fs::path("/proc/self") : m_dir.Path() / "installed";
    if (!root) {
        fs::create_directory(installed);
        ASSERT_TRUE(WriteCatalogueFile((installed / "ChipList.chip").string(), {kS52}));
        fs::permissions(installed, fs::perms::owner_read | fs::perms::owner_exec);
    }
    SetAppDir(installed.string());
    const std::string own = m_dir.File("config") + "/tamberlink/ChipList.chip";
    ASSERT_EQ(CataloguePath(), ProgramCataloguePath());

    {
        CCatalogueEditor editor;
        ASSERT_TRUE(editor.OpenFile(QString::fromStdString(CataloguePath())));
        editor.Model()->AddRecord(kMine);
        CBoxAnswer ok(QMessageBox::Ok);
        EXPECT_TRUE(editor.Save());
        EXPECT_TRUE(ok.text.contains(QString::fromStdString(own))) << ok.text.toStdString();
        EXPECT_EQ(editor.Model()->FilePath(), QString::fromStdString(own));
        EXPECT_FALSE(editor.Model()->IsModified());
    }
    EXPECT_EQ(CataloguePath(), own);
    const std::vector<DeviceRecord> expected =
        root ? std::vector<DeviceRecord>{kMine} : std::vector<DeviceRecord>{kS52, kMine};
    EXPECT_EQ(ReadCatalogueFile(own), expected);
    if (!root)
        fs::permissions(installed, fs::perms::owner_all);
}

TEST_F(SordaneFiles, OneSordanePerCatalogueFile)
{
    const QString path = QString::fromStdString(m_dir.File("ChipList.chip"));
    ASSERT_TRUE(WriteCatalogueFile(path.toStdString(), {kS52}));
    fs::create_symlink(path.toStdString(), m_dir.File("link.chip"));

    CSingleInstance first;
    QSignalSpy raised(&first, &CSingleInstance::activateRequested);
    EXPECT_EQ(first.ClaimFile(path), CSingleInstance::Claim::Ours);
    {
        // Another spelling of the same file is the same catalogue.
        CSingleInstance second;
        EXPECT_EQ(second.ClaimFile(QString::fromStdString(m_dir.File("link.chip"))),
                  CSingleInstance::Claim::RaisedOther);
        EXPECT_TRUE(raised.wait(5000) || raised.count() > 0);
        EXPECT_EQ(second.ClaimFile(QString::fromStdString(m_dir.File("other.chip"))),
                  CSingleInstance::Claim::Ours);
        // The file claimed is kept when another Sordane has the new one.
        EXPECT_EQ(second.ClaimFile(path), CSingleInstance::Claim::RaisedOther);
        EXPECT_EQ(second.ClaimedFile(),
                  CSingleInstance::FileKey(QString::fromStdString(m_dir.File("other.chip"))));
    }
    // Given up by the first: the file is free for the next one.
    EXPECT_EQ(first.ClaimFile(QString::fromStdString(m_dir.File("third.chip"))),
              CSingleInstance::Claim::Ours);
    CSingleInstance next;
    EXPECT_EQ(next.ClaimFile(path), CSingleInstance::Claim::Ours);
}

// The program itself: a second Sordane for the same catalogue brings the
// first one forward and ends, and the first goes on.
TEST_F(SordaneFiles, ASecondSordaneForTheSameFileEndsAtOnce)
{
    const char* bin = std::getenv("TAMBERLINK_BIN_DIR");
    if (!bin)
        GTEST_SKIP() << "TAMBERLINK_BIN_DIR names the program folder (ctest sets it)";
    const QString program = QString::fromStdString((fs::path(bin) / "Sordane").string());
    const QString path = QString::fromStdString(m_dir.File("ChipList.chip"));
    ASSERT_TRUE(WriteCatalogueFile(path.toStdString(), {kS52}));
    const fs::path runtime = m_dir.Path() / "runtime";
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.string()));

    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(program, {path});
    ASSERT_TRUE(first.waitForStarted());
    const auto listening = [&] {
        for (const auto& entry : fs::directory_iterator(runtime))
            if (entry.path().extension() == ".socket")
                return true;
        return false;
    };
    ASSERT_TRUE(QTest::qWaitFor(listening, 60000));

    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(program, {path});
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().contains("brought forward"));
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
}

}  // namespace
