#include "widgets/PropertyGrid.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "widgets/PropertyGridDelegate.h"

namespace {

// Where a row keeps the item it shows.
constexpr int kItemRole = Qt::UserRole + 1;
// The text of a disabled item, as Windows draws it.
const QColor kGreyText(0x6D, 0x6D, 0x6D);

} // namespace

CPropertyGrid::CPropertyGrid(QWidget* parent)
    : QWidget(parent)
    , m_crHelpBack(palette().color(QPalette::Window))
    , m_crHelpText(palette().color(QPalette::WindowText))
    , m_crLine(palette().color(QPalette::Mid))
    , m_crBack(palette().color(QPalette::Base))
    , m_crText(palette().color(QPalette::Text))
{
    m_pTree = new QTreeWidget(this);
    m_pTree->setColumnCount(2);
    m_pTree->setHeaderHidden(true);
    m_pTree->setRootIsDecorated(true);
    m_pTree->setIndentation(14);
    m_pTree->setUniformRowHeights(true);
    m_pTree->setAllColumnsShowFocus(true);
    m_pTree->setSelectionMode(QAbstractItemView::SingleSelection);
    // A click anywhere on a row opens its value's drop-down (OnRowClicked),
    // as in the toolkit; F2 on the value works too.
    m_pTree->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    m_pTree->header()->setStretchLastSection(true);
    m_pTree->setItemDelegate(new CPropertyGridDelegate(*this));
    m_pTree->viewport()->installEventFilter(this);

    m_pHelp = new QFrame(this);
    m_pHelp->setFrameShape(QFrame::Panel);
    m_pHelp->setFrameShadow(QFrame::Sunken);
    m_pHelp->setAutoFillBackground(true);
    m_pHelpCaption = new QLabel(m_pHelp);
    QFont bold = m_pHelpCaption->font();
    bold.setBold(true);
    m_pHelpCaption->setFont(bold);
    m_pHelpText = new QLabel(m_pHelp);
    m_pHelpText->setWordWrap(true);
    m_pHelpText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* helpLayout = new QVBoxLayout(m_pHelp);
    helpLayout->setContentsMargins(4, 3, 4, 3);
    helpLayout->setSpacing(2);
    helpLayout->addWidget(m_pHelpCaption);
    helpLayout->addWidget(m_pHelpText, 1);
    // Caption plus two lines of description.
    m_pHelp->setFixedHeight(fontMetrics().height() * 4 + 10);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(m_pTree, 1);
    layout->addWidget(m_pHelp);

    connect(m_pTree, &QTreeWidget::currentItemChanged, this, &CPropertyGrid::OnCurrentRowChanged);
    connect(m_pTree, &QTreeWidget::itemClicked, this, &CPropertyGrid::OnRowClicked);
    connect(m_pTree, &QTreeWidget::itemDoubleClicked, this, &CPropertyGrid::OnRowDoubleClicked);

    ApplyColors();
    UpdateHelp();
}

CPropertyGrid::~CPropertyGrid()
{
    // The tree goes first, while the items it points at still exist; its
    // teardown must not call back into this half-destroyed grid.
    disconnect(m_pTree, nullptr, this, nullptr);
    m_pTree->viewport()->removeEventFilter(this);
    delete m_pTree;
    m_pTree = nullptr;
    for (auto& item : m_items)
        item->m_pGrid = nullptr;
}

CPropertyGridItem* CPropertyGrid::AddItem(CPropertyGridItem::Kind kind,
                                          CPropertyGridItem* category, const QString& caption,
                                          const QString& value)
{
    // A parent from another grid would leave the row without a place.
    if (category && (category->m_pGrid != this || !m_rows.contains(category)))
        category = nullptr;

    std::unique_ptr<CPropertyGridItem> owned(
        new CPropertyGridItem(this, kind, category, caption, value));
    CPropertyGridItem* item = owned.get();
    m_items.push_back(std::move(owned));

    auto* row = new QTreeWidgetItem;
    row->setData(0, kItemRole, QVariant::fromValue(reinterpret_cast<quintptr>(item)));
    row->setText(0, caption);
    if (category) {
        category->m_children.push_back(item);
        m_rows.value(category)->addChild(row);
    } else {
        m_pTree->addTopLevelItem(row);
    }
    m_rows.insert(item, row);

    if (kind == CPropertyGridItem::Kind::Category) {
        row->setFirstColumnSpanned(true);
        QFont bold = m_pTree->font();
        bold.setBold(true);
        row->setFont(0, bold);
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        row->setBackground(0, m_crLine);
        row->setExpanded(true);
    } else {
        row->setText(1, value);
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
    }
    return item;
}

CPropertyGridItem* CPropertyGrid::AddCategory(const QString& caption)
{
    return AddItem(CPropertyGridItem::Kind::Category, nullptr, caption, QString());
}

CPropertyGridItem* CPropertyGrid::AddTextItem(CPropertyGridItem* category, const QString& caption,
                                              const QString& value)
{
    return AddItem(CPropertyGridItem::Kind::Text, category, caption, value);
}

CPropertyGridItem* CPropertyGrid::AddBoolItem(CPropertyGridItem* category, const QString& caption,
                                              bool on)
{
    return AddItem(CPropertyGridItem::Kind::Bool, category, caption,
                   on ? CPropertyGridItem::kTrue : CPropertyGridItem::kFalse);
}

QColor CPropertyGrid::FromColorRef(unsigned colorRef)
{
    return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

void CPropertyGrid::SetCustomColors(unsigned help, unsigned helpText, unsigned line, unsigned back,
                                    unsigned text)
{
    m_crHelpBack = FromColorRef(help);
    m_crHelpText = FromColorRef(helpText);
    m_crLine = FromColorRef(line);
    m_crBack = FromColorRef(back);
    m_crText = FromColorRef(text);
    ApplyColors();
}

void CPropertyGrid::ApplyColors()
{
    QPalette tree = m_pTree->palette();
    tree.setColor(QPalette::Base, m_crBack);
    tree.setColor(QPalette::AlternateBase, m_crBack);
    tree.setColor(QPalette::Text, m_crText);
    tree.setColor(QPalette::WindowText, m_crText);
    // Items that do not apply are drawn greyed, whatever the text colour.
    tree.setColor(QPalette::Disabled, QPalette::Text, kGreyText);
    tree.setColor(QPalette::Disabled, QPalette::WindowText, kGreyText);
    m_pTree->setPalette(tree);

    QPalette help = m_pHelp->palette();
    help.setColor(QPalette::Window, m_crHelpBack);
    help.setColor(QPalette::WindowText, m_crHelpText);
    m_pHelp->setPalette(help);
    m_pHelpCaption->setPalette(help);
    m_pHelpText->setPalette(help);

    for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it) {
        if (it.key()->IsCategory())
            it.value()->setBackground(0, m_crLine);
    }
    m_pTree->viewport()->update();
}

bool CPropertyGrid::EditValueAsUser(CPropertyGridItem* item, const QString& value)
{
    if (!item || item->m_pGrid != this || !item->IsEnabled() || !item->Accepts(value))
        return false;
    if (item->Value() == value)
        return true;
    item->SetValue(value);
    emit notify(kNotifyValueChanged, item);
    return true;
}

std::vector<CPropertyGridItem*> CPropertyGrid::Items() const
{
    std::vector<CPropertyGridItem*> items;
    items.reserve(m_items.size());
    for (const auto& item : m_items)
        items.push_back(item.get());
    return items;
}

CPropertyGridItem* CPropertyGrid::FindItem(const QString& caption) const
{
    // Categories and items may share a caption ("编程器"): items win.
    CPropertyGridItem* category = nullptr;
    for (const auto& item : m_items) {
        if (item->Caption() != caption)
            continue;
        if (!item->IsCategory())
            return item.get();
        if (!category)
            category = item.get();
    }
    return category;
}

void CPropertyGrid::SelectItem(CPropertyGridItem* item)
{
    QTreeWidgetItem* row = item ? m_rows.value(item) : nullptr;
    m_pTree->setCurrentItem(row);
}

CPropertyGridItem* CPropertyGrid::SelectedItem() const
{
    return ItemFromRow(m_pTree->currentItem());
}

QString CPropertyGrid::HelpCaption() const
{
    return m_pHelpCaption->text();
}

QString CPropertyGrid::HelpDescription() const
{
    return m_pHelpText->text();
}

QString CPropertyGrid::DisplayedValue(const CPropertyGridItem* item) const
{
    const QTreeWidgetItem* row = m_rows.value(item);
    if (!row || item->IsCategory())
        return QString();
    return row->text(1);
}

bool CPropertyGrid::IsExpanded(const CPropertyGridItem* category) const
{
    const QTreeWidgetItem* row = m_rows.value(category);
    return row && row->isExpanded();
}

CPropertyGridItem* CPropertyGrid::ItemFromRow(const QTreeWidgetItem* row) const
{
    if (!row)
        return nullptr;
    auto* item = reinterpret_cast<CPropertyGridItem*>(row->data(0, kItemRole).value<quintptr>());
    // Only rows of this grid carry items it owns.
    return m_rows.value(item) == row ? item : nullptr;
}

void CPropertyGrid::ItemChanged(CPropertyGridItem* item)
{
    if (QTreeWidgetItem* row = m_rows.value(item); row && !item->IsCategory()) {
        row->setText(1, item->Value());
        // An open editor follows, so closing it cannot bring back the old value.
        const QModelIndex index = m_pTree->indexFromItem(row, 1);
        if (QWidget* editor = m_pTree->indexWidget(index))
            m_pTree->itemDelegate()->setEditorData(editor, index);
    }
    if (item == SelectedItem())
        UpdateHelp();
}

void CPropertyGrid::ItemEnabledChanged(CPropertyGridItem* item)
{
    QTreeWidgetItem* row = m_rows.value(item);
    if (!row)
        return;
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    row->setFlags(item->IsEnabled() ? row->flags() | flags : row->flags() & ~flags);
}

void CPropertyGrid::UpdateHelp()
{
    const CPropertyGridItem* item = SelectedItem();
    m_pHelpCaption->setText(item ? item->Caption() : QString());
    m_pHelpText->setText(item ? item->Description() : QString());
}

void CPropertyGrid::OnCurrentRowChanged()
{
    UpdateHelp();
    emit notify(kNotifySelectionChanged, SelectedItem());
}

void CPropertyGrid::OnRowClicked(QTreeWidgetItem* row)
{
    const CPropertyGridItem* item = ItemFromRow(row);
    if (item && !item->IsCategory() && row == m_pTree->currentItem())
        m_pTree->edit(m_pTree->indexFromItem(row, 1));
}

void CPropertyGrid::OnRowDoubleClicked(QTreeWidgetItem* row, int column)
{
    // A double click on an on/off item's caption flips it; the value column
    // has its own editor.
    CPropertyGridItem* item = ItemFromRow(row);
    if (column != 0 || !item || !item->IsBool())
        return;
    EditValueAsUser(item, item->BoolValue() ? CPropertyGridItem::kFalse : CPropertyGridItem::kTrue);
}

void CPropertyGrid::FitCaptionColumn()
{
    if (m_pTree)
        m_pTree->setColumnWidth(0, m_pTree->viewport()->width() * 45 / 100);
}

bool CPropertyGrid::eventFilter(QObject* watched, QEvent* event)
{
    // Captions get a little less than half the width, as in the toolkit. The
    // viewport's own resize is the one that knows its final width; its show
    // covers a size that changed while the grid was hidden.
    if (m_pTree && watched == m_pTree->viewport() &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        FitCaptionColumn();
    return QWidget::eventFilter(watched, event);
}

void CPropertyGrid::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A grid resized while hidden (a tab page in the back) gets its layout
    // only now: fit once the tree has its final size.
    if (QLayout* grid = layout())
        grid->activate();
    FitCaptionColumn();
}
