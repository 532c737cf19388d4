#include "app/FileDropLoader.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <utility>

#include "app/core/ProgrammerSession.h"
#include "settings/core/RecentFileList.h"
#include "widgets/core/CommandButton.h"

CFileDropLoader::CFileDropLoader(QWidget* window, CProgrammerSession& session,
                                 std::string recentIniPath)
    : QObject(window), m_pWindow(window), m_session(session),
      m_strRecentIni(std::move(recentIniPath))
{
    m_pWindow->setAcceptDrops(true);
    m_pWindow->installEventFilter(this);
}

std::optional<std::string> CFileDropLoader::DroppedFile(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return std::nullopt;
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.constFirst().isLocalFile())
        return std::nullopt;
    const QString local = urls.constFirst().toLocalFile();
    if (local.isEmpty() || QFileInfo(local).isDir())
        return std::nullopt;
    return QFile::encodeName(local).toStdString();
}

bool CFileDropLoader::LoadFile(const std::string& path)
{
    if (!m_session.Button(kCmdLoadFile).IsAccepting())
        return false;
    CRecentFileList recent(m_strRecentIni);
    recent.Load();
    if (recent.Add(path))
        recent.Save();
    m_session.SetFilePath(path);
    return m_session.LoadImageFile() == 1;
}

bool CFileDropLoader::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_pWindow)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        // Offer the drop only for what a Load file could take, and only when
        // the command would be accepted now.
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (DroppedFile(drag->mimeData()) && m_session.Button(kCmdLoadFile).IsAccepting())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const std::optional<std::string> path = DroppedFile(drop->mimeData());
        if (!path) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        // The outcome is in the log, as for the button.
        LoadFile(*path);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
