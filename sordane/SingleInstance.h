#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

// One Sordane per catalogue file: the first one to claim a file holds a lock
// named after it and listens beside it; a second one asks that one to come
// to the front instead of opening the file again, so two editors never
// overwrite each other's additions. Lock and socket live in the user's
// runtime folder, out of other users' reach; the lock of a Sordane that died
// is taken over.
class CSingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Claim {
        Ours,        // this Sordane edits the file now
        RaisedOther, // another one edits it and was asked to come forward
        HeldByOther, // another one edits it and did not answer
    };

    explicit CSingleInstance(QObject* parent = nullptr);
    ~CSingleInstance() override;

    // Claims path; the file claimed before is given up once path is ours,
    // and kept when another Sordane has path.
    Claim ClaimFile(const QString& path);
    // The file claimed now; empty when none.
    const QString& ClaimedFile() const { return m_strClaimed; }

    // What names a catalogue file: links and "." and ".." resolved, so each
    // spelling of one file meets the same lock.
    static QString FileKey(const QString& path);

signals:
    // Another Sordane was started for the file this one edits.
    void activateRequested();

private:
    void Release();
    bool AskOtherToRaise(const QString& socketPath) const;

    QString m_strClaimed;
    std::unique_ptr<QLockFile> m_pLock;
    QLocalServer* m_pServer = nullptr;
};
