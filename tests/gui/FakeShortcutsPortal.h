#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <mutex>
#include <vector>

// A D-Bus session bus of a test's own (dbus-daemon), so that nothing of the
// desktop the tests run on is reached.
class CPrivateSessionBus {
public:
    CPrivateSessionBus();
    ~CPrivateSessionBus();
    CPrivateSessionBus(const CPrivateSessionBus&) = delete;
    CPrivateSessionBus& operator=(const CPrivateSessionBus&) = delete;

    static bool DaemonAvailable();
    bool IsRunning() const { return !m_strAddress.isEmpty(); }
    // A new connection to the bus, under a name of its own.
    QDBusConnection Connect();

private:
    QProcess m_daemon;
    QString m_strAddress;
    QStringList m_names;
};

// The desktop's org.freedesktop.portal.GlobalShortcuts as its published
// interface gives it: CreateSession and BindShortcuts answer with a request
// handle at /org/freedesktop/portal/desktop/request/SENDER/TOKEN and then
// send Response(code, results) from that object; sessions live at
// .../session/SENDER/TOKEN and end with Session.Close; a press is the
// Activated(session, id, timestamp, options) signal.
class CFakeShortcutsPortal : public QDBusVirtualObject {
public:
    // Takes the portal's bus name and object on connection.
    explicit CFakeShortcutsPortal(QDBusConnection connection);
    ~CFakeShortcutsPortal() override;

    struct Binding {
        QString session;
        QString id;
        QString trigger;
        QString description;
    };
    std::vector<Binding> Bindings() const;
    QStringList ClosedSessions() const;
    // The response code BindShortcuts answers with: 0 bound, 1 the user
    // cancelled.
    void SetBindResponse(uint code);
    // Presses shortcut id of the session bound last.
    void Press(const QString& id);

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString& path) const override;

private:
    static QString HandlePath(const QString& kind, const QString& sender, const QString& token);
    void Respond(const QDBusConnection& connection, const QString& request, uint code,
                 const QVariantMap& results) const;

    QDBusConnection m_connection;
    mutable std::mutex m_mutex;
    std::vector<Binding> m_bindings;
    QStringList m_closed;
    uint m_nBindResponse = 0;
};
