#include "widgets/CommandButtonWidget.h"
#include "widgets/HexEdit.h"
#include "widgets/HyperLink.h"
#include "widgets/QtTranslations.h"
#include "widgets/TextProgressCtrl.h"
#include "widgets/core/CommandButton.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLibraryInfo>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr int kBufferSize = 0x20000;

// Counts the pixels of one exact colour within the given columns.
int CountPixels(const QImage& image, QColor colour, int x0, int x1)
{
    const QRgb wanted = colour.rgb();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = x0; x < x1; ++x)
            count += (image.pixel(x, y) & 0xFFFFFF) == (wanted & 0xFFFFFF) ? 1 : 0;
    return count;
}

// A shown bar of the given client width, so resizes and repaints happen.
struct ShownBar {
    explicit ShownBar(int width, int height = 24)
    {
        bar.resize(width, height);
        bar.show();
    }
    CTextProgressCtrl bar;
};

}  // namespace

// ---------------------------------------------------------------------------
// Text progress bar

TEST(TextProgressCtrl, ShowsThePercentageUntilACaptionIsSet)
{
    ShownBar s(200);
    EXPECT_EQ(s.bar.DisplayedText(), "0%");
    EXPECT_EQ(s.bar.SetPos(37), 0);
    EXPECT_EQ(s.bar.DisplayedText(), "37%");

    s.bar.SetText(QStringLiteral("正在写:0010/1000"));
    EXPECT_EQ(s.bar.DisplayedText(), QStringLiteral("正在写:0010/1000"));
    EXPECT_EQ(s.bar.Text(), QStringLiteral("正在写:0010/1000"));
    EXPECT_EQ(s.bar.GetPos(), 37);

    s.bar.SetText(QString());
    EXPECT_EQ(s.bar.DisplayedText(), "37%");
}

struct BarCase {
    int pos;
    int width;
    QString text;
};

class TextProgressBarWidth : public ::testing::TestWithParam<BarCase> {};

TEST_P(TextProgressBarWidth, FollowsThePosition)
{
    const BarCase& c = GetParam();
    ShownBar s(200);
    s.bar.SetPos(c.pos);
    EXPECT_EQ(s.bar.BarWidthPixels(), c.width);
    EXPECT_EQ(s.bar.DisplayedText(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Positions, TextProgressBarWidth,
                         ::testing::Values(BarCase{0, 0, "0%"}, BarCase{50, 100, "50%"},
                                           BarCase{99, 198, "99%"}, BarCase{100, 200, "100%"},
                                           BarCase{150, 200, "150%"}, BarCase{-20, 0, "-20%"}));

TEST(TextProgressCtrl, RepaintsOnlyWhenTheBarMovesAPixel)
{
    ShownBar s(50);
    int count = s.bar.RepaintCount();

    // On 50 pixels: positions 1, 2, 3 give widths 0, 1, 1.
    s.bar.SetPos(1);
    EXPECT_EQ(s.bar.RepaintCount(), ++count) << "the first position always paints";
    s.bar.SetPos(2);
    EXPECT_EQ(s.bar.RepaintCount(), ++count);
    s.bar.SetPos(3);
    EXPECT_EQ(s.bar.RepaintCount(), count);

    s.bar.SetPos(50);
    s.bar.SetPos(50);
    EXPECT_EQ(s.bar.RepaintCount(), ++count);

    // A resize forgets the recorded width: the same position paints again.
    s.bar.resize(80, 24);
    count = s.bar.RepaintCount();
    s.bar.SetPos(50);
    EXPECT_EQ(s.bar.RepaintCount(), count + 1);
    EXPECT_EQ(s.bar.BarWidthPixels(), 40);
}

TEST(TextProgressCtrl, ANewCaptionIsShownThoughTheBarStandsStill)
{
    ShownBar s(50);
    s.bar.SetPos(10);
    const int count = s.bar.RepaintCount();
    s.bar.SetText(QStringLiteral("正在写:0010/1000"));
    EXPECT_GT(s.bar.RepaintCount(), count);
    const int afterText = s.bar.RepaintCount();
    s.bar.SetText(QStringLiteral("正在写:0010/1000"));
    EXPECT_EQ(s.bar.RepaintCount(), afterText) << "an unchanged caption asks for nothing";
}

TEST(TextProgressCtrl, DrawsTheTextInTwoColoursSplitAtTheBarEdge)
{
    ShownBar s(200, 40);
    QFont big = s.bar.font();
    big.setPixelSize(30);
    big.setBold(true);
    s.bar.setFont(big);
    s.bar.SetText(QStringLiteral("MMMMMMMMMM"));
    s.bar.SetPos(50);
    const QImage image = s.bar.grab().toImage();
    ASSERT_EQ(image.width(), 200);

    // Over the bar the text takes the background's colour, over the rest
    // the bar's: each shows up only where it is drawn as text.
    EXPECT_GT(CountPixels(image, s.bar.TextOnBarColour(), 0, 100), 0);
    EXPECT_GT(CountPixels(image, s.bar.TextOnBackgroundColour(), 100, 200), 0);

    s.bar.SetShowText(false);
    const QImage plain = s.bar.grab().toImage();
    EXPECT_EQ(CountPixels(plain, s.bar.BackgroundColour(), 0, 100), 0);
    EXPECT_EQ(CountPixels(plain, s.bar.BarColour(), 100, 200), 0);
}

TEST(TextProgressCtrl, PositionsPastTheEndFillTheWholeBar)
{
    ShownBar s(200, 30);
    s.bar.SetText(QStringLiteral("写器件完成"));
    for (int pos : {100, 150}) {
        s.bar.SetPos(pos);
        const QImage image = s.bar.grab().toImage();
        EXPECT_EQ(QColor(image.pixel(199, 1)), s.bar.BarColour()) << pos;
        EXPECT_EQ(QColor(image.pixel(0, 1)), s.bar.BarColour()) << pos;
    }
    s.bar.SetPos(99);
    const QImage image = s.bar.grab().toImage();
    EXPECT_EQ(QColor(image.pixel(199, 1)), s.bar.BackgroundColour());
}

// ---------------------------------------------------------------------------
// Hex view

namespace {

std::vector<std::uint8_t> Pattern(int size)
{
    std::vector<std::uint8_t> data(std::size_t(size), 0);
    for (int i = 0; i < size; ++i)
        data[std::size_t(i)] = std::uint8_t(i * 7 + (i >> 8));
    return data;
}

struct ShownHex {
    explicit ShownHex(int width = 500, int height = 300)
    {
        view.resize(width, height);
        view.show();
        view.setFocus();
    }
    CHexEdit view;
};

}  // namespace

TEST(HexEdit, HandsBackACopyOfWhatItWasGiven)
{
    CHexEdit view;
    const std::vector<std::uint8_t> source = Pattern(kBufferSize);
    view.SetData(source.data(), kBufferSize, kBufferSize);
    ASSERT_EQ(view.Length(), kBufferSize);
    EXPECT_NE(view.Data(), source.data());

    std::vector<std::uint8_t> back(kBufferSize, 0);
    EXPECT_EQ(view.GetData(back.data(), kBufferSize), kBufferSize);
    EXPECT_EQ(back, source);

    // A smaller destination takes only what fits.
    std::vector<std::uint8_t> small(16, 0);
    EXPECT_EQ(view.GetData(small.data(), 16), 16);
    EXPECT_TRUE(std::equal(small.begin(), small.end(), source.begin()));

    // The capacity bounds what is taken in.
    view.SetData(source.data(), kBufferSize, 100);
    EXPECT_EQ(view.Length(), 100);
    view.SetData(nullptr, 10, 10);
    EXPECT_EQ(view.Length(), 0);
    EXPECT_EQ(view.GetData(back.data(), kBufferSize), 0);
}

TEST(HexEdit, TypedDigitsEditTheViewButNotTheSourceBuffer)
{
    ShownHex s;
    std::vector<std::uint8_t> source(kBufferSize, 0xFF);
    s.view.SetData(source.data(), kBufferSize, kBufferSize);
    QSignalSpy edited(&s.view, &CHexEdit::dataEdited);

    QTest::keyClicks(&s.view, "a5");  // byte 0: two nibbles
    QTest::keyClicks(&s.view, "3");   // byte 1: high nibble only
    QTest::keyClicks(&s.view, "xg");  // not hex digits: ignored
    EXPECT_EQ(edited.count(), 3);

    std::vector<std::uint8_t> back(kBufferSize, 0);
    ASSERT_EQ(s.view.GetData(back.data(), kBufferSize), kBufferSize);
    EXPECT_EQ(back[0], 0xA5);
    EXPECT_EQ(back[1], 0x3F);
    EXPECT_EQ(back[2], 0xFF);
    EXPECT_EQ(source[0], 0xFF) << "the owner's buffer changes only when it takes the data back";

    // The character column takes printable characters.
    QTest::keyClick(&s.view, Qt::Key_Tab);
    EXPECT_TRUE(s.view.CaretInCharColumn());
    s.view.SetCaretOffset(8, true);
    QTest::keyClicks(&s.view, "Hi");
    s.view.GetData(back.data(), kBufferSize);
    EXPECT_EQ(back[8], 'H');
    EXPECT_EQ(back[9], 'i');
    EXPECT_EQ(s.view.CaretOffset(), 10);
}

struct CaretKey {
    int key;
    Qt::KeyboardModifiers modifiers;
    int from;
    int to;
};

class HexEditCaretKeys : public ::testing::TestWithParam<CaretKey> {};

TEST_P(HexEditCaretKeys, MoveTheCaretWithinTheData)
{
    const CaretKey& c = GetParam();
    ShownHex s;
    const std::vector<std::uint8_t> source(kBufferSize, 0xFF);
    s.view.SetData(source.data(), kBufferSize, kBufferSize);
    s.view.SetCaretOffset(c.from);
    QTest::keyClick(&s.view, Qt::Key(c.key), c.modifiers);
    EXPECT_EQ(s.view.CaretOffset(), c.to);
    EXPECT_LE(s.view.FirstVisibleAddress(), c.to);
    EXPECT_GE(s.view.LastVisibleAddress() + CHexEdit::kBytesPerRow - 1, c.to);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, HexEditCaretKeys,
    ::testing::Values(CaretKey{Qt::Key_Right, Qt::NoModifier, 0, 1},
                      CaretKey{Qt::Key_Left, Qt::NoModifier, 0, 0},
                      CaretKey{Qt::Key_Down, Qt::NoModifier, 3, 11},
                      CaretKey{Qt::Key_Up, Qt::NoModifier, 11, 3},
                      CaretKey{Qt::Key_Up, Qt::NoModifier, 3, 0},
                      CaretKey{Qt::Key_Home, Qt::NoModifier, 13, 8},
                      CaretKey{Qt::Key_End, Qt::NoModifier, 13, 15},
                      CaretKey{Qt::Key_End, Qt::ControlModifier, 0, kBufferSize - 1},
                      CaretKey{Qt::Key_Home, Qt::ControlModifier, 5000, 0},
                      CaretKey{Qt::Key_Down, Qt::NoModifier, kBufferSize - 3, kBufferSize - 1},
                      CaretKey{Qt::Key_PageUp, Qt::NoModifier, 4, 0},
                      CaretKey{Qt::Key_PageDown, Qt::NoModifier, kBufferSize - 9, kBufferSize - 1}));

TEST(HexEdit, ScrollsToTheLastRowOf128KB)
{
    ShownHex s;
    const std::vector<std::uint8_t> source(kBufferSize, 0xFF);
    s.view.SetData(source.data(), kBufferSize, kBufferSize);
    EXPECT_EQ(s.view.FirstVisibleAddress(), 0);
    EXPECT_EQ(s.view.AddressText(0), "00000");

    QScrollBar* bar = s.view.verticalScrollBar();
    bar->setValue(bar->maximum());
    EXPECT_EQ(s.view.LastVisibleAddress(), 0x1FFF8);
    EXPECT_EQ(s.view.AddressText(s.view.LastVisibleAddress()), "1FFF8");

    // New data that is much shorter pulls the view and the caret back in.
    s.view.SetCaretOffset(kBufferSize - 1);
    const std::vector<std::uint8_t> small(20, 0x00);
    s.view.SetData(small.data(), 20, 20);
    EXPECT_EQ(s.view.FirstVisibleAddress(), 0);
    EXPECT_EQ(s.view.LastVisibleAddress(), 16);
    EXPECT_EQ(s.view.CaretOffset(), 19);
    EXPECT_EQ(s.view.AddressText(16), "0010");
}

TEST(HexEdit, AClickPlacesTheCaretInTheColumnClicked)
{
    ShownHex s(800, 300);
    const std::vector<std::uint8_t> source = Pattern(kBufferSize);
    s.view.SetData(source.data(), kBufferSize, kBufferSize);
    const int line = QFontMetrics(s.view.font()).height();
    QWidget* area = s.view.viewport();

    // Right of the character column: the last character of row 2.
    QTest::mouseClick(area, Qt::LeftButton, Qt::NoModifier, QPoint(area->width() - 2, 2 * line + 2));
    EXPECT_EQ(s.view.CaretOffset(), 23);
    EXPECT_TRUE(s.view.CaretInCharColumn());

    // On the address of row 1: its first byte, in the hex column.
    QTest::mouseClick(area, Qt::LeftButton, Qt::NoModifier, QPoint(1, line + 2));
    EXPECT_EQ(s.view.CaretOffset(), 8);
    EXPECT_FALSE(s.view.CaretInCharColumn());
}

// ---------------------------------------------------------------------------
// Command button

TEST(CommandButtonWidget, AMarkedButtonShowsTheAutoCaptionOnALighterFace)
{
    CCommandButtonWidget widget;
    CCommandButton model = CCommandButton::ForCommand(kCmdWrite);
    widget.Apply(model);
    EXPECT_EQ(widget.text(), QStringLiteral("写器件"));
    const QColor plain = widget.FaceColour();
    EXPECT_EQ(plain, CCommandButtonWidget::ColourFromColorRef(widget.BaseFaceColour()));

    model.SetMark(1);
    widget.Apply(model);
    EXPECT_EQ(widget.text(), QStringLiteral("(自动)写器件"));
    EXPECT_EQ(widget.FaceColour(),
              CCommandButtonWidget::ColourFromColorRef(widget.BaseFaceColour() + 0x0F0F0F));
    EXPECT_EQ(widget.palette().color(QPalette::Button), widget.FaceColour());

    model.SetMark(0);
    widget.Apply(model);
    EXPECT_EQ(widget.text(), QStringLiteral("写器件"));
    EXPECT_EQ(widget.FaceColour(), plain);
}

TEST(CommandButtonWidget, TakesTheModelsFaceAsAWindowsColourValue)
{
    CCommandButtonWidget widget;
    CCommandButton model(kCmdErase, "檫除器件");
    model.SetUp(true, true, 129, 134, 0x00C0D0E0);  // 0x00BBGGRR
    widget.Apply(model);
    EXPECT_EQ(widget.FaceColour(), QColor(0xE0, 0xD0, 0xC0));
    model.SetMark(1);
    widget.Apply(model);
    EXPECT_EQ(widget.FaceColour(), QColor(0xEF, 0xDF, 0xCF));
}

TEST(CommandButtonWidget, ShowsTheIconOfTheCurrentState)
{
    CCommandButtonWidget widget;
    CCommandButton write = CCommandButton::ForCommand(kCmdWrite);
    widget.Apply(write);
    EXPECT_EQ(widget.IconId(), 135);
    ASSERT_FALSE(widget.icon().isNull());
    EXPECT_EQ(widget.iconSize(), QSize(32, 32));

    write.SetBusy(1);
    widget.Apply(write);
    EXPECT_EQ(widget.IconId(), 136);
    EXPECT_FALSE(widget.icon().isNull());

    widget.Apply(CCommandButton::ForCommand(kCmdDetect));
    EXPECT_EQ(widget.IconId(), 0);
    EXPECT_TRUE(widget.icon().isNull());
}

TEST(CommandButtonWidget, EveryIconOfTheSetRendersAt32Pixels)
{
    for (int id = 128; id <= 143; ++id) {
        const QIcon icon(CCommandButtonWidget::IconPath(id));
        const QImage image = icon.pixmap(32, 32).toImage();
        ASSERT_FALSE(image.isNull()) << id;
        EXPECT_EQ(image.size(), QSize(32, 32)) << id;
        bool drawn = false;
        for (int y = 0; y < 32 && !drawn; ++y)
            for (int x = 0; x < 32 && !drawn; ++x)
                drawn = qAlpha(image.pixel(x, y)) > 0;
        EXPECT_TRUE(drawn) << id;
    }
    EXPECT_TRUE(CCommandButtonWidget::IconPath(0).isEmpty());
}

TEST(CommandButtonWidget, TheRightButtonIsReportedApartFromClicks)
{
    CCommandButtonWidget widget;
    widget.Apply(CCommandButton::ForCommand(kCmdRead));
    widget.resize(160, 40);
    widget.show();
    QSignalSpy right(&widget, &CCommandButtonWidget::rightClicked);
    QSignalSpy left(&widget, &QPushButton::clicked);

    QTest::mouseClick(&widget, Qt::RightButton);
    EXPECT_EQ(right.count(), 1);
    EXPECT_EQ(left.count(), 0);

    QTest::mouseClick(&widget, Qt::LeftButton);
    EXPECT_EQ(right.count(), 1);
    EXPECT_EQ(left.count(), 1);

    // Released outside the button: no mark.
    QTest::mousePress(&widget, Qt::RightButton);
    QTest::mouseRelease(&widget, Qt::RightButton, Qt::NoModifier, QPoint(500, 500));
    EXPECT_EQ(right.count(), 1);
}

// ---------------------------------------------------------------------------
// Hyperlink

TEST(HyperLink, AClickOnTheUnderlinedTextIsReported)
{
    CHyperLink link(QStringLiteral("Sordane"));
    link.resize(100, 20);
    link.show();
    EXPECT_TRUE(link.font().underline());
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
    QSignalSpy clicked(&link, &CHyperLink::clicked);
    QTest::mouseClick(&link, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);
    QTest::mouseClick(&link, Qt::RightButton);
    EXPECT_EQ(clicked.count(), 1);
}

// Qt's own buttons and dialogs speak the interface's Chinese once Qt's
// translation is installed (Debian: qt6-translations-l10n).
TEST(QtTranslations, StandardButtonsSpeakChinese)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFileInfo::exists(folder + QStringLiteral("/qtbase_zh_CN.qm")))
        GTEST_SKIP() << "no qtbase_zh_CN.qm in " << folder.toStdString();
    QTranslator* translator = CQtTranslations::Install(*QCoreApplication::instance());
    ASSERT_NE(translator, nullptr);
    QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::Open);
    const QString cancel = buttons.button(QDialogButtonBox::Cancel)->text();
    const QString open = buttons.button(QDialogButtonBox::Open)->text();
    // The other tests expect Qt's texts as they come.
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_EQ(cancel, QStringLiteral("取消"));
    EXPECT_TRUE(open.contains(QStringLiteral("打开"))) << open.toStdString();
}
