#pragma once

#include <QStyledItemDelegate>

class CPropertyGrid;
class CPropertyGridItem;

// Draws the grid lines of a CPropertyGrid and edits the value column: a
// drop-down of the item's allowed values, or a line edit for a free-text
// item. A pick goes back through the grid as the user's change.
class CPropertyGridDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit CPropertyGridDelegate(CPropertyGrid& grid);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

private:
    CPropertyGridItem* ItemAt(const QModelIndex& index) const;

    CPropertyGrid& m_grid;
};
