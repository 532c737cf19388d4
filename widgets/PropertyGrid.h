#pragma once

#include <QColor>
#include <QHash>
#include <QWidget>

#include <memory>
#include <vector>

#include "widgets/PropertyGridItem.h"

class QLabel;
class QFrame;
class QTreeWidget;
class QTreeWidgetItem;

// A property grid: bold, expandable category rows and items in two columns
// (caption | value), with the selected item's caption and description in a
// pane at the bottom. Text items are edited through a drop-down of their
// constraints, bool items through a "True"/"False" drop-down (a double click
// flips them). Only the user's changes are reported, through notify().
class CPropertyGrid : public QWidget {
    Q_OBJECT

public:
    // Codes of notify().
    static constexpr int kNotifySelectionChanged = 2;
    static constexpr int kNotifyValueChanged = 3;

    explicit CPropertyGrid(QWidget* parent = nullptr);
    ~CPropertyGrid() override;

    // A category row, expanded, at the end of the grid.
    CPropertyGridItem* AddCategory(const QString& caption);
    // An item at the end of category (top level when category is nullptr).
    CPropertyGridItem* AddTextItem(CPropertyGridItem* category, const QString& caption,
                                   const QString& value);
    CPropertyGridItem* AddBoolItem(CPropertyGridItem* category, const QString& caption, bool on);

    // Colours as Windows COLORREF values (0x00BBGGRR): the description
    // pane's background and text, the grid lines and category rows, the
    // value area's background and the item text.
    void SetCustomColors(unsigned help, unsigned helpText, unsigned line, unsigned back,
                         unsigned text);
    static QColor FromColorRef(unsigned colorRef);
    QColor HelpBackColor() const { return m_crHelpBack; }
    QColor HelpTextColor() const { return m_crHelpText; }
    QColor LineColor() const { return m_crLine; }
    QColor BackColor() const { return m_crBack; }
    QColor TextColor() const { return m_crText; }

    // Sets value the way a user's pick in the editor does: refused (false,
    // nothing emitted) when the item does not accept it; emits notify(3)
    // when the value changed.
    bool EditValueAsUser(CPropertyGridItem* item, const QString& value);

    // Every item, categories included, in the order added.
    std::vector<CPropertyGridItem*> Items() const;
    // The first item with this caption that is not a category (or a
    // category when no item has it); nullptr when none.
    CPropertyGridItem* FindItem(const QString& caption) const;

    void SelectItem(CPropertyGridItem* item);
    CPropertyGridItem* SelectedItem() const;
    // What the description pane shows now.
    QString HelpCaption() const;
    QString HelpDescription() const;
    // The text shown in the value column for item (empty for categories).
    QString DisplayedValue(const CPropertyGridItem* item) const;
    bool IsExpanded(const CPropertyGridItem* category) const;

    QTreeWidget* Tree() const { return m_pTree; }
    CPropertyGridItem* ItemFromRow(const QTreeWidgetItem* row) const;

signals:
    void notify(int code, CPropertyGridItem* item);
    // An item's value editor is about to open: the last moment to bring its
    // list of values up to date.
    void aboutToEdit(CPropertyGridItem* item);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    friend class CPropertyGridItem;
    friend class CPropertyGridDelegate;

    CPropertyGridItem* AddItem(CPropertyGridItem::Kind kind, CPropertyGridItem* category,
                               const QString& caption, const QString& value);
    // An item's value or description changed: refresh its row and the pane.
    void ItemChanged(CPropertyGridItem* item);
    void ItemEnabledChanged(CPropertyGridItem* item);
    void UpdateHelp();
    void ApplyColors();
    // Captions get a little less than half the viewport's width.
    void FitCaptionColumn();
    void OnCurrentRowChanged();
    void OnRowClicked(QTreeWidgetItem* row);
    void OnRowDoubleClicked(QTreeWidgetItem* row, int column);

    QTreeWidget* m_pTree = nullptr;
    QFrame* m_pHelp = nullptr;
    QLabel* m_pHelpCaption = nullptr;
    QLabel* m_pHelpText = nullptr;

    std::vector<std::unique_ptr<CPropertyGridItem>> m_items;
    QHash<const CPropertyGridItem*, QTreeWidgetItem*> m_rows;

    QColor m_crHelpBack;
    QColor m_crHelpText;
    QColor m_crLine;
    QColor m_crBack;
    QColor m_crText;
};
