#include "widgets/PropertyGridDelegate.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPainter>
#include <QTreeWidget>

#include "widgets/PropertyGrid.h"

CPropertyGridDelegate::CPropertyGridDelegate(CPropertyGrid& grid)
    : QStyledItemDelegate(&grid)
    , m_grid(grid)
{
}

CPropertyGridItem* CPropertyGridDelegate::ItemAt(const QModelIndex& index) const
{
    return m_grid.ItemFromRow(m_grid.Tree()->itemFromIndex(index));
}

void CPropertyGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);

    // The grid lines: under every row, and between caption and value.
    painter->save();
    painter->setPen(m_grid.LineColor());
    const QRect r = option.rect;
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    const CPropertyGridItem* item = ItemAt(index);
    if (index.column() == 0 && item && !item->IsCategory())
        painter->drawLine(r.topRight(), r.bottomRight());
    painter->restore();
}

QSize CPropertyGridDelegate::sizeHint(const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const
{
    // Room for the drop-down editor without clipping it.
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(qMax(size.height() + 4, option.fontMetrics.height() + 8));
    return size;
}

QWidget* CPropertyGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                             const QModelIndex& index) const
{
    CPropertyGridItem* item = ItemAt(index);
    if (!item || item->IsCategory() || index.column() != 1)
        return nullptr;
    emit m_grid.aboutToEdit(item);

    if (!item->Constraints().isEmpty()) {
        auto* combo = new QComboBox(parent);
        combo->addItems(item->Constraints());
        // Typed text is taken when the editor commits (setModelData).
        if (item->TakesTypedText()) {
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
        }
        // A pick is final and takes effect at once, as the toolkit's list
        // does: a window closed right after it must save the new value.
        // Only a pick is a change, not the list losing focus.
        auto* self = const_cast<CPropertyGridDelegate*>(this);
        CPropertyGrid* grid = &m_grid;
        connect(combo, &QComboBox::activated, self, [self, grid, item, combo](int picked) {
            const QString value = combo->itemText(picked);
            // The editor goes first, so that a handler may open a dialog
            // without the editor still open underneath it.
            emit self->closeEditor(combo);
            grid->EditValueAsUser(item, value);
        });
        return combo;
    }
    if (item->Flags() & CPropertyGridItem::kFlagHasEdit)
        return new QLineEdit(parent);
    return nullptr;
}

void CPropertyGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    const CPropertyGridItem* item = ItemAt(index);
    if (!item)
        return;
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        combo->setCurrentIndex(item->ConstraintIndex());
        if (combo->isEditable())
            combo->setEditText(item->Value());
    } else if (auto* edit = qobject_cast<QLineEdit*>(editor))
        edit->setText(item->Value());
}

void CPropertyGridDelegate::setModelData(QWidget* editor, QAbstractItemModel*,
                                         const QModelIndex& index) const
{
    CPropertyGridItem* item = ItemAt(index);
    if (!item)
        return;
    // A drop-down's pick was taken when it was made (createEditor); a
    // drop-down that takes typed text gives it here.
    auto* edit = qobject_cast<QLineEdit*>(editor);
    auto* combo = qobject_cast<QComboBox*>(editor);
    if (!edit && !(combo && combo->isEditable()))
        return;
    const QString value = edit ? edit->text() : combo->currentText().trimmed();
    // The grid shows the value itself; the model is not written here. The
    // change is reported once the editor is gone, so a handler may open a
    // dialog without the editor still committing underneath it.
    CPropertyGrid* grid = &m_grid;
    QMetaObject::invokeMethod(
        grid, [grid, item, value] { grid->EditValueAsUser(item, value); }, Qt::QueuedConnection);
}
