#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/ProgrammerDlg.h"
#include "platform/AppGlobals.h"
#include "platform/x11/HotkeyHook.h"
#include "settings/HotkeyDlg.h"
#include "settings/HotkeyRegistration.h"
#include "settings/SettingsGrid.h"
#include "tests/gui/WindowTestRig.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/XvfbServer.h"
#include "widgets/CommandButtonWidget.h"
#include "widgets/PropertyGrid.h"

namespace {

// Hang guards only: every wait ends as soon as its condition holds.
constexpr int kHangGuardMs = 60000;
constexpr auto kHangGuard = std::chrono::milliseconds(kHangGuardMs);

// ---- the dialog's input rules ----

struct DialogInput {
    bool shift, ctrl, alt;
    const char* text;
    std::uint8_t mods;
    std::uint8_t key;
};

class HotkeyDlgInputTest : public ::testing::TestWithParam<DialogInput> {};

TEST_P(HotkeyDlgInputTest, OkStoresModifierMaskAndUpperCaseKey)
{
    const DialogInput& in = GetParam();
    CRecordingMessageSink messages;
    CHotkeyDlg dlg(nullptr, &messages);
    dlg.SetHotkey('Q', 0);
    dlg.ShiftBox()->setChecked(in.shift);
    dlg.CtrlBox()->setChecked(in.ctrl);
    dlg.AltBox()->setChecked(in.alt);
    dlg.KeyEdit()->setText(QString::fromUtf8(in.text));
    dlg.OkButton()->click();

    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Mods(), in.mods);
    EXPECT_EQ(dlg.Key(), in.key);
    EXPECT_TRUE(messages.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Combinations, HotkeyDlgInputTest,
    ::testing::Values(DialogInput{true, true, false, "a", 5, 0x41},  // Shift+Ctrl, 'a' -> 'A'
                      DialogInput{false, false, true, "7", 2, '7'},  // Alt alone
                      DialogInput{false, true, false, "z", 4, 'Z'},
                      DialogInput{true, true, true, "Q", 7, 'Q'},
                      DialogInput{false, false, false, "-", 0, '-'}));

TEST(HotkeyDlgTest, OpensWithTheStoredCombinationChecked)
{
    struct Case {
        std::uint8_t mods;
        bool shift, ctrl, alt;
    };
    // Alt is bit 1 and Ctrl bit 2.
    for (const Case& c : {Case{4, false, true, false}, Case{5, true, true, false},
                          Case{7, true, true, true}, Case{2, false, false, true}}) {
        CHotkeyDlg dlg;
        dlg.SetHotkey('K', c.mods);
        EXPECT_EQ(dlg.ShiftBox()->isChecked(), c.shift) << int(c.mods);
        EXPECT_EQ(dlg.CtrlBox()->isChecked(), c.ctrl) << int(c.mods);
        EXPECT_EQ(dlg.AltBox()->isChecked(), c.alt) << int(c.mods);
        EXPECT_EQ(dlg.KeyEdit()->text(), QStringLiteral("K"));
    }
    // No key stored yet: an empty field, not a NUL character.
    CHotkeyDlg none;
    none.SetHotkey(0, 0);
    EXPECT_TRUE(none.KeyEdit()->text().isEmpty());
}

TEST(HotkeyDlgTest, OkWithoutAUsableKeyAsksForOneAndStaysOpen)
{
    // Empty; a character no key carries (from an input method).
    for (const QString& text : {QString(), QStringLiteral("中")}) {
        CRecordingMessageSink messages;
        CHotkeyDlg dlg(nullptr, &messages);
        dlg.SetHotkey('A', 5);
        dlg.show();
        dlg.CtrlBox()->setChecked(false);
        dlg.KeyEdit()->setText(text);
        dlg.OkButton()->click();

        EXPECT_TRUE(dlg.isVisible());
        EXPECT_NE(dlg.result(), QDialog::Accepted);
        ASSERT_EQ(messages.Messages().size(), 1u);
        EXPECT_EQ(messages.Messages()[0].text, "请输入键值!");
        // Nothing taken from the controls yet.
        EXPECT_EQ(dlg.Key(), 'A');
        EXPECT_EQ(dlg.Mods(), 5);
        dlg.close();
    }
}

TEST(HotkeyDlgTest, CancelLeavesTheGivenCombination)
{
    CHotkeyDlg dlg;
    dlg.SetHotkey('7', 2);
    dlg.ShiftBox()->setChecked(true);
    dlg.KeyEdit()->setText(QStringLiteral("X"));
    dlg.CancelButton()->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(dlg.Key(), '7');
    EXPECT_EQ(dlg.Mods(), 2);
}

TEST(HotkeyDlgTest, KeyFieldTakesOneCharacterAndShowsItUpperCase)
{
    CHotkeyDlg dlg;
    dlg.show();
    dlg.KeyEdit()->setFocus();
    QTest::keyClicks(dlg.KeyEdit(), QStringLiteral("bc"));
    EXPECT_EQ(dlg.KeyEdit()->text(), QStringLiteral("B"));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("请输入热键"));
    EXPECT_EQ(dlg.OkButton()->text(), QStringLiteral("确定"));
    EXPECT_EQ(dlg.CancelButton()->text(), QStringLiteral("取消"));
    EXPECT_EQ(dlg.OkButton()->IconId(), 0);
    EXPECT_EQ(dlg.CancelButton()->IconId(), 0);
    dlg.close();
}

// ---- registration without an X server ----

TEST(HotkeyRegistrationTest, NothingRegistersWithoutAnXServer)
{
    // The tests run offscreen: the window has no X server to grab keys on.
    QWidget window;
    CHotkeyRegistration reg(&window, [] {});
    reg.SetHotkey('A', 5);
    reg.Register(true);
    EXPECT_FALSE(reg.CanRegister());
    EXPECT_EQ(reg.Registered(), 0);
    reg.Register(false);

    // Nor does the hook itself when DISPLAY names nothing.
    const char* saved = std::getenv("DISPLAY");
    const std::optional<std::string> display = saved ? std::optional<std::string>(saved)
                                                     : std::nullopt;
    unsetenv("DISPLAY");
    {
        CHotkeyHook hook([](CHotkeyHook::WindowId, std::uintptr_t, std::intptr_t) {});
        EXPECT_FALSE(hook.IsConnected());
        EXPECT_EQ(hook.AddHotkey(1, 'A', 5), 0);
        hook.DeleteHotkey(1, 'A', 5);
    }
    if (display)
        setenv("DISPLAY", display->c_str(), 1);
}

TEST(HotkeyRegistrationTest, OnlyLParam0x100RunsTheCommand)
{
    QWidget window;
    int runs = 0;
    CHotkeyRegistration reg(&window, [&] { ++runs; });
    for (std::intptr_t lParam : {std::intptr_t(0), std::intptr_t(0x101), std::intptr_t(0x10100),
                                 std::intptr_t(-0x100)})
        reg.OnHotkeyMessage(0x100, lParam);
    EXPECT_EQ(runs, 0);
    reg.OnHotkeyMessage(12345, 0x100);  // wParam is not looked at
    EXPECT_EQ(runs, 1);
}

TEST(HotkeyRegistrationTest, DialogOkTakesTheCombinationCancelKeepsIt)
{
    QWidget window;
    CHotkeyRegistration reg(&window, [] {});
    reg.SetHotkey('A', 5);
    std::vector<std::pair<int, int>> shown;
    bool answer = false;
    reg.SetDialogRunner([&](std::uint8_t& key, std::uint8_t& mods) {
        shown.emplace_back(key, mods);
        key = 'Z';
        mods = 2;
        return answer;
    });
    EXPECT_FALSE(reg.RunDialog(&window, nullptr));
    EXPECT_EQ(reg.Key(), 'A');
    EXPECT_EQ(reg.Mods(), 5);
    answer = true;
    EXPECT_TRUE(reg.RunDialog(&window, nullptr));
    EXPECT_EQ(reg.Key(), 'Z');
    EXPECT_EQ(reg.Mods(), 2);
    EXPECT_EQ(shown, (std::vector<std::pair<int, int>>{{'A', 5}, {'A', 5}}));
}

// ---- the main window's wiring ----

class HotkeyWindowTest : public CWindowTestRig {};

TEST_F(HotkeyWindowTest, SwitchOnAsksForTheKeyAndTheSettingsKeepIt)
{
    {
        auto dlg = Open();
        int asked = 0;
        bool answer = true;
        dlg->Hotkey().SetDialogRunner([&](std::uint8_t& key, std::uint8_t& mods) {
            ++asked;
            key = answer ? 'K' : 'X';
            mods = answer ? 6 : 1;
            return answer;
        });
        CPropertyGridItem* item = dlg->SettingsGrid().HotkeyOnItem();
        ASSERT_TRUE(dlg->Grid()->EditValueAsUser(item, QStringLiteral("False")));
        EXPECT_EQ(asked, 0);
        ASSERT_TRUE(dlg->Grid()->EditValueAsUser(item, QStringLiteral("True")));
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(dlg->SettingsGrid().Settings().hotkeyKey, 'K');
        EXPECT_EQ(dlg->SettingsGrid().Settings().hotkeyMods, 6);

        // Cancel keeps what OK chose before.
        answer = false;
        ASSERT_TRUE(dlg->Grid()->EditValueAsUser(item, QStringLiteral("False")));
        ASSERT_TRUE(dlg->Grid()->EditValueAsUser(item, QStringLiteral("True")));
        EXPECT_EQ(asked, 2);
        EXPECT_EQ(dlg->Hotkey().Key(), 'K');
        EXPECT_EQ(dlg->Hotkey().Mods(), 6);
        ASSERT_TRUE(dlg->SaveSettings());
    }
    SettingsRecord stored;
    ASSERT_TRUE(stored.Load(IniFilePath(SettingsRecord::kFileName)));
    EXPECT_EQ(stored.hotkeyOn, 1);
    EXPECT_EQ(stored.hotkeyKey, 'K');
    EXPECT_EQ(stored.hotkeyMods, 6);

    // The next start takes the stored combination.
    auto again = Open();
    EXPECT_EQ(again->Hotkey().Key(), 'K');
    EXPECT_EQ(again->Hotkey().Mods(), 6);
}

// A press is one Auto run. (A press while its ready check is outstanding
// would cancel and restart the run, as a click on Auto does, so the run is
// awaited before anything else.)
TEST_F(HotkeyWindowTest, HotkeyMessageRunsAutoOnce)
{
    auto dlg = Open();
    CProgrammerSession& session = dlg->Session();
    const int logLines = dlg->LogList()->count();
    ASSERT_GT(logLines, 0);

    dlg->Hotkey().OnHotkeyMessage(0, 0x200);
    EXPECT_EQ(dlg->LogList()->count(), logLines);
    EXPECT_FALSE(session.IsStepOutstanding());

    const int ends = session.SequenceEndCount();
    dlg->Hotkey().OnHotkeyMessage(0, 0x100);
    ASSERT_TRUE(session.IsStepOutstanding());
    ASSERT_TRUE(WaitForSequenceEnd(session, ends));
    QCoreApplication::processEvents();
    EXPECT_EQ(session.SequenceEndCount(), ends + 1);
    EXPECT_EQ(dlg->LogList()->item(0)->text(), QStringLiteral("编程器:就绪."));
}

// ---- real key presses on a virtual X server ----

// Collects the hook's messages from its thread.
class MessageLog {
public:
    CHotkeyHook::Receiver Receiver()
    {
        return [this](CHotkeyHook::WindowId window, std::uintptr_t wParam, std::intptr_t lParam) {
            const std::lock_guard lock(m_mutex);
            m_messages.push_back({window, wParam, lParam});
            m_changed.notify_all();
        };
    }

    // Waits until id has count messages; false at the hang guard.
    bool WaitFor(int id, int count)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kHangGuard, [&] { return CountLocked(id) >= count; });
    }

    int Count(int id)
    {
        const std::lock_guard lock(m_mutex);
        return CountLocked(id);
    }

    bool AllAre(CHotkeyHook::WindowId window, std::intptr_t lParam)
    {
        const std::lock_guard lock(m_mutex);
        for (const Message& m : m_messages)
            if (m.window != window || m.lParam != lParam)
                return false;
        return true;
    }

private:
    struct Message {
        CHotkeyHook::WindowId window;
        std::uintptr_t wParam;
        std::intptr_t lParam;
    };

    int CountLocked(int id) const
    {
        int n = 0;
        for (const Message& m : m_messages)
            n += m.wParam == std::uintptr_t(id) ? 1 : 0;
        return n;
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Message> m_messages;
};

class HotkeyXTest : public ::testing::Test {
protected:
    static constexpr CHotkeyHook::WindowId kWindow = 0x1234;

    void SetUp() override
    {
        if (!CXvfbServer::ToolsAvailable())
            GTEST_SKIP() << "Xvfb or xdotool not installed";
        m_server = std::make_unique<CXvfbServer>();
        ASSERT_TRUE(m_server->IsRunning());
    }

    void Press(const std::string& keys) { ASSERT_TRUE(m_server->PressKeys(keys)) << keys; }

    std::unique_ptr<CXvfbServer> m_server;
};

// Messages of one connection arrive in the order of the presses: once a
// later combination's message is in, an earlier press has had its say.
TEST_F(HotkeyXTest, EachPressIsOneMessageOthersAreIgnoredAndDeleteSilences)
{
    MessageLog log;
    CHotkeyHook hook(log.Receiver(), m_server->Display());
    ASSERT_TRUE(hook.IsConnected());
    const int ctrlShiftA = hook.AddHotkey(kWindow, 'A', 5);
    const int altSeven = hook.AddHotkey(kWindow, '7', 2);
    const int marker = hook.AddHotkey(kWindow, 'M', 4);
    ASSERT_NE(ctrlShiftA, 0);
    ASSERT_NE(altSeven, 0);
    ASSERT_NE(marker, 0);
    // Registering again is the same registration, not a second message.
    EXPECT_EQ(hook.AddHotkey(kWindow, 'A', 5), ctrlShiftA);

    Press("ctrl+shift+a");
    Press("ctrl+a shift+a a alt+a ctrl+shift+b");  // other modifiers, other key
    Press("alt+7");
    Press("ctrl+m");
    ASSERT_TRUE(log.WaitFor(marker, 1));
    EXPECT_EQ(log.Count(ctrlShiftA), 1);
    EXPECT_EQ(log.Count(altSeven), 1);

    // Caps Lock and Num Lock do not get in the way.
    Press("Caps_Lock ctrl+shift+a Caps_Lock Num_Lock ctrl+shift+a Num_Lock ctrl+m");
    ASSERT_TRUE(log.WaitFor(marker, 2));
    EXPECT_EQ(log.Count(ctrlShiftA), 3);

    hook.DeleteHotkey(kWindow, 'A', 5);
    Press("ctrl+shift+a alt+7 ctrl+m");
    ASSERT_TRUE(log.WaitFor(marker, 3));
    EXPECT_EQ(log.Count(ctrlShiftA), 3);
    EXPECT_EQ(log.Count(altSeven), 2);
    EXPECT_TRUE(log.AllAre(kWindow, 0x100));
}

TEST_F(HotkeyXTest, CombinationHeldElsewhereOrWithoutAKeyIsRefused)
{
    MessageLog log;
    CHotkeyHook first(log.Receiver(), m_server->Display());
    CHotkeyHook second(log.Receiver(), m_server->Display());
    ASSERT_TRUE(first.IsConnected());
    ASSERT_TRUE(second.IsConnected());

    ASSERT_NE(first.AddHotkey(kWindow, 'Q', 6), 0);
    EXPECT_EQ(second.AddHotkey(kWindow, 'Q', 6), 0);  // another program holds it
    EXPECT_EQ(first.AddHotkey(kWindow + 1, 'Q', 6), 0);  // another window holds it
    first.DeleteHotkey(kWindow, 'Q', 6);
    EXPECT_NE(second.AddHotkey(kWindow, 'Q', 6), 0);

    EXPECT_EQ(first.AddHotkey(kWindow, 0, 4), 0);     // no key chosen
    EXPECT_EQ(first.AddHotkey(kWindow, 0xB5, 4), 0);  // not a key character
    EXPECT_EQ(first.AddHotkey(kWindow, 'W', 8), 0);   // a modifier bit we do not know
}

TEST_F(HotkeyXTest, PressReachesTheWindowThreadAndCancelledDialogReRegisters)
{
    QWidget window;
    int runs = 0;
    CHotkeyRegistration reg(&window, [&] { ++runs; }, m_server->Display());
    ASSERT_TRUE(reg.CanRegister());
    reg.SetHotkey('A', 5);
    reg.Register(true);
    ASSERT_NE(reg.Registered(), 0);

    Press("ctrl+shift+a");
    EXPECT_TRUE(QTest::qWaitFor([&] { return runs == 1; }, kHangGuardMs));

    // Cancel: the old combination is registered again and still works.
    reg.SetDialogRunner([](std::uint8_t&, std::uint8_t&) { return false; });
    EXPECT_FALSE(reg.RunDialog(&window, nullptr));
    ASSERT_NE(reg.Registered(), 0);
    Press("ctrl+shift+a");
    EXPECT_TRUE(QTest::qWaitFor([&] { return runs == 2; }, kHangGuardMs));

    // OK with a new combination: the new one works.
    reg.SetDialogRunner([](std::uint8_t& key, std::uint8_t& mods) {
        key = '7';
        mods = 2;
        return true;
    });
    EXPECT_TRUE(reg.RunDialog(&window, nullptr));
    ASSERT_NE(reg.Registered(), 0);
    Press("alt+7");
    EXPECT_TRUE(QTest::qWaitFor([&] { return runs == 3; }, kHangGuardMs));
}

}  // namespace
