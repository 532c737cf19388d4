#include "widgets/PropertyGridItem.h"

#include "widgets/PropertyGrid.h"

CPropertyGridItem::CPropertyGridItem(CPropertyGrid* grid, Kind kind, CPropertyGridItem* parent,
                                     const QString& caption, const QString& value)
    : m_pGrid(grid)
    , m_kind(kind)
    , m_pParent(parent)
    , m_strCaption(caption)
    , m_strValue(value)
    // A bool item is always picked from its two values; a text item takes
    // typed text until its owner says otherwise.
    , m_nFlags(kind == Kind::Text ? kFlagHasEdit
               : kind == Kind::Bool ? kFlagHasComboButton
                                    : 0)
{
    if (kind == Kind::Bool)
        m_constraints = {kTrue, kFalse};
}

bool CPropertyGridItem::SetValue(const QString& value)
{
    if (m_kind == Kind::Category)
        return false;
    // The empty text is the "nothing chosen" state a text item starts in.
    const bool allowed = m_kind == Kind::Bool
                             ? m_constraints.contains(value)
                             : value.isEmpty() || m_constraints.isEmpty()
                                   || m_constraints.contains(value) || TakesTypedText();
    if (!allowed)
        return false;
    if (value != m_strValue) {
        m_strValue = value;
        if (m_pGrid)
            m_pGrid->ItemChanged(this);
    }
    return true;
}

void CPropertyGridItem::SetDescription(const QString& description)
{
    m_strDescription = description;
    if (m_pGrid)
        m_pGrid->ItemChanged(this);
}

void CPropertyGridItem::AddConstraint(const QString& value)
{
    // A bool item's two values are fixed.
    if (m_kind != Kind::Text)
        return;
    m_constraints.append(value);
}

void CPropertyGridItem::SetConstraints(const QStringList& values)
{
    if (m_kind != Kind::Text)
        return;
    m_constraints = values;
    if (!m_constraints.contains(m_strValue) && !TakesTypedText())
        SetValue(QString());
}

void CPropertyGridItem::SetEnabled(bool enabled)
{
    if (m_kind == Kind::Category || enabled == m_bEnabled)
        return;
    m_bEnabled = enabled;
    if (m_pGrid)
        m_pGrid->ItemEnabledChanged(this);
}

int CPropertyGridItem::ConstraintIndex() const
{
    if (m_strValue.isEmpty())
        return -1;
    return static_cast<int>(m_constraints.indexOf(m_strValue));
}

bool CPropertyGridItem::Accepts(const QString& value) const
{
    switch (m_kind) {
    case Kind::Category:
        return false;
    case Kind::Bool:
        return m_constraints.contains(value);
    case Kind::Text:
        if (!m_constraints.isEmpty() && !TakesTypedText())
            return m_constraints.contains(value);
        return (m_nFlags & kFlagHasEdit) != 0;
    }
    return false;
}

bool CPropertyGridItem::TakesTypedText() const
{
    const int both = kFlagHasComboButton | kFlagHasEdit;
    return m_kind == Kind::Text && (m_nFlags & both) == both;
}
