#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class CGlobalShortcutsPortal;
class CHotkeyHook;
class IMessageSink;
class QWidget;

// The main window's side of the global hotkey: keeps the combination,
// registers and unregisters it for the window, runs the hotkey dialog and
// turns each hotkey message into a call on the window's thread.
class CHotkeyRegistration : public QObject {
    Q_OBJECT

public:
    // Answers the hotkey dialog without showing it (tests): returns true for
    // OK with key and mods changed, false for Cancel.
    using DialogRunner = std::function<bool(std::uint8_t& key, std::uint8_t& mods)>;

    // onHotkey runs on this object's thread for each accepted hotkey
    // message. display: the X display to grab keys on; nullopt takes
    // $DISPLAY when the window itself runs on X. In a Wayland session no
    // program may grab keys: the desktop's global shortcuts portal on the
    // session bus is used instead, and where there is none, unavailable()
    // says so. Offscreen nothing can be registered.
    CHotkeyRegistration(QWidget* window, std::function<void()> onHotkey,
                        std::optional<std::string> display = std::nullopt);
    ~CHotkeyRegistration() override;

    // Whether the desktop session is a Wayland one (whatever platform the
    // window itself runs on: under XWayland a grab still sees only the keys
    // sent to X windows).
    static bool IsWaylandSession();
    // Registers through portal from now on, instead of the X server (the
    // window on a Wayland session; tests with a private bus). Asks the
    // desktop at once whether it offers the service.
    void UsePortal(std::unique_ptr<CGlobalShortcutsPortal> portal);

    void SetHotkey(std::uint8_t key, std::uint8_t mods);
    std::uint8_t Key() const { return m_byKey; }
    std::uint8_t Mods() const { return m_byMods; }

    // on: registers the current combination (even when one is registered)
    // and keeps the result. off: deletes the registration if there is one.
    void Register(bool on);
    // The last registration's result; 0 = none. Through the portal it is
    // known once the desktop has answered (the user may have to agree).
    int Registered() const { return m_nRegistered; }
    bool CanRegister() const;

    // The "use hotkey" switch: unregisters, shows the dialog pre-filled,
    // takes its combination on OK and registers again either way. true on
    // OK.
    bool RunDialog(QWidget* parent, IMessageSink* messages);
    void SetDialogRunner(DialogRunner runner) { m_runDialog = std::move(runner); }

    // The window's check of a hotkey message: lParam exactly 0x100 runs the
    // hotkey's command; wParam is not looked at.
    void OnHotkeyMessage(std::uintptr_t wParam, std::intptr_t lParam);

signals:
    // The hotkey cannot work in this session (Wayland, and the desktop
    // offers no global shortcuts service); said once, with the reason.
    void unavailable(const QString& reason);
    // The desktop turned the registration down (the user cancelled it).
    void refused();

private:
    std::uintptr_t WindowId() const;
    void OnUnavailable(const QString& reason);

    QWidget* m_pWindow;
    std::function<void()> m_onHotkey;
    DialogRunner m_runDialog;
    std::uint8_t m_byKey = 0;
    std::uint8_t m_byMods = 0;
    int m_nRegistered = 0;
    bool m_bUnavailable = false;
    std::unique_ptr<CGlobalShortcutsPortal> m_pPortal;
    // Last: its event thread ends before the rest goes.
    std::unique_ptr<CHotkeyHook> m_pHook;
};
