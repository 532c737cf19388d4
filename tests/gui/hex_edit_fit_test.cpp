#include <QApplication>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

#include "widgets/HexEdit.h"

namespace {

// The main window gives a buffer page a fixed width: the whole row,
// character column included, must be visible without scrolling sideways.
class HexEditFit : public ::testing::TestWithParam<double> {
protected:
    void SetUp() override
    {
        QFont font = m_view.font();
        font.setPointSizeF(GetParam());
        m_view.setFont(font);
        m_view.SetData(m_data.data(), int(m_data.size()), int(m_data.size()));
    }

    void ShowAt(int width)
    {
        m_view.resize(width, 300);
        if (!m_view.isVisible()) {
            m_view.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_view));
        }
        QApplication::processEvents();
    }

    std::vector<std::uint8_t> m_data = std::vector<std::uint8_t>(0x20000, 0x41);
    CHexEdit m_view;
};

TEST_P(HexEditFit, RowFitsTheMainWindowPage)
{
    ShowAt(363);
    EXPECT_EQ(m_view.horizontalScrollBar()->maximum(), 0) << "font " << GetParam() << " pt";
    EXPECT_GE(m_view.font().pointSizeF(), GetParam() * 0.75);
}

TEST_P(HexEditFit, WideViewKeepsTheFontAndNarrowViewScrolls)
{
    ShowAt(363);
    ShowAt(900);
    // Back to the font it was given once there is room again.
    EXPECT_DOUBLE_EQ(m_view.font().pointSizeF(), GetParam());
    EXPECT_EQ(m_view.horizontalScrollBar()->maximum(), 0);

    // Far too narrow: the font stops shrinking and the view scrolls instead.
    ShowAt(160);
    EXPECT_GE(m_view.font().pointSizeF(), GetParam() * 0.75);
    EXPECT_GT(m_view.horizontalScrollBar()->maximum(), 0);
    // The size it asks for is the full layout, not the squeezed one.
    EXPECT_GT(m_view.sizeHint().width(), 300);
}

INSTANTIATE_TEST_SUITE_P(Sizes, HexEditFit, ::testing::Values(8.0, 9.0, 10.0, 11.0));

} // namespace
