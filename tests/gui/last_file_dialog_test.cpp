#include <QApplication>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMouseEvent>
#include <QMimeData>
#include <QPushButton>
#include <QDeadlineTimer>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ProgrammerDlg.h"
#include "app/SoundPrompts.h"
#include "platform/AppGlobals.h"
#include "platform/ProfileFile.h"
#include "settings/LastFileDialog.h"
#include "settings/core/RecentFileList.h"
#include "tests/gui/WindowTestRig.h"
#include "tests/support/TempDir.h"
#include "widgets/core/CommandButton.h"

namespace {

// Hang guard only: every wait ends as soon as its condition holds.
constexpr int kHangGuardMs = 60000;

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The events of a double-click, straight to the widget.
void DoubleClick(QWidget* widget, QPoint at)
{
    const QPointF local(at);
    const QPointF global(widget->mapToGlobal(at));
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const bool release = type == QEvent::MouseButtonRelease;
        QMouseEvent event(type, local, global, Qt::LeftButton,
                          release ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
}

// Runs action once the modal dialog is up. Should the action fail to end
// it, the guard cancels the dialog so that the test fails instead of hanging.
class ModalDriver {
public:
    explicit ModalDriver(QDialog& dialog, std::function<void()> action)
    {
        QTimer::singleShot(0, &dialog, [&dialog, action] {
            if (QTest::qWaitFor([&] { return dialog.isVisible(); }, kHangGuardMs))
                action();
        });
        m_guard.setSingleShot(true);
        QObject::connect(&m_guard, &QTimer::timeout, &dialog, [&dialog] {
            ADD_FAILURE() << "the dialog was left open";
            dialog.reject();
        });
        m_guard.start(kHangGuardMs);
    }

private:
    QTimer m_guard;
};

class LastFileDialogTest : public ::testing::Test {
protected:
    std::string Ini() const { return m_dir.File("LastFile.ini"); }

    void Seed(const std::vector<std::string>& oldestFirst)
    {
        CRecentFileList list(Ini());
        for (const std::string& path : oldestFirst)
            ASSERT_TRUE(list.Add(path));
        ASSERT_TRUE(list.Save());
    }

    std::vector<std::string> Stored() const
    {
        CRecentFileList list(Ini());
        list.Load();
        return list.Entries();
    }

    static QStringList Rows(const QListWidget& list)
    {
        QStringList rows;
        for (int i = 0; i < list.count(); ++i)
            rows << list.item(i)->text();
        return rows;
    }

    CTempDir m_dir;
};

TEST_F(LastFileDialogTest, ListShowsNewestFirstAndDoubleClickTakesTheEntry)
{
    Seed({"/fw/old.bin", "/fw/middle.hex", "/fw/new.bin", "/fw/newest.bin"});
    CLastFileDialog dialog(Ini());
    QStringList shown;
    bool listVisible = false;
    ModalDriver driver(dialog, [&] {
        QListWidget* list = dialog.RecentList();
        listVisible = list->isVisible() && list->window() == &dialog;
        shown = Rows(*list);
        // The third row from the top.
        const QRect row = list->visualItemRect(list->item(2));
        DoubleClick(list->viewport(), row.center());
    });

    EXPECT_EQ(dialog.Run(), 1);
    EXPECT_TRUE(listVisible);
    EXPECT_EQ(shown, (QStringList{"/fw/newest.bin", "/fw/new.bin", "/fw/middle.hex", "/fw/old.bin"}));
    EXPECT_TRUE(dialog.ChosenFromList());
    EXPECT_EQ(dialog.Path(), "/fw/middle.hex");
    EXPECT_EQ(dialog.Extension(), "hex");
    EXPECT_EQ(Stored(),
              (std::vector<std::string>{"/fw/old.bin", "/fw/new.bin", "/fw/newest.bin", "/fw/middle.hex"}));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(LastFileDialogTest, FileChosenInTheFilePartBecomesNewest)
{
    Seed({"/fw/a.bin"});
    const std::string file = m_dir.File("image.bin");
    WriteBytes(file, {1, 2, 3});
    CLastFileDialog dialog(Ini());
    ModalDriver driver(dialog, [&] {
        dialog.setDirectory(QString::fromStdString(m_dir.Path().string()));
        dialog.selectFile(QString::fromStdString(file));
        static_cast<QDialog&>(dialog).accept();  // the Open button
    });

    EXPECT_EQ(dialog.Run(), 1);
    EXPECT_FALSE(dialog.ChosenFromList());
    EXPECT_EQ(std::filesystem::path(dialog.Path()), std::filesystem::path(file));
    EXPECT_EQ(dialog.Extension(), "bin");
    EXPECT_EQ(Stored(), (std::vector<std::string>{"/fw/a.bin", dialog.Path()}));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The first filter covers every loadable type: a folder's HEX and binary
// files both show as the dialog opens, so a typed HEX name is taken by Open.
TEST_F(LastFileDialogTest, OpensShowingEveryLoadableTypeAndTakesATypedHexName)
{
    const std::string file = m_dir.File("prog.hex");
    std::ofstream(file) << ":00000001FF\n";
    WriteBytes(m_dir.File("image.bin"), {1});
    CLastFileDialog dialog(Ini());
    EXPECT_EQ(dialog.nameFilters(),
              (QStringList{"所有支持的文件(*.bin *.hex *.ihx *.ihex *.s19 *.s28 *.s37 *.srec *.mot)",
                           "二进制文件(*.bin)", "Intel Hex文件(*.hex *.ihx *.ihex)",
                           "Motorola S记录文件(*.s19 *.s28 *.s37 *.srec *.mot)"}));
    QStringList shown;
    ModalDriver driver(dialog, [&] {
        auto* model = dialog.findChild<QFileSystemModel*>();
        auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        ASSERT_TRUE(model && view && name && buttons) << "Qt's file dialog has changed its parts";
        dialog.setDirectory(QString::fromStdString(m_dir.Path().string()));
        // The model lists the folder on a thread of its own and adds the
        // rows in batches, after its "loaded" signal at times: wait for the
        // rows themselves. A filter that hides a file leaves fewer rows and
        // the comparison below says which.
        QDeadlineTimer deadline(10000);
        while (model->rowCount(view->rootIndex()) < 2 && !deadline.hasExpired())
            QTest::qWait(20);
        for (int row = 0; row < model->rowCount(view->rootIndex()); ++row)
            shown << model->index(row, 0, view->rootIndex()).data().toString();
        QTest::keyClicks(name, QStringLiteral("prog.hex"));
        buttons->button(QDialogButtonBox::Open)->click();
        if (dialog.isVisible())
            dialog.reject();
    });
    EXPECT_EQ(dialog.Run(), 1);
    shown.sort();
    EXPECT_EQ(shown, (QStringList{"image.bin", "prog.hex"}));
    EXPECT_EQ(std::filesystem::path(dialog.Path()), std::filesystem::path(file));
}

TEST_F(LastFileDialogTest, CancelLeavesTheListAndTheNextRunRereadsTheFile)
{
    CLastFileDialog dialog(Ini());
    {
        ModalDriver driver(dialog, [&] { dialog.reject(); });
        EXPECT_EQ(dialog.Run(), 0);
    }
    // Opening wrote the count of the empty list, nothing else.
    EXPECT_EQ(CProfileFile(Ini()).GetInt("File Number", "n", -1), 0);
    EXPECT_TRUE(Stored().empty());

    // Another copy of the program added a file meanwhile.
    Seed({"/fw/elsewhere.bin"});
    QStringList shown;
    ModalDriver driver(dialog, [&] {
        shown = Rows(*dialog.RecentList());
        dialog.reject();
    });
    EXPECT_EQ(dialog.Run(), 0);
    EXPECT_EQ(shown, QStringList{"/fw/elsewhere.bin"});
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The main window on the simulated board, for the drop and the prompts.
class WindowDropTest : public CWindowTestRig {
protected:
    void SetUp() override
    {
        CWindowTestRig::SetUp();
        if (HasFatalFailure())
            return;
        m_dlg = Show();
        ASSERT_TRUE(WaitForStartUp(*m_dlg));
    }

    // Drags mime onto the window and drops it there; true when the window
    // offered to take the drag.
    bool DragAndDrop(const QMimeData& mime)
    {
        const QPoint at(20, 20);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_dlg.get(), &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_dlg.get(), &drop);
        return enter.isAccepted();
    }

    static QMimeData* Files(const std::vector<std::string>& paths)
    {
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const std::string& path : paths)
            urls << QUrl::fromLocalFile(QString::fromStdString(path));
        mime->setUrls(urls);
        return mime;
    }

    std::unique_ptr<CProgrammerDlg> m_dlg;
};

TEST_F(WindowDropTest, OneLocalFileIsLoadedAndRememberedWhileLoadAccepts)
{
    const std::string a = m_dir.File("a.bin");
    WriteBytes(a, {0x12, 0x34, 0x56});
    CProgrammerSession& session = m_dlg->Session();

    const std::unique_ptr<QMimeData> two(Files({a, a}));
    EXPECT_FALSE(DragAndDrop(*two));
    const std::unique_ptr<QMimeData> folder(Files({m_dir.Path().string()}));
    EXPECT_FALSE(DragAndDrop(*folder));
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.org/a.bin"))});
    EXPECT_FALSE(DragAndDrop(web));
    // While a step runs the Load file button takes no clicks, nor drops.
    session.SetCommandsEnabled(0);
    const std::unique_ptr<QMimeData> one(Files({a}));
    EXPECT_FALSE(DragAndDrop(*one));
    EXPECT_TRUE(session.FilePath().empty());

    session.SetCommandsEnabled(1);
    EXPECT_TRUE(DragAndDrop(*one));
    EXPECT_EQ(session.FilePath(), a);
    EXPECT_EQ(session.Programmer().Buffer1[0], 0x12);
    EXPECT_EQ(session.Programmer().Buffer1[2], 0x56);
    CRecentFileList recent(IniFilePath("LastFile.ini"));
    recent.Load();
    EXPECT_EQ(recent.Entries(), std::vector<std::string>{a});
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(WindowDropTest, PromptsNeverBlockOrComplainWithoutASoundDevice)
{
    // Whatever the machine has for sound, a prompt returns and no message
    // box appears; a second prompt cuts the first short.
    m_dlg->Session().SetSoundOn(1);
    m_dlg->Session().PromptSuccess();
    m_dlg->Session().PromptFailure();
    CSoundPrompts prompts;
    prompts.Play(PromptSound::SuccessTones);
    prompts.Play(PromptSound::FailureTone);
    prompts.Play(PromptSound::SystemExclamation);
    EXPECT_FALSE(prompts.IsPlaying());
    EXPECT_TRUE(m_messages.Texts().empty());
}

} // namespace
