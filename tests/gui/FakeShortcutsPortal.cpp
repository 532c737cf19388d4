#include "tests/gui/FakeShortcutsPortal.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDateTime>
#include <QStandardPaths>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

int g_nConnections = 0;

QVariantMap Options(const QVariant& argument)
{
    return qdbus_cast<QVariantMap>(argument.value<QDBusArgument>());
}

}  // namespace

bool CPrivateSessionBus::DaemonAvailable()
{
    return !QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty();
}

CPrivateSessionBus::CPrivateSessionBus()
{
    if (!DaemonAvailable())
        return;
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted(10000))
        return;
    // The address is its first line.
    while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
    }
    m_strAddress = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

CPrivateSessionBus::~CPrivateSessionBus()
{
    for (const QString& name : m_names)
        QDBusConnection::disconnectFromBus(name);
    m_daemon.kill();
    m_daemon.waitForFinished();
}

QDBusConnection CPrivateSessionBus::Connect()
{
    const QString name = QStringLiteral("tamberlink-test-%1").arg(++g_nConnections);
    m_names << name;
    return QDBusConnection::connectToBus(m_strAddress, name);
}

CFakeShortcutsPortal::CFakeShortcutsPortal(QDBusConnection connection)
    : m_connection(std::move(connection))
{
    m_connection.registerService(kService);
    m_connection.registerVirtualObject(kPath, this, QDBusConnection::SubPath);
}

CFakeShortcutsPortal::~CFakeShortcutsPortal()
{
    m_connection.unregisterObject(kPath, QDBusConnection::UnregisterTree);
    m_connection.unregisterService(kService);
}

std::vector<CFakeShortcutsPortal::Binding> CFakeShortcutsPortal::Bindings() const
{
    const std::lock_guard lock(m_mutex);
    return m_bindings;
}

QStringList CFakeShortcutsPortal::ClosedSessions() const
{
    const std::lock_guard lock(m_mutex);
    return m_closed;
}

void CFakeShortcutsPortal::SetBindResponse(uint code)
{
    const std::lock_guard lock(m_mutex);
    m_nBindResponse = code;
}

void CFakeShortcutsPortal::Press(const QString& id)
{
    QString session;
    {
        const std::lock_guard lock(m_mutex);
        if (!m_bindings.empty())
            session = m_bindings.back().session;
    }
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("Activated"));
    signal << QVariant::fromValue(QDBusObjectPath(session)) << id
           << qulonglong(QDateTime::currentMSecsSinceEpoch()) << QVariantMap();
    m_connection.send(signal);
}

QString CFakeShortcutsPortal::HandlePath(const QString& kind, const QString& sender,
                                         const QString& token)
{
    QString caller = sender.mid(sender.startsWith(QLatin1Char(':')) ? 1 : 0);
    caller.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPath + QLatin1Char('/') + kind + QLatin1Char('/') + caller + QLatin1Char('/') + token;
}

void CFakeShortcutsPortal::Respond(const QDBusConnection& connection, const QString& request,
                                   uint code, const QVariantMap& results) const
{
    QDBusMessage signal = QDBusMessage::createSignal(
        request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
    signal << code << results;
    connection.send(signal);
}

bool CFakeShortcutsPortal::handleMessage(const QDBusMessage& message,
                                         const QDBusConnection& connection)
{
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")
        && member == QLatin1String("Get") && args.size() == 2) {
        if (args[0].toString() == kInterface && args[1].toString() == QLatin1String("version"))
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
        else
            connection.send(message.createErrorReply(QDBusError::UnknownProperty, args[1].toString()));
        return true;
    }
    if (message.interface() == QLatin1String("org.freedesktop.portal.Session")
        && member == QLatin1String("Close")) {
        {
            const std::lock_guard lock(m_mutex);
            m_closed << message.path();
        }
        connection.send(message.createReply());
        return true;
    }
    if (message.interface() != kInterface)
        return false;

    if (member == QLatin1String("CreateSession") && message.signature() == QLatin1String("a{sv}")) {
        const QVariantMap options = Options(args[0]);
        const QString request =
            HandlePath(QStringLiteral("request"), message.service(), options.value("handle_token").toString());
        const QString session = HandlePath(QStringLiteral("session"), message.service(),
                                           options.value("session_handle_token").toString());
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        Respond(connection, request, 0, {{QStringLiteral("session_handle"), session}});
        return true;
    }
    if (member == QLatin1String("BindShortcuts")
        && message.signature() == QLatin1String("oa(sa{sv})sa{sv}")) {
        const QString session = args[0].value<QDBusObjectPath>().path();
        std::vector<Binding> bound;
        const QDBusArgument shortcuts = args[1].value<QDBusArgument>();
        shortcuts.beginArray();
        while (!shortcuts.atEnd()) {
            QString id;
            QVariantMap properties;
            shortcuts.beginStructure();
            shortcuts >> id >> properties;
            shortcuts.endStructure();
            bound.push_back({session, id, properties.value("preferred_trigger").toString(),
                             properties.value("description").toString()});
        }
        shortcuts.endArray();
        const QVariantMap options = Options(args[3]);
        const QString request =
            HandlePath(QStringLiteral("request"), message.service(), options.value("handle_token").toString());
        uint code = 0;
        {
            const std::lock_guard lock(m_mutex);
            code = m_nBindResponse;
            if (code == 0)
                m_bindings.insert(m_bindings.end(), bound.begin(), bound.end());
        }
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        Respond(connection, request, code, {});
        return true;
    }
    connection.send(message.createErrorReply(QDBusError::UnknownMethod, member));
    return true;
}

QString CFakeShortcutsPortal::introspect(const QString&) const
{
    return {};
}
