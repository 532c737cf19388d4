#include <QListWidget>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "app/ProgrammerDlg.h"
#include "settings/GlobalShortcutsPortal.h"
#include "settings/HotkeyRegistration.h"
#include "settings/SettingsGrid.h"
#include "tests/gui/FakeShortcutsPortal.h"
#include "tests/gui/WindowTestRig.h"
#include "widgets/PropertyGrid.h"

namespace {

constexpr int kHangGuardMs = 60000;

TEST(GlobalShortcutsPortal, TriggersUseTheXdgKeyNames)
{
    struct Case {
        std::uint8_t key, mods;
        const char* trigger;
    };
    const Case cases[] = {
        {'A', 5, "CTRL+SHIFT+a"}, {'7', 2, "ALT+7"},         {'Q', 7, "CTRL+ALT+SHIFT+q"},
        {'-', 4, "CTRL+minus"},   {'/', 0, "slash"},          {'.', 1, "SHIFT+period"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CGlobalShortcutsPortal::TriggerFor(c.key, c.mods), QString(c.trigger)) << c.trigger;
}

TEST(HotkeyRegistrationSession, AWaylandSessionIsToldByItsEnvironment)
{
    const QByteArray display = qgetenv("WAYLAND_DISPLAY");
    const QByteArray type = qgetenv("XDG_SESSION_TYPE");
    qunsetenv("WAYLAND_DISPLAY");
    qputenv("XDG_SESSION_TYPE", "x11");
    EXPECT_FALSE(CHotkeyRegistration::IsWaylandSession());
    qputenv("XDG_SESSION_TYPE", "wayland");
    EXPECT_TRUE(CHotkeyRegistration::IsWaylandSession());
    qputenv("XDG_SESSION_TYPE", "tty");
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_TRUE(CHotkeyRegistration::IsWaylandSession());
    for (const auto& [name, value] : {std::pair{"WAYLAND_DISPLAY", display},
                                      std::pair{"XDG_SESSION_TYPE", type}}) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
}

class HotkeyPortalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!CPrivateSessionBus::DaemonAvailable())
            GTEST_SKIP() << "dbus-daemon is not installed (Debian: dbus)";
        m_bus = std::make_unique<CPrivateSessionBus>();
        ASSERT_TRUE(m_bus->IsRunning());
    }
    std::unique_ptr<CGlobalShortcutsPortal> ClientPortal()
    {
        return std::make_unique<CGlobalShortcutsPortal>(m_bus->Connect());
    }

    std::unique_ptr<CPrivateSessionBus> m_bus;
};

// Where the desktop offers the service the hotkey is bound through it; each
// press of it is one hotkey message, until it is given up again.
TEST_F(HotkeyPortalTest, TheHotkeyIsBoundThroughThePortalAndEachPressRunsTheCommand)
{
    CFakeShortcutsPortal portal(m_bus->Connect());
    QWidget window;
    int runs = 0;
    CHotkeyRegistration reg(&window, [&] { ++runs; });
    QSignalSpy unavailable(&reg, &CHotkeyRegistration::unavailable);
    reg.UsePortal(ClientPortal());
    reg.SetHotkey('A', 5);
    reg.Register(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reg.Registered() != 0; }, kHangGuardMs));
    ASSERT_EQ(portal.Bindings().size(), 1u);
    EXPECT_EQ(portal.Bindings()[0].id, QStringLiteral("auto"));
    EXPECT_EQ(portal.Bindings()[0].trigger, QStringLiteral("CTRL+SHIFT+a"));
    EXPECT_FALSE(portal.Bindings()[0].description.isEmpty());
    EXPECT_TRUE(reg.CanRegister());

    portal.Press(QStringLiteral("auto"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs == 1; }, kHangGuardMs));
    portal.Press(QStringLiteral("something-else"));
    portal.Press(QStringLiteral("auto"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs == 2; }, kHangGuardMs));

    // The dialog: given up while it is open, bound again (a new session)
    // when it is cancelled.
    reg.SetDialogRunner([&](std::uint8_t&, std::uint8_t&) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return portal.ClosedSessions().size() == 1; },
                                    kHangGuardMs));
        portal.Press(QStringLiteral("auto"));  // a press while it is open does nothing
        QTest::qWait(50);
        return false;
    });
    EXPECT_FALSE(reg.RunDialog(&window, nullptr));
    EXPECT_EQ(portal.ClosedSessions().value(0), portal.Bindings()[0].session);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reg.Registered() != 0; }, kHangGuardMs));
    ASSERT_EQ(portal.Bindings().size(), 2u);
    portal.Press(QStringLiteral("auto"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs == 3; }, kHangGuardMs));

    reg.Register(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal.ClosedSessions().size() == 2; }, kHangGuardMs));
    portal.Press(QStringLiteral("auto"));
    QTest::qWait(100);
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(unavailable.count(), 0);
}

TEST_F(HotkeyPortalTest, ARefusedBindingRegistersNothing)
{
    CFakeShortcutsPortal portal(m_bus->Connect());
    portal.SetBindResponse(1);  // the user said no
    QWidget window;
    CHotkeyRegistration reg(&window, [] {});
    QSignalSpy refused(&reg, &CHotkeyRegistration::refused);
    reg.UsePortal(ClientPortal());
    reg.SetHotkey('K', 4);
    reg.Register(true);
    ASSERT_TRUE(refused.wait(kHangGuardMs) || refused.count() > 0);
    EXPECT_EQ(reg.Registered(), 0);
    EXPECT_TRUE(portal.Bindings().empty());
}

// A Wayland desktop without the service: the window says so once in the log
// (the hotkey is on), and greys "使用热键" with the reason.
class HotkeyPortalWindowTest : public CWindowTestRig {};

TEST_F(HotkeyPortalWindowTest, WithoutTheServiceTheItemIsGreyedAndTheLogSaysSoOnce)
{
    if (!CPrivateSessionBus::DaemonAvailable())
        GTEST_SKIP() << "dbus-daemon is not installed (Debian: dbus)";
    CPrivateSessionBus bus;  // no portal on it
    ASSERT_TRUE(bus.IsRunning());
    auto dlg = Open();
    ASSERT_EQ(dlg->SettingsGrid().HotkeyOn(), 1);
    const int linesBefore = dlg->LogList()->count();
    dlg->Hotkey().UsePortal(std::make_unique<CGlobalShortcutsPortal>(bus.Connect()));
    dlg->Hotkey().Register(true);

    CPropertyGridItem* item = dlg->SettingsGrid().HotkeyOnItem();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !item->IsEnabled(); }, kHangGuardMs));
    EXPECT_TRUE(item->Description().contains(QStringLiteral("Wayland")));
    // The registration's own failure is the same news: not said again.
    dlg->Hotkey().Register(true);
    QTest::qWait(200);
    const QStringList added = Log(*dlg).mid(linesBefore);
    ASSERT_EQ(added.size(), 1) << added.join('\n').toStdString();
    EXPECT_EQ(added[0], item->Description());
    EXPECT_FALSE(dlg->Hotkey().CanRegister());
    EXPECT_EQ(dlg->Hotkey().Registered(), 0);
    EXPECT_FALSE(dlg->Grid()->EditValueAsUser(item, QStringLiteral("False")));
}

}  // namespace
