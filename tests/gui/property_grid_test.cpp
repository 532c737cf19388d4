#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>

#include "widgets/PropertyGrid.h"

namespace {

// Runs the event loop until done() holds; the time limit only guards
// against a hang. (Qt's QTRY macros report to QTest, not to GoogleTest.)
bool WaitFor(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(30000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

struct Grid {
    CPropertyGrid grid;
    CPropertyGridItem* category = grid.AddCategory("编程器");
    CPropertyGridItem* list = grid.AddTextItem(category, "串口", "");
    CPropertyGridItem* free = grid.AddTextItem(category, "名称", "abc");
    CPropertyGridItem* fixed = grid.AddTextItem(category, "只读", "x");
    CPropertyGridItem* onOff = grid.AddBoolItem(category, "使用声音提示", true);

    Grid()
    {
        list->AddConstraint("COM 1");
        list->AddConstraint("COM 2");
        list->SetFlags(CPropertyGridItem::kFlagHasComboButton);
        fixed->SetFlags(0);
    }
};

// Which values each kind of item takes from the program and from the user.
struct ValueCase {
    const char* name;
    CPropertyGridItem* Grid::*item;
    const char* value;
    bool byProgram;
    bool byUser;
};

void PrintTo(const ValueCase& c, std::ostream* os)
{
    *os << c.name;
}

class ItemValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ItemValueTest, AcceptsOnlyAllowedValues)
{
    const ValueCase& c = GetParam();
    Grid g;
    CPropertyGridItem* item = g.*c.item;
    const QString before = item->Value();
    QSignalSpy spy(&g.grid, &CPropertyGrid::notify);

    EXPECT_EQ(g.grid.EditValueAsUser(item, c.value), c.byUser);
    EXPECT_EQ(item->Value(), c.byUser ? QString(c.value) : before);
    EXPECT_EQ(spy.count(), c.byUser && before != c.value ? 1 : 0);

    item->SetValue(before);
    EXPECT_EQ(item->SetValue(c.value), c.byProgram);
    EXPECT_EQ(item->Value(), c.byProgram ? QString(c.value) : before);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ItemValueTest,
    ::testing::Values(ValueCase{"ListPick", &Grid::list, "COM 2", true, true},
                      ValueCase{"ListOther", &Grid::list, "COM 9", false, false},
                      ValueCase{"ListEmpty", &Grid::list, "", true, false},
                      ValueCase{"FreeText", &Grid::free, "anything", true, true},
                      ValueCase{"FixedText", &Grid::fixed, "y", true, false},
                      ValueCase{"BoolFalse", &Grid::onOff, "False", true, true},
                      ValueCase{"BoolLowerCase", &Grid::onOff, "false", false, false},
                      ValueCase{"BoolSame", &Grid::onOff, "True", true, true},
                      ValueCase{"Category", &Grid::category, "x", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PropertyGridTest, ProgramChangesShowWithoutNotifying)
{
    Grid g;
    QSignalSpy spy(&g.grid, &CPropertyGrid::notify);
    EXPECT_EQ(g.list->ConstraintIndex(), -1);
    ASSERT_TRUE(g.list->SetValue("COM 2"));
    EXPECT_EQ(g.list->ConstraintIndex(), 1);
    EXPECT_EQ(g.grid.DisplayedValue(g.list), "COM 2");
    ASSERT_TRUE(g.onOff->SetValue("False"));
    EXPECT_FALSE(g.onOff->BoolValue());
    EXPECT_EQ(g.grid.DisplayedValue(g.onOff), "False");
    EXPECT_EQ(spy.count(), 0);

    ASSERT_TRUE(g.grid.EditValueAsUser(g.list, "COM 1"));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), CPropertyGrid::kNotifyValueChanged);
    EXPECT_EQ(spy.at(0).at(1).value<CPropertyGridItem*>(), g.list);
}

TEST(PropertyGridTest, StructureAndLookup)
{
    Grid g;
    EXPECT_TRUE(g.grid.IsExpanded(g.category));
    EXPECT_EQ(g.list->Parent(), g.category);
    EXPECT_EQ(g.category->Children().size(), 4u);
    EXPECT_EQ(g.grid.Items().size(), 5u);
    // An item wins over a category of the same caption.
    CPropertyGridItem* same = g.grid.AddTextItem(g.category, "编程器", "");
    EXPECT_EQ(g.grid.FindItem("编程器"), same);
    EXPECT_EQ(g.grid.FindItem("无"), nullptr);
    // Items of another grid are neither edited nor used as a parent.
    Grid other;
    EXPECT_FALSE(g.grid.EditValueAsUser(other.list, "COM 1"));
    CPropertyGridItem* top = g.grid.AddTextItem(other.category, "顶层", "");
    EXPECT_EQ(top->Parent(), nullptr);
}

TEST(PropertyGridTest, DescriptionPaneFollowsSelection)
{
    Grid g;
    g.list->SetDescription("选择COM口.");
    QSignalSpy spy(&g.grid, &CPropertyGrid::notify);
    g.grid.SelectItem(g.list);
    EXPECT_EQ(g.grid.SelectedItem(), g.list);
    EXPECT_EQ(g.grid.HelpCaption(), "串口");
    EXPECT_EQ(g.grid.HelpDescription(), "选择COM口.");
    ASSERT_GE(spy.count(), 1);
    EXPECT_EQ(spy.last().at(0).toInt(), CPropertyGrid::kNotifySelectionChanged);

    g.list->SetDescription("新说明");
    EXPECT_EQ(g.grid.HelpDescription(), "新说明");
    g.grid.SelectItem(nullptr);
    EXPECT_EQ(g.grid.HelpCaption(), "");
}

// The mouse path: a click on the row opens the drop-down, a pick is the
// user's change, reported once the editor has gone.
TEST(PropertyGridTest, PickFromDropDownIsUserChange)
{
    Grid g;
    g.grid.resize(300, 300);
    g.grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g.grid));
    QSignalSpy spy(&g.grid, &CPropertyGrid::notify);

    QTreeWidget* tree = g.grid.Tree();
    QTreeWidgetItem* row = tree->topLevelItem(0)->child(0);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(row).center());
    QComboBox* combo = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (combo = tree->viewport()->findChild<QComboBox*>()); }));
    EXPECT_EQ(combo->count(), 2);
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    ASSERT_TRUE(WaitFor([&] { return g.list->Value() == "COM 2"; }));
    int valueChanges = 0;
    for (const QList<QVariant>& args : spy)
        valueChanges += args.at(0).toInt() == CPropertyGrid::kNotifyValueChanged ? 1 : 0;
    EXPECT_EQ(valueChanges, 1);
}

TEST(PropertyGridTest, DoubleClickOnSwitchCaptionFlipsIt)
{
    Grid g;
    g.grid.resize(300, 300);
    g.grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g.grid));
    QSignalSpy spy(&g.grid, &CPropertyGrid::notify);
    QTreeWidget* tree = g.grid.Tree();
    QTreeWidgetItem* row = tree->topLevelItem(0)->child(3);
    const QRect rect = tree->visualItemRect(row);
    const QPoint onCaption(rect.left() + tree->columnWidth(0) / 2, rect.center().y());
    // QTest sends a lone double-click event; a real one follows a click.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, onCaption);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, onCaption);
    ASSERT_TRUE(WaitFor([&] { return !g.onOff->BoolValue(); }));
    // Closing the editor the first click opened must not bring "True" back.
    tree->setFocus();
    g.grid.SelectItem(g.list);
    QCoreApplication::processEvents();
    EXPECT_FALSE(g.onOff->BoolValue());
    int valueChanges = 0;
    for (const QList<QVariant>& args : spy)
        valueChanges += args.at(0).toInt() == CPropertyGrid::kNotifyValueChanged ? 1 : 0;
    EXPECT_EQ(valueChanges, 1);
}

// A list that takes typed text as well (the serial device item): typed and
// committed with Enter, and kept when the list changes.
TEST(PropertyGridTest, AnOpenListTakesTypedText)
{
    Grid g;
    CPropertyGridItem* open = g.grid.AddTextItem(g.category, "串口设备", "");
    open->SetConstraints({"/dev/ttyUSB0"});
    open->SetFlags(CPropertyGridItem::kFlagHasComboButton | CPropertyGridItem::kFlagHasEdit);
    g.grid.resize(300, 300);
    g.grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g.grid));
    QTreeWidget* tree = g.grid.Tree();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(tree->topLevelItem(0)->child(4)).center());
    QComboBox* combo = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (combo = tree->viewport()->findChild<QComboBox*>()); }));
    QTest::keyClicks(combo->lineEdit(), "/dev/pts/5");
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return open->Value() == "/dev/pts/5"; }));
    open->SetConstraints({});
    EXPECT_EQ(open->Value(), "/dev/pts/5");
    EXPECT_FALSE(g.grid.EditValueAsUser(g.list, "/dev/pts/5"));  // a closed list does not
}

} // namespace
