#include "platform/x11/HotkeyHook.h"

#include <mutex>
#include <utility>

#if TAMBERLINK_HAVE_XCB

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

namespace {

constexpr xcb_keysym_t kKeysymNumLock = 0xff7f;
constexpr xcb_keysym_t kKeysymAltL = 0xffe9;

// The keysym of a registered character: letters are registered upper-case
// but the keyboard map lists them under their lower-case keysym first; the
// other printable ASCII characters are their own keysyms.
xcb_keysym_t KeysymForKey(std::uint8_t key)
{
    if (key >= 'A' && key <= 'Z')
        return xcb_keysym_t(key - 'A' + 'a');
    if (key >= 0x20 && key <= 0x7e)
        return key;
    return 0;
}

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbPtr = std::unique_ptr<T, FreeDeleter>;

}  // namespace

class CHotkeyHook::CConnection {
public:
    CConnection(Receiver receiver, const std::string& display) : m_receiver(std::move(receiver))
    {
        int screenNumber = 0;
        m_pConn = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
        if (xcb_connection_has_error(m_pConn)) {
            xcb_disconnect(m_pConn);
            m_pConn = nullptr;
            return;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_pConn));
        for (int i = 0; i < screenNumber && it.rem; ++i)
            xcb_screen_next(&it);
        m_root = it.data->root;

        // A window of our own, never shown: the destructor wakes the event
        // thread with a message to it.
        m_wakeWindow = xcb_generate_id(m_pConn);
        xcb_create_window(m_pConn, XCB_COPY_FROM_PARENT, m_wakeWindow, m_root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);

        m_pKeysyms = xcb_key_symbols_alloc(m_pConn);
        FindModifierMasks();
        xcb_flush(m_pConn);
        m_thread = std::thread([this] { Run(); });
    }

    ~CConnection()
    {
        if (!m_pConn)
            return;
        m_bStopping = true;
        xcb_client_message_event_t wake{};
        wake.response_type = XCB_CLIENT_MESSAGE;
        wake.format = 32;
        wake.window = m_wakeWindow;
        xcb_send_event(m_pConn, 0, m_wakeWindow, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&wake));
        xcb_flush(m_pConn);
        m_thread.join();

        for (const Registration& r : m_registrations)
            Ungrab(r);
        xcb_destroy_window(m_pConn, m_wakeWindow);
        xcb_key_symbols_free(m_pKeysyms);
        xcb_disconnect(m_pConn);
    }

    bool IsConnected() const { return m_pConn != nullptr; }

    int Add(WindowId window, std::uint8_t key, std::uint8_t mods)
    {
        if (!m_pConn || (mods & ~(kModShift | kModAlt | kModCtrl)) != 0)
            return 0;
        const xcb_keysym_t keysym = KeysymForKey(key);
        if (keysym == 0)
            return 0;

        const std::lock_guard lock(m_mutex);
        for (const Registration& r : m_registrations) {
            if (r.key == key && r.mods == mods)
                return r.window == window ? r.id : 0;
        }

        Registration reg{window, key, mods, 0, ServerModifiers(mods), {}};
        XcbPtr<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(m_pKeysyms, keysym));
        for (const xcb_keycode_t* code = codes.get(); code && *code != XCB_NO_SYMBOL; ++code)
            reg.keycodes.insert(*code);
        if (reg.keycodes.empty())
            return 0;
        // Two characters on one key with the same modifiers ('1' and '!'
        // with Shift): one grab cannot serve two registrations.
        for (const Registration& r : m_registrations) {
            if (r.state != reg.state)
                continue;
            for (xcb_keycode_t code : reg.keycodes)
                if (r.keycodes.count(code))
                    return 0;
        }

        // Caps Lock and Num Lock must not stop the hotkey: grab every
        // combination of them as well.
        std::vector<xcb_void_cookie_t> cookies;
        for (xcb_keycode_t code : reg.keycodes) {
            for (std::uint16_t extra : LockVariants())
                cookies.push_back(xcb_grab_key_checked(m_pConn, 1, m_root,
                                                       std::uint16_t(reg.state | extra), code,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
        bool grabbed = true;
        for (xcb_void_cookie_t cookie : cookies) {
            // Usually BadAccess: another program holds the combination.
            XcbPtr<xcb_generic_error_t> error(xcb_request_check(m_pConn, cookie));
            if (error)
                grabbed = false;
        }
        if (!grabbed) {
            Ungrab(reg);
            xcb_flush(m_pConn);
            return 0;
        }
        xcb_flush(m_pConn);
        reg.id = ++m_nLastId;
        m_registrations.push_back(reg);
        return reg.id;
    }

    void Delete(WindowId window, std::uint8_t key, std::uint8_t mods)
    {
        if (!m_pConn)
            return;
        const std::lock_guard lock(m_mutex);
        for (auto it = m_registrations.begin(); it != m_registrations.end(); ++it) {
            if (it->window == window && it->key == key && it->mods == mods) {
                Ungrab(*it);
                xcb_flush(m_pConn);
                m_registrations.erase(it);
                return;
            }
        }
    }

private:
    struct Registration {
        WindowId window;
        std::uint8_t key;
        std::uint8_t mods;
        int id;
        std::uint16_t state;  // the server's modifier mask for mods
        std::set<xcb_keycode_t> keycodes;
    };

    std::vector<std::uint16_t> LockVariants() const
    {
        const std::uint16_t caps = XCB_MOD_MASK_LOCK;
        return {0, caps, m_numLockMask, std::uint16_t(caps | m_numLockMask)};
    }

    std::uint16_t ServerModifiers(std::uint8_t mods) const
    {
        std::uint16_t state = 0;
        if (mods & kModShift)
            state |= XCB_MOD_MASK_SHIFT;
        if (mods & kModCtrl)
            state |= XCB_MOD_MASK_CONTROL;
        if (mods & kModAlt)
            state |= m_altMask;
        return state;
    }

    void Ungrab(const Registration& r)
    {
        for (xcb_keycode_t code : r.keycodes)
            for (std::uint16_t extra : LockVariants())
                xcb_ungrab_key(m_pConn, code, m_root, std::uint16_t(r.state | extra));
    }

    // Alt and Num Lock sit on whichever of Mod1..Mod5 the keyboard map puts
    // them; Mod1 and Mod2 are the usual places.
    void FindModifierMasks()
    {
        m_altMask = XCB_MOD_MASK_1;
        m_numLockMask = XCB_MOD_MASK_2;
        XcbPtr<xcb_get_modifier_mapping_reply_t> map(xcb_get_modifier_mapping_reply(
            m_pConn, xcb_get_modifier_mapping(m_pConn), nullptr));
        if (!map)
            return;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map.get());
        const int perModifier = map->keycodes_per_modifier;
        auto maskOf = [&](xcb_keysym_t keysym, std::uint16_t fallback) {
            XcbPtr<xcb_keycode_t> wanted(xcb_key_symbols_get_keycode(m_pKeysyms, keysym));
            if (!wanted)
                return fallback;
            for (int modifier = 3; modifier < 8; ++modifier) {  // Mod1..Mod5
                for (int i = 0; i < perModifier; ++i) {
                    const xcb_keycode_t code = codes[modifier * perModifier + i];
                    for (const xcb_keycode_t* w = wanted.get(); code && *w != XCB_NO_SYMBOL; ++w)
                        if (*w == code)
                            return std::uint16_t(1u << modifier);
                }
            }
            return fallback;
        };
        m_altMask = maskOf(kKeysymAltL, XCB_MOD_MASK_1);
        m_numLockMask = maskOf(kKeysymNumLock, XCB_MOD_MASK_2);
    }

    // The event thread. A held combination repeats as press after press (with
    // releases in between unless the server suppresses them); only the first
    // press of each physical press counts, so one press is one message.
    void Run()
    {
        std::set<xcb_keycode_t> down;
        xcb_keycode_t lastReleaseCode = 0;
        xcb_timestamp_t lastReleaseTime = 0;
        const std::uint16_t relevant =
            std::uint16_t(XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | m_altMask);

        while (XcbPtr<xcb_generic_event_t> event{xcb_wait_for_event(m_pConn)}) {
            const std::uint8_t type = event->response_type & 0x7f;
            if (type == XCB_CLIENT_MESSAGE && m_bStopping)
                return;
            if (type == XCB_KEY_RELEASE) {
                const auto* release = reinterpret_cast<xcb_key_release_event_t*>(event.get());
                down.erase(release->detail);
                lastReleaseCode = release->detail;
                lastReleaseTime = release->time;
                continue;
            }
            if (type != XCB_KEY_PRESS)
                continue;
            const auto* press = reinterpret_cast<xcb_key_press_event_t*>(event.get());
            const bool repeat = down.count(press->detail)
                || (press->detail == lastReleaseCode && press->time == lastReleaseTime);
            down.insert(press->detail);
            if (repeat)
                continue;
            Deliver(press->detail, std::uint16_t(press->state & relevant));
        }
        // The connection broke: no more events will come.
    }

    void Deliver(xcb_keycode_t code, std::uint16_t state)
    {
        // Under the lock: once DeleteHotkey returns, nothing more goes out
        // for its registration.
        const std::lock_guard lock(m_mutex);
        for (const Registration& r : m_registrations) {
            if (r.state == state && r.keycodes.count(code)) {
                if (m_receiver)
                    m_receiver(r.window, std::uintptr_t(r.id), kHotkeyLParam);
                return;
            }
        }
    }

    Receiver m_receiver;
    xcb_connection_t* m_pConn = nullptr;
    xcb_window_t m_root = 0;
    xcb_window_t m_wakeWindow = 0;
    xcb_key_symbols_t* m_pKeysyms = nullptr;
    std::uint16_t m_altMask = XCB_MOD_MASK_1;
    std::uint16_t m_numLockMask = XCB_MOD_MASK_2;

    std::mutex m_mutex;  // the registrations, and delivery against delete
    std::vector<Registration> m_registrations;
    int m_nLastId = 0;
    std::atomic<bool> m_bStopping{false};
    std::thread m_thread;
};

#else  // no xcb: a hook that never registers

class CHotkeyHook::CConnection {
public:
    CConnection(Receiver, const std::string&) {}
    bool IsConnected() const { return false; }
    int Add(WindowId, std::uint8_t, std::uint8_t) { return 0; }
    void Delete(WindowId, std::uint8_t, std::uint8_t) {}
};

#endif

CHotkeyHook::CHotkeyHook(Receiver receiver, const std::string& display)
    : m_pConnection(std::make_unique<CConnection>(std::move(receiver), display))
{
}

CHotkeyHook::~CHotkeyHook() = default;

bool CHotkeyHook::IsConnected() const
{
    return m_pConnection->IsConnected();
}

int CHotkeyHook::AddHotkey(WindowId window, std::uint8_t key, std::uint8_t mods)
{
    return m_pConnection->Add(window, key, mods);
}

void CHotkeyHook::DeleteHotkey(WindowId window, std::uint8_t key, std::uint8_t mods)
{
    m_pConnection->Delete(window, key, mods);
}
