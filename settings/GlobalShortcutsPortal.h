#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <functional>

class QDBusPendingCallWatcher;

// The hotkey where no program may grab keys itself (a Wayland session): the
// desktop's XDG portal service org.freedesktop.portal.GlobalShortcuts
// (KDE Plasma, GNOME 48 and later) binds it for us and says when it is
// pressed. Every call is asynchronous, in the portal's request and response
// pattern: the window never waits on the desktop, which may first ask the
// user to confirm.
class CGlobalShortcutsPortal : public QObject {
    Q_OBJECT

public:
    // The one shortcut this program binds.
    static constexpr const char* kShortcutId = "auto";

    // bus: the session bus where the desktop's portal lives (tests: a
    // private one).
    explicit CGlobalShortcutsPortal(QDBusConnection bus, QObject* parent = nullptr);
    ~CGlobalShortcutsPortal() override;

    // Asks whether the desktop offers the service: answered by available()
    // or unavailable() (which a Bind on a desktop without it answers too).
    void Probe();
    // Binds key (an upper-case character) with the modifier mask (1 Shift,
    // 2 Alt, 4 Ctrl) in a session of its own, replacing a binding made
    // before: answered by bound() or refused(), or unavailable() when there
    // is no such service.
    void Bind(std::uint8_t key, std::uint8_t mods, const QString& description);
    // Ends the binding (closes the session); an answer still on its way for
    // it is dropped.
    void Unbind();
    bool IsBound() const { return m_bBound; }

    // The shortcut as the portal's preferred trigger names it ("CTRL+SHIFT+a").
    static QString TriggerFor(std::uint8_t key, std::uint8_t mods);

signals:
    void available();
    void unavailable(const QString& reason);
    void bound();
    void refused();
    // The bound shortcut was pressed.
    void activated();

private slots:
    void OnResponse(uint response, const QVariantMap& results);
    void OnActivated(const QDBusObjectPath& session, const QString& shortcutId,
                     qulonglong timestamp, const QVariantMap& options);

private:
    using Next = std::function<void(const QVariantMap& results)>;
    // Calls method of the GlobalShortcuts interface with a fresh request
    // token put into the options (the last argument); next runs on its
    // successful response.
    void Request(const QString& method, QList<QVariant> arguments, QVariantMap options, Next next);
    void ListenForResponse(const QString& requestPath);
    void StopListening();
    void OnCallFinished(QDBusPendingCallWatcher* call, quint64 generation);
    QString RequestPathFor(const QString& token) const;
    QString NewToken();

    QDBusConnection m_bus;
    quint64 m_nGeneration = 0;  // a Bind or Unbind makes older answers stale
    quint64 m_nTokens = 0;
    QString m_strRequestPath;   // the request whose response is awaited
    Next m_next;
    QString m_strSession;       // the session of the binding
    bool m_bBound = false;
};
