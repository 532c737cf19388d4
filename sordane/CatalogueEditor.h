#pragma once

#include <QMainWindow>

class CCatalogueModel;
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

    CCatalogueModel* m_pModel = nullptr;
    QTableView* m_pView = nullptr;
    QAction* m_pEditAction = nullptr;
    QAction* m_pUpAction = nullptr;
    QAction* m_pDownAction = nullptr;
    QAction* m_pRemoveAction = nullptr;
};
