#pragma once

#include <QObject>

#include <optional>
#include <string>

class CProgrammerSession;
class QMimeData;
class QWidget;

// Lets the user drop an image file onto the main window: the drop is a Load
// file command for that path. It is refused, as the button's click would be,
// while the Load file button is not accepting; a dropped file joins the
// recent list like one chosen in the open dialog.
class CFileDropLoader : public QObject {
    Q_OBJECT

public:
    // Watches window's drag and drop events; recentIniPath is where the
    // recent list is kept.
    CFileDropLoader(QWidget* window, CProgrammerSession& session, std::string recentIniPath);

    // The one local file a drag carries; nullopt for anything else (several
    // files, a folder, a web address, text).
    static std::optional<std::string> DroppedFile(const QMimeData* mime);

    // Loads path as the Load file command would. false when refused (the
    // button is not accepting) or the file could not be loaded.
    bool LoadFile(const std::string& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_pWindow;
    CProgrammerSession& m_session;
    std::string m_strRecentIni;
};
