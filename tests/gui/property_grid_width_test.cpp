#include <QApplication>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>

#include "widgets/PropertyGrid.h"

namespace {

int ExpectedCaptionWidth(const CPropertyGrid& grid)
{
    return grid.Tree()->viewport()->width() * 45 / 100;
}

// The grid sits on a tab page that is not shown while the window changes
// size: the caption column must follow once the page comes forward.
TEST(PropertyGridWidth, CaptionColumnFollowsResizeWhileHidden)
{
    QTabWidget tabs;
    auto* other = new QWidget;
    auto* grid = new CPropertyGrid;
    CPropertyGridItem* category = grid->AddCategory("编程器");
    grid->AddTextItem(category, "串口", "COM 1");
    tabs.addTab(other, "状态");
    tabs.addTab(grid, "设置");

    const int widths[] = {300, 700, 420};
    tabs.resize(widths[0], 400);
    tabs.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tabs));

    for (int width : widths) {
        tabs.setCurrentWidget(other);
        QApplication::processEvents();
        tabs.resize(width, 400);
        QApplication::processEvents();
        tabs.setCurrentWidget(grid);
        QApplication::processEvents();
        EXPECT_LE(std::abs(grid->Tree()->columnWidth(0) - ExpectedCaptionWidth(*grid)), 1)
            << "window width " << width;
    }
}

TEST(PropertyGridWidth, CaptionColumnSetWhenFirstShownAfterResize)
{
    CPropertyGrid grid;
    grid.AddTextItem(grid.AddCategory("编程器"), "串口", "COM 1");
    grid.resize(640, 300);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    EXPECT_GT(grid.Tree()->columnWidth(0), 200);
    EXPECT_LE(std::abs(grid.Tree()->columnWidth(0) - ExpectedCaptionWidth(grid)), 1);
}

} // namespace
