#include "app/CatalogueWatcher.h"

#include <QStringList>

#include <filesystem>
#include <sys/stat.h>

#include "platform/AppGlobals.h"

namespace {

constexpr int kSettleMs = 250;

QString ToQt(const std::string& text)
{
    return QString::fromStdString(text);
}

// The folder itself when it exists, else the nearest parent that does.
std::string ExistingFolder(std::filesystem::path folder)
{
    std::error_code error;
    while (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
        const std::filesystem::path parent = folder.parent_path();
        if (parent == folder)
            break;
        folder = parent;
    }
    return folder.string();
}

}  // namespace

CCatalogueWatcher::CCatalogueWatcher(std::string fixedPath, QObject* parent)
    : QObject(parent), m_strFixedPath(std::move(fixedPath))
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &CCatalogueWatcher::Check);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_settle, qOverload<>(&QTimer::start));
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle,
            qOverload<>(&QTimer::start));
    m_strFingerprint = Fingerprint(CurrentPath());
    Arm();
}

std::string CCatalogueWatcher::CurrentPath() const
{
    return m_strFixedPath.empty() ? CataloguePath() : m_strFixedPath;
}

std::string CCatalogueWatcher::Fingerprint(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return path + "|missing";
    return path + '|' + std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino) + '|'
        + std::to_string(info.st_size) + '|' + std::to_string(info.st_mtim.tv_sec) + '.'
        + std::to_string(info.st_mtim.tv_nsec);
}

void CCatalogueWatcher::Arm()
{
    const std::string current = CurrentPath();
    QStringList paths{ToQt(current)};
    paths << ToQt(ExistingFolder(std::filesystem::path(current).parent_path()));
    if (m_strFixedPath.empty()) {
        paths << ToQt(ProgramCataloguePath());
        const std::string own = UserCataloguePath();
        if (!own.empty())
            paths << ToQt(ExistingFolder(std::filesystem::path(own).parent_path()));
    }
    paths.removeDuplicates();
    // Watches of files replaced since are stale: start afresh each time.
    const QStringList old = m_watcher.files() + m_watcher.directories();
    if (!old.isEmpty())
        m_watcher.removePaths(old);
    for (const QString& path : paths) {
        std::error_code error;
        if (!path.isEmpty() && std::filesystem::exists(path.toStdString(), error))
            m_watcher.addPath(path);
    }
}

void CCatalogueWatcher::Check()
{
    Arm();
    const std::string current = CurrentPath();
    const std::string fingerprint = Fingerprint(current);
    if (fingerprint == m_strFingerprint)
        return;
    m_strFingerprint = fingerprint;
    emit changed(ToQt(current));
}
