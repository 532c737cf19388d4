#pragma once

#include <QMainWindow>

class CCatalogueModel;
class CSingleInstance;
class QAction;
class QCloseEvent;
class QTableView;

// The catalogue editor's window: the records as a table, the file commands
// and the record commands (add, edit, move up/down, remove).
class CCatalogueEditor : public QMainWindow {
    Q_OBJECT

public:
    explicit CCatalogueEditor(QWidget* parent = nullptr);

    // Opens path; a file that does not exist yet starts an empty catalogue
    // to be saved there. False (with a message) when path cannot be read.
    bool OpenFile(const QString& path);

    CCatalogueModel* Model() const { return m_pModel; }
    QTableView* View() const { return m_pView; }

    // One editor per catalogue file: every file this window opens or saves
    // to is claimed there first, and the window comes to the front when
    // another Sordane is started for its file. Without one (tests) nothing
    // is claimed.
    void SetSingleInstance(CSingleInstance* instance);
    // Brings the window to the front, out of the task bar if minimised.
    void BringToFront();

    // Saves to the current file, as the menu's Save does; true when saved.
    bool Save() { return OnSave(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OnOpen();
    bool OnSave();
    bool OnSaveAs();
    void OnAdd();
    void OnEdit();
    void OnMoveUp();
    void OnMoveDown();
    void OnRemove();

    void CreateActions();
    int CurrentRow() const;
    void SelectRow(int row);
    void UpdateTitle();
    void UpdateActions();
    // Asks what to do with unsaved changes; false when the user cancels or
    // the save fails.
    bool MaybeSave();
    // The program folder's catalogue could not be written (an installed
    // program): saves the user's own copy instead, which the programmer reads
    // from then on, and says so.
    bool SaveUsersCopy();
    // Asks before a save overwrites what is in path; true to go on.
    bool ConfirmOverwrite(const QString& question);
    // Claims path for this window; false, with a message, when another
    // Sordane edits it.
    bool ClaimFile(const QString& path);

    CSingleInstance* m_pInstance = nullptr;
    CCatalogueModel* m_pModel = nullptr;
    QTableView* m_pView = nullptr;
    QAction* m_pEditAction = nullptr;
    QAction* m_pUpAction = nullptr;
    QAction* m_pDownAction = nullptr;
    QAction* m_pRemoveAction = nullptr;
};
