#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QListWidget>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "settings/GlobalShortcutsPortal.h"
#include "settings/HotkeyRegistration.h"
#include "settings/SettingsGrid.h"
#include "tests/gui/WindowTestRig.h"
#include "tests/support/ChildProcess.h"
#include "widgets/PropertyGrid.h"

namespace {

constexpr int kWaitMs = 60000;  // hang guard only
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// A session bus of the test's own, so that no desktop is reached.
class CPrivateBus {
public:
    CPrivateBus() : m_daemon("dbus-daemon", {"--session", "--nofork", "--print-address=1"})
    {
        m_address = QString::fromStdString(m_daemon.ReadLine(kWaitMs)).trimmed();
    }
    ~CPrivateBus()
    {
        for (int i = 0; i < m_count; ++i)
            QDBusConnection::disconnectFromBus(m_address + QString::number(i));
    }
    QDBusConnection Connect()
    {
        return QDBusConnection::connectToBus(m_address, m_address + QString::number(m_count++));
    }
    bool IsRunning() const { return !m_address.isEmpty(); }

private:
    CChildProcess m_daemon;
    QString m_address;
    int m_count = 0;
};

// The desktop's GlobalShortcuts as its published interface has it: each
// call answers with a request handle .../request/SENDER/TOKEN and then a
// Response(code, results) signal from it; a session is .../session/SENDER/
// TOKEN and ends with Session.Close; a press is Activated(session, id, t, a{sv}).
class CFakePortal : public QDBusVirtualObject {
public:
    explicit CFakePortal(QDBusConnection bus) : m_bus(bus)
    {
        m_bus.registerService("org.freedesktop.portal.Desktop");
        m_bus.registerVirtualObject(kPortalPath, this, QDBusConnection::SubPath);
    }
    ~CFakePortal() override { m_bus.unregisterObject(kPortalPath, QDBusConnection::UnregisterTree); }

    void Press(const QString& id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(kPortalPath, kShortcuts, "Activated");
        signal << QVariant::fromValue(QDBusObjectPath(Get(m_session))) << id << qulonglong(1)
               << QVariantMap();
        m_bus.send(signal);
    }
    QString Get(const QString& value) const
    {
        const std::lock_guard lock(m_mutex);
        return value;
    }
    QString m_session, m_trigger, m_closed;

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override
    {
        const std::lock_guard lock(m_mutex);
        const QList<QVariant> args = call.arguments();
        const QString caller = call.service().mid(1).replace('.', '_');
        const auto handle = [&](const char* kind, const QVariant& options, const char* key) {
            const QVariantMap map = qdbus_cast<QVariantMap>(options.value<QDBusArgument>());
            return kPortalPath + '/' + kind + '/' + caller + '/' + map.value(key).toString();
        };
        const auto respond = [&](const QString& request, uint code, const QVariantMap& results) {
            bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
            QDBusMessage signal =
                QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response");
            bus.send(signal << code << results);
        };
        if (call.member() == "Get" && args.value(0) == kShortcuts) {
            bus.send(call.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
        } else if (call.member() == "Close") {
            m_closed = call.path();
            bus.send(call.createReply());
        } else if (call.member() == "CreateSession" && call.signature() == "a{sv}") {
            m_session = handle("session", args[0], "session_handle_token");
            respond(handle("request", args[0], "handle_token"), 0, {{"session_handle", m_session}});
        } else if (call.member() == "BindShortcuts" && call.signature() == "oa(sa{sv})sa{sv}") {
            const QDBusArgument shortcuts = args[1].value<QDBusArgument>();
            QString id;
            QVariantMap properties;
            shortcuts.beginArray();
            shortcuts.beginStructure();
            shortcuts >> id >> properties;
            m_trigger = id + ' ' + properties.value("preferred_trigger").toString();
            respond(handle("request", args[3], "handle_token"), 0, {});
        } else {
            bus.send(call.createErrorReply(QDBusError::UnknownMethod, call.member()));
        }
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

private:
    QDBusConnection m_bus;
    mutable std::mutex m_mutex;
};

class HotkeyPortalTest : public CWindowTestRig {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed (Debian: dbus)";
        CWindowTestRig::SetUp();
        ASSERT_TRUE(m_bus.IsRunning());
    }
    CPrivateBus m_bus;
};

// Where the desktop offers the service the hotkey is bound through it, and
// each press of it is one Auto run, until it is given up.
TEST_F(HotkeyPortalTest, TheHotkeyIsBoundThroughThePortalAndEachPressCounts)
{
    EXPECT_EQ(CGlobalShortcutsPortal::TriggerFor('A', 5), "CTRL+SHIFT+a");
    EXPECT_EQ(CGlobalShortcutsPortal::TriggerFor('-', 2), "ALT+minus");
    CFakePortal portal(m_bus.Connect());
    QWidget window;
    int runs = 0;
    CHotkeyRegistration reg(&window, [&] { ++runs; });
    reg.UsePortal(std::make_unique<CGlobalShortcutsPortal>(m_bus.Connect()));
    reg.SetHotkey('Q', 6);
    reg.Register(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reg.Registered() != 0; }, kWaitMs));
    EXPECT_EQ(portal.Get(portal.m_trigger), "auto CTRL+ALT+q");

    portal.Press("another");
    portal.Press("auto");
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs == 1; }, kWaitMs));
    reg.Register(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !portal.Get(portal.m_closed).isEmpty(); }, kWaitMs));
    EXPECT_EQ(portal.Get(portal.m_closed), portal.Get(portal.m_session));
    portal.Press("auto");
    QTest::qWait(100);
    EXPECT_EQ(runs, 1);
}

// A Wayland desktop without the service: "使用热键" is greyed with the
// reason, and the log says so once (the hotkey is on).
TEST_F(HotkeyPortalTest, WithoutTheServiceTheItemIsGreyedAndTheLogSaysSoOnce)
{
    auto dlg = Open();
    const int lines = dlg->LogList()->count();
    dlg->Hotkey().UsePortal(std::make_unique<CGlobalShortcutsPortal>(m_bus.Connect()));
    dlg->Hotkey().Register(true);
    CPropertyGridItem* item = dlg->SettingsGrid().HotkeyOnItem();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !item->IsEnabled(); }, kWaitMs));
    dlg->Hotkey().Register(true);  // its failure is the same news
    QTest::qWait(200);
    EXPECT_EQ(Log(*dlg).mid(lines), QStringList{item->Description()});
    EXPECT_TRUE(item->Description().contains("Wayland"));
    EXPECT_FALSE(dlg->Hotkey().CanRegister());
}

}  // namespace
