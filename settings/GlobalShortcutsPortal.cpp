#include "settings/GlobalShortcutsPortal.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <unistd.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// One entry of BindShortcuts' a(sa{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

// The XDG key names of the printable characters that are not letters or
// digits; anything else goes as itself.
struct KeyName {
    char key;
    const char* name;
};
constexpr KeyName kKeyNames[] = {
    {' ', "space"},      {'-', "minus"},     {'=', "equal"},        {'[', "bracketleft"},
    {']', "bracketright"}, {';', "semicolon"}, {'\'', "apostrophe"}, {',', "comma"},
    {'.', "period"},     {'/', "slash"},     {'\\', "backslash"},   {'`', "grave"},
};

// An answer that says the desktop has no such service at all, as opposed
// to one that turned this request down.
bool MeansNoService(const QDBusError& error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownProperty:
    case QDBusError::Disconnected:
    case QDBusError::NoServer:
    case QDBusError::NoReply:
    case QDBusError::Timeout:
        return true;
    default:
        return false;
    }
}

}  // namespace

Q_DECLARE_METATYPE(PortalShortcut)

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

CGlobalShortcutsPortal::CGlobalShortcutsPortal(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus))
{
    // The slots' types are looked up by name: known only once registered.
    qRegisterMetaType<QDBusObjectPath>();
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                  SLOT(OnActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

CGlobalShortcutsPortal::~CGlobalShortcutsPortal()
{
    Unbind();
    m_bus.disconnect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                     SLOT(OnActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

QString CGlobalShortcutsPortal::TriggerFor(std::uint8_t key, std::uint8_t mods)
{
    QString trigger;
    if (mods & 4)
        trigger += QStringLiteral("CTRL+");
    if (mods & 2)
        trigger += QStringLiteral("ALT+");
    if (mods & 1)
        trigger += QStringLiteral("SHIFT+");
    const char c = char(key);
    for (const KeyName& name : kKeyNames)
        if (name.key == c)
            return trigger + QLatin1String(name.name);
    // Key names of letters are lower case; Shift is a modifier of its own.
    return trigger + QChar(QLatin1Char(c)).toLower();
}

QString CGlobalShortcutsPortal::NewToken()
{
    return QStringLiteral("tamberlink_%1_%2").arg(::getpid()).arg(++m_nTokens);
}

QString CGlobalShortcutsPortal::RequestPathFor(const QString& token) const
{
    // The portal's rule: the caller's unique name without the ':' and with
    // '_' for each '.'.
    QString sender = m_bus.baseService();
    if (sender.startsWith(QLatin1Char(':')))
        sender.remove(0, 1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

void CGlobalShortcutsPortal::Probe()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (call->isError())
            emit unavailable(call->error().message());
        else
            emit available();
    });
}

void CGlobalShortcutsPortal::Bind(std::uint8_t key, std::uint8_t mods, const QString& description)
{
    Unbind();
    Request(QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), NewToken()}},
            [this, key, mods, description](const QVariantMap& results) {
                // A string by the portal's documentation, an object path
                // from some desktops.
                const QVariant handle = results.value(QStringLiteral("session_handle"));
                m_strSession = handle.canConvert<QDBusObjectPath>()
                    ? handle.value<QDBusObjectPath>().path()
                    : handle.toString();
                if (m_strSession.isEmpty()) {
                    emit refused();
                    return;
                }
                const QList<PortalShortcut> shortcuts{
                    {QLatin1String(kShortcutId),
                     {{QStringLiteral("description"), description},
                      {QStringLiteral("preferred_trigger"), TriggerFor(key, mods)}}}};
                Request(QStringLiteral("BindShortcuts"),
                        {QVariant::fromValue(QDBusObjectPath(m_strSession)),
                         QVariant::fromValue(shortcuts), QString()},
                        {}, [this](const QVariantMap&) {
                            m_bBound = true;
                            emit bound();
                        });
            });
}

void CGlobalShortcutsPortal::Unbind()
{
    ++m_nGeneration;
    StopListening();
    m_next = nullptr;
    m_bBound = false;
    if (m_strSession.isEmpty())
        return;
    // No answer is needed: the binding ends with its session.
    m_bus.send(QDBusMessage::createMethodCall(kService, m_strSession, kSessionInterface,
                                              QStringLiteral("Close")));
    m_strSession.clear();
}

void CGlobalShortcutsPortal::Request(const QString& method, QList<QVariant> arguments,
                                     QVariantMap options, Next next)
{
    const QString token = NewToken();
    options.insert(QStringLiteral("handle_token"), token);
    arguments << options;
    m_next = std::move(next);
    // Listening before the call: the response may come before its reply.
    ListenForResponse(RequestPathFor(token));
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    const quint64 generation = m_nGeneration;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation](QDBusPendingCallWatcher* finished) {
                OnCallFinished(finished, generation);
            });
}

void CGlobalShortcutsPortal::OnCallFinished(QDBusPendingCallWatcher* call, quint64 generation)
{
    call->deleteLater();
    if (generation != m_nGeneration)
        return;
    const QDBusPendingReply<QDBusObjectPath> reply = *call;
    if (reply.isError()) {
        StopListening();
        m_next = nullptr;
        if (MeansNoService(reply.error()))
            emit unavailable(reply.error().message());
        else
            emit refused();
        return;
    }
    // Older portals answer on a request path of their own choosing.
    if (reply.value().path() != m_strRequestPath)
        ListenForResponse(reply.value().path());
}

void CGlobalShortcutsPortal::ListenForResponse(const QString& requestPath)
{
    StopListening();
    m_strRequestPath = requestPath;
    m_bus.connect(kService, m_strRequestPath, kRequestInterface, QStringLiteral("Response"), this,
                  SLOT(OnResponse(uint, QVariantMap)));
}

void CGlobalShortcutsPortal::StopListening()
{
    if (m_strRequestPath.isEmpty())
        return;
    m_bus.disconnect(kService, m_strRequestPath, kRequestInterface, QStringLiteral("Response"),
                     this, SLOT(OnResponse(uint, QVariantMap)));
    m_strRequestPath.clear();
}

void CGlobalShortcutsPortal::OnResponse(uint response, const QVariantMap& results)
{
    StopListening();
    Next next = std::exchange(m_next, nullptr);
    // 1: the user cancelled, 2: the desktop ended it otherwise.
    if (response != 0) {
        emit refused();
        return;
    }
    if (next)
        next(results);
}

void CGlobalShortcutsPortal::OnActivated(const QDBusObjectPath& session, const QString& shortcutId,
                                         qulonglong, const QVariantMap&)
{
    if (m_bBound && session.path() == m_strSession && shortcutId == QLatin1String(kShortcutId))
        emit activated();
}
