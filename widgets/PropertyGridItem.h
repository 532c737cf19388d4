#pragma once

#include <QString>
#include <QStringList>

#include <vector>

class CPropertyGrid;

// One row of a CPropertyGrid: a category, a text item or an on/off item.
// The grid creates and owns every item; callers keep plain pointers, valid
// for the grid's life. Values are plain texts; a bool item's value is
// "True" or "False".
class CPropertyGridItem {
public:
    enum class Kind { Category, Text, Bool };

    // Flags word bits. A text item with kFlagHasComboButton offers its
    // constraint list as a drop-down and takes no typed text, unless
    // kFlagHasEdit is set as well: then any typed text is taken too.
    static constexpr int kFlagHasEdit = 1;
    static constexpr int kFlagHasExpandButton = 2;
    static constexpr int kFlagHasComboButton = 4;

    static inline const QString kTrue = QStringLiteral("True");
    static inline const QString kFalse = QStringLiteral("False");

    CPropertyGridItem(const CPropertyGridItem&) = delete;
    CPropertyGridItem& operator=(const CPropertyGridItem&) = delete;

    Kind ItemKind() const { return m_kind; }
    bool IsCategory() const { return m_kind == Kind::Category; }
    bool IsBool() const { return m_kind == Kind::Bool; }

    const QString& Caption() const { return m_strCaption; }
    const QString& Value() const { return m_strValue; }
    // The program's own change: never reported as a user change. A text item
    // with constraints takes one of them or the empty text; a bool item
    // takes "True" or "False". false (value kept) for anything else.
    bool SetValue(const QString& value);
    // A bool item's state; false for the other kinds.
    bool BoolValue() const { return m_kind == Kind::Bool && m_strValue == kTrue; }

    const QString& Description() const { return m_strDescription; }
    void SetDescription(const QString& description);

    // The values offered in the drop-down, in the order added.
    void AddConstraint(const QString& value);
    // Offers values instead (a text item's list that changes while the
    // program runs); a value no longer among them is cleared, unless the
    // item takes typed text.
    void SetConstraints(const QStringList& values);
    const QStringList& Constraints() const { return m_constraints; }
    // Position of the current value in the constraint list; -1 when the
    // value is empty or not in the list.
    int ConstraintIndex() const;
    // Whether the user may set value (a constraint, or any text on an
    // editable item).
    bool Accepts(const QString& value) const;
    // A list item that also takes typed text.
    bool TakesTypedText() const;

    int Flags() const { return m_nFlags; }
    void SetFlags(int flags) { m_nFlags = flags; }

    // A disabled item is shown greyed, and the user can neither select nor
    // change it; the program still can.
    bool IsEnabled() const { return m_bEnabled; }
    void SetEnabled(bool enabled);

    // The category an item sits in (nullptr for categories and top-level
    // items) and the items in a category, in order.
    CPropertyGridItem* Parent() const { return m_pParent; }
    const std::vector<CPropertyGridItem*>& Children() const { return m_children; }

private:
    friend class CPropertyGrid;
    CPropertyGridItem(CPropertyGrid* grid, Kind kind, CPropertyGridItem* parent,
                      const QString& caption, const QString& value);

    CPropertyGrid* m_pGrid;
    Kind m_kind;
    CPropertyGridItem* m_pParent;
    std::vector<CPropertyGridItem*> m_children;
    QString m_strCaption;
    QString m_strValue;
    QString m_strDescription;
    QStringList m_constraints;
    int m_nFlags;
    bool m_bEnabled = true;
};
