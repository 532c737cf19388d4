#include "settings/HotkeyRegistration.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QMetaObject>
#include <QWidget>

#include "platform/x11/HotkeyHook.h"
#include "settings/GlobalShortcutsPortal.h"
#include "settings/HotkeyDlg.h"

CHotkeyRegistration::CHotkeyRegistration(QWidget* window, std::function<void()> onHotkey,
                                         std::optional<std::string> display)
    : m_pWindow(window), m_onHotkey(std::move(onHotkey))
{
    const QString platform = QGuiApplication::platformName();
    if (!display && platform != QLatin1String("offscreen") && IsWaylandSession()) {
        UsePortal(std::make_unique<CGlobalShortcutsPortal>(QDBusConnection::sessionBus()));
        return;
    }
    // Grabs on the X server only reach a window that lives there; offscreen
    // there is nothing to register with.
    if (!display && platform != QLatin1String("xcb"))
        return;
    auto receiver = [this](CHotkeyHook::WindowId, std::uintptr_t wParam, std::intptr_t lParam) {
        // From the hook's thread to ours. A press that was on its way while
        // the registration ended is dropped there.
        QMetaObject::invokeMethod(
            this,
            [this, wParam, lParam] {
                if (m_nRegistered == 0 || wParam != std::uintptr_t(m_nRegistered))
                    return;
                OnHotkeyMessage(wParam, lParam);
            },
            Qt::QueuedConnection);
    };
    m_pHook = std::make_unique<CHotkeyHook>(receiver, display.value_or(std::string()));
}

CHotkeyRegistration::~CHotkeyRegistration()
{
    Register(false);
}

bool CHotkeyRegistration::IsWaylandSession()
{
    const QByteArray type = qgetenv("XDG_SESSION_TYPE");
    return !qgetenv("WAYLAND_DISPLAY").isEmpty() || type == "wayland"
        || QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void CHotkeyRegistration::UsePortal(std::unique_ptr<CGlobalShortcutsPortal> portal)
{
    Register(false);
    m_pHook.reset();
    m_pPortal = std::move(portal);
    if (!m_pPortal)
        return;
    connect(m_pPortal.get(), &CGlobalShortcutsPortal::unavailable, this,
            &CHotkeyRegistration::OnUnavailable);
    connect(m_pPortal.get(), &CGlobalShortcutsPortal::bound, this, [this] { m_nRegistered = 1; });
    connect(m_pPortal.get(), &CGlobalShortcutsPortal::refused, this, [this] {
        m_nRegistered = 0;
        emit refused();
    });
    // A press of the bound shortcut is this program's hotkey message.
    connect(m_pPortal.get(), &CGlobalShortcutsPortal::activated, this, [this] {
        if (m_nRegistered != 0)
            OnHotkeyMessage(std::uintptr_t(m_nRegistered), CHotkeyHook::kHotkeyLParam);
    });
    m_pPortal->Probe();
}

void CHotkeyRegistration::OnUnavailable(const QString& reason)
{
    m_nRegistered = 0;
    if (m_bUnavailable)
        return;
    m_bUnavailable = true;
    emit unavailable(reason);
}

bool CHotkeyRegistration::CanRegister() const
{
    return (m_pHook && m_pHook->IsConnected()) || (m_pPortal && !m_bUnavailable);
}

std::uintptr_t CHotkeyRegistration::WindowId() const
{
    // The hook only needs a value that stays the window's for its lifetime;
    // the native id would force a native window where there may be none.
    return reinterpret_cast<std::uintptr_t>(m_pWindow);
}

void CHotkeyRegistration::SetHotkey(std::uint8_t key, std::uint8_t mods)
{
    m_byKey = key;
    m_byMods = mods;
}

void CHotkeyRegistration::Register(bool on)
{
    if (m_pPortal) {
        // The desktop answers later: the flag is set when it has bound it.
        m_nRegistered = 0;
        if (on)
            m_pPortal->Bind(m_byKey, m_byMods, tr("Tamberlink: 自动完成"));
        else
            m_pPortal->Unbind();
        return;
    }
    if (on) {
        // A failed registration is not reported: the flag stays 0.
        m_nRegistered = m_pHook ? m_pHook->AddHotkey(WindowId(), m_byKey, m_byMods) : 0;
        return;
    }
    if (m_nRegistered != 0 && m_pHook)
        m_pHook->DeleteHotkey(WindowId(), m_byKey, m_byMods);
    m_nRegistered = 0;
}

bool CHotkeyRegistration::RunDialog(QWidget* parent, IMessageSink* messages)
{
    // Unregistered while the dialog is open: pressing the old combination
    // there must not start a run, and the old key must be deleted with the
    // values it was registered with.
    Register(false);
    std::uint8_t key = m_byKey;
    std::uint8_t mods = m_byMods;
    bool ok = false;
    if (m_runDialog) {
        ok = m_runDialog(key, mods);
    } else {
        CHotkeyDlg dialog(parent, messages);
        dialog.SetHotkey(key, mods);
        ok = dialog.exec() == QDialog::Accepted;
        key = dialog.Key();
        mods = dialog.Mods();
    }
    if (ok)
        SetHotkey(key, mods);
    Register(true);
    return ok;
}

void CHotkeyRegistration::OnHotkeyMessage(std::uintptr_t, std::intptr_t lParam)
{
    if (lParam == CHotkeyHook::kHotkeyLParam && m_onHotkey)
        m_onHotkey();
}
