#pragma once

#include <QFileDialog>

#include <string>

#include "settings/core/RecentFileList.h"

class QLabel;
class QListWidget;
class QListWidgetItem;

// The open-file dialog of the Load file command: Qt's own file dialog with
// the list of the most recently loaded files below it, newest at the top.
// A double-click on the list takes that file at once; a file chosen either
// way becomes the newest entry of "LastFile.ini".
class CLastFileDialog : public QFileDialog {
    Q_OBJECT

public:
    // iniPath: where the recent list is kept.
    explicit CLastFileDialog(std::string iniPath, QWidget* parent = nullptr);

    // Name patterns of the image files the Load file command knows
    // ("*.bin", "*.hex"); any other file loads as a raw image.
    static QStringList LoadablePatterns();
    // The filter list: every loadable type first, so that a typed name of
    // any of them is taken, then the binary, Intel HEX and S-record entries.
    static QStringList NameFilters();

    // Shows the dialog modally. 1 when a file was chosen (the recent list is
    // then updated and saved), 0 when cancelled (the list is left as it was).
    int Run();
    // The chosen file (the newest entry of the list).
    const std::string& Path() const { return m_strPath; }
    // The chosen file's extension as written; empty when it has none.
    std::string Extension() const;

    // Whether the last Run ended by a double-click on the list.
    bool ChosenFromList() const { return m_bChosenFromList != 0; }
    QListWidget* RecentList() const { return m_pRecentList; }
    const CRecentFileList& Recent() const { return m_recent; }

private:
    void FillRecentList();
    void OnRecentDoubleClicked(QListWidgetItem* item);

    CRecentFileList m_recent;
    int m_bChosenFromList = 0;
    std::string m_strPath;
    QLabel* m_pRecentLabel = nullptr;
    QListWidget* m_pRecentList = nullptr;
};
