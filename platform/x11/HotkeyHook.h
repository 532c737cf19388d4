#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The system-wide hotkey service: a window registers a key together with a
// modifier mask, and every press of that combination anywhere on the desktop
// becomes one hotkey message for the window, until the window deletes it.
//
// Built on passive key grabs of the X server (its own connection, so it does
// not care which toolkit draws the window). Where no X server can be reached
// (no DISPLAY, a Wayland session without XWayland, a build without xcb)
// AddHotkey returns 0, exactly as a combination that another program holds.
class CHotkeyHook {
public:
    // Any value that names a window to its owner; the hook only compares it.
    using WindowId = std::uintptr_t;
    // Receives (window, wParam, lParam) on the hook's own event thread: the
    // receiver must hand the message over to its own thread and return.
    // wParam is the registration's id, lParam always kHotkeyLParam.
    using Receiver = std::function<void(WindowId window, std::uintptr_t wParam,
                                        std::intptr_t lParam)>;

    static constexpr unsigned kWmHotkey = 0x0312;
    static constexpr std::intptr_t kHotkeyLParam = 0x100;

    // Modifier bits of a registration.
    enum Modifier : std::uint8_t {
        kModShift = 0x01,
        kModAlt = 0x02,
        kModCtrl = 0x04,
    };

    // Connects to display (empty: $DISPLAY). Without a reachable server the
    // hook exists but registers nothing.
    explicit CHotkeyHook(Receiver receiver, const std::string& display = {});
    ~CHotkeyHook();

    CHotkeyHook(const CHotkeyHook&) = delete;
    CHotkeyHook& operator=(const CHotkeyHook&) = delete;

    bool IsConnected() const;

    // Registers the key (an upper-case character code; letters, digits and
    // the other printable ASCII characters) with the modifier mask for the
    // window. Non-zero (the registration's id) on success; 0 when there is no
    // X server, the key has no key on the keyboard, the mask has bits outside
    // Shift/Alt/Ctrl, or the combination is held by another window or
    // program. Registering the same window, key and mask again returns the
    // same id and still gives one message per press.
    int AddHotkey(WindowId window, std::uint8_t key, std::uint8_t mods);
    // Ends a registration made with the same three values. No message for it
    // is delivered once this returns. Unknown combinations are ignored.
    void DeleteHotkey(WindowId window, std::uint8_t key, std::uint8_t mods);

private:
    class CConnection;
    std::unique_ptr<CConnection> m_pConnection;
};
