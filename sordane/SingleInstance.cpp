#include "sordane/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace {

// A Sordane that holds the lock listens within microseconds of taking it;
// this covers two started at once, not a hung one.
constexpr int kConnectTries = 40;
constexpr int kConnectPauseMs = 50;
constexpr int kWriteWaitMs = 1000;

// The lock and the socket of one catalogue file (a socket path must stay
// short: a hash of the file's name, not the name).
QString BaseName(const QString& key)
{
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256);
    return QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation))
        .filePath(QStringLiteral("sordane-") + QString::fromLatin1(hash.toHex().left(16)));
}

}  // namespace

CSingleInstance::CSingleInstance(QObject* parent) : QObject(parent) {}

CSingleInstance::~CSingleInstance()
{
    Release();
}

QString CSingleInstance::FileKey(const QString& path)
{
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    // Not there yet (a new catalogue): its folder resolved, then its name.
    const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
    return QDir::cleanPath((folder.isEmpty() ? file.absolutePath() : folder) + QLatin1Char('/')
                           + file.fileName());
}

void CSingleInstance::Release()
{
    if (m_pServer) {
        m_pServer->close();
        delete m_pServer;
        m_pServer = nullptr;
    }
    m_pLock.reset();
    m_strClaimed.clear();
}

CSingleInstance::Claim CSingleInstance::ClaimFile(const QString& path)
{
    const QString key = FileKey(path);
    if (key == m_strClaimed && m_pLock)
        return Claim::Ours;

    const QString base = BaseName(key);
    auto lock = std::make_unique<QLockFile>(base + QStringLiteral(".lock"));
    // Held for as long as the file is edited, however long that is: only a
    // holder that is gone makes a lock stale.
    lock->setStaleLockTime(0);
    const QString socketPath = base + QStringLiteral(".socket");
    if (!lock->tryLock(0))
        return AskOtherToRaise(socketPath) ? Claim::RaisedOther : Claim::HeldByOther;

    Release();
    m_pLock = std::move(lock);
    m_strClaimed = key;
    // A socket left by a Sordane that died is in the way; the lock says
    // none is listening on it now.
    QLocalServer::removeServer(socketPath);
    m_pServer = new QLocalServer(this);
    m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_pServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_pServer->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromServer();
            emit activateRequested();
        }
    });
    // Without the socket the file is still ours; a second Sordane then
    // finds the lock and says that this one has the file.
    m_pServer->listen(socketPath);
    return Claim::Ours;
}

bool CSingleInstance::AskOtherToRaise(const QString& socketPath) const
{
    for (int attempt = 0; attempt < kConnectTries; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(kWriteWaitMs)) {
            socket.write("raise\n");
            socket.waitForBytesWritten(kWriteWaitMs);
            socket.disconnectFromServer();
            return true;
        }
        QThread::msleep(kConnectPauseMs);
    }
    return false;
}
