#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <string>

// Watches the device catalogue the window reads, so that a device saved in
// Sordane shows up without a restart: the file itself, the program folder,
// and the user's configuration folder where the user's own copy appears
// (or its nearest existing parent, while it does not exist yet). A save
// replaces the file by a rename, which a watch on the file alone misses.
class CCatalogueWatcher : public QObject {
    Q_OBJECT

public:
    // fixedPath: a catalogue named on the command line, the only file
    // watched then; empty: CataloguePath() as it changes.
    explicit CCatalogueWatcher(std::string fixedPath, QObject* parent = nullptr);

    // The catalogue to read now.
    std::string CurrentPath() const;

signals:
    // The catalogue to read is another file now, or its file was replaced
    // or written.
    void changed(const QString& path);

private:
    void Arm();
    void Check();
    // Path, inode, size and modification time: what a save changes.
    static std::string Fingerprint(const std::string& path);

    std::string m_strFixedPath;
    std::string m_strFingerprint;
    QFileSystemWatcher m_watcher;
    // A save is a few file system events in a row: one look after them.
    QTimer m_settle;
};
