#include <gtest/gtest.h>

#include "widgets/core/CommandButton.h"

namespace {

struct ButtonRow {
    CommandId id;
    std::string caption;
    bool toggleable;
    int normalIcon;
    int busyIcon;  // the icon shown while busy
};

class CommandButtonTable : public testing::TestWithParam<ButtonRow> {};

TEST_P(CommandButtonTable, SetsUpCaptionIconsAndMarking)
{
    const ButtonRow& row = GetParam();
    CCommandButton button = CCommandButton::ForCommand(row.id);
    EXPECT_EQ(button.Caption(), row.caption);
    EXPECT_TRUE(button.IsAccepting());
    EXPECT_EQ(button.CurrentIcon(), row.normalIcon);
    button.SetBusy(1);
    EXPECT_EQ(button.CurrentIcon(), row.busyIcon);
    button.SetBusy(0);
    EXPECT_EQ(button.CurrentIcon(), row.normalIcon);

    EXPECT_EQ(button.ToggleMark(), row.toggleable);
    EXPECT_EQ(button.Caption(), row.toggleable ? "(自动)" + row.caption : row.caption);
    button.ToggleMark();
    EXPECT_FALSE(button.IsMarked());
    EXPECT_EQ(button.Caption(), row.caption);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, CommandButtonTable,
    testing::Values(ButtonRow{kCmdDetect, "检测芯片ID", false, 0, 0},
                    // Load file and Auto keep their only icon while busy.
                    ButtonRow{kCmdLoadFile, "装入文件", true, 143, 143},
                    ButtonRow{kCmdSaveFile, "保存文件", false, 131, 131},
                    ButtonRow{kCmdErase, "檫除器件", true, 129, 134},
                    ButtonRow{kCmdWrite, "写器件", true, 135, 136},
                    ButtonRow{kCmdRead, "读器件", true, 137, 138},
                    ButtonRow{kCmdVerify, "效验数据", true, 139, 140},
                    ButtonRow{kCmdAuto, "自动完成", false, 142, 142},
                    ButtonRow{kCmdLock, "加密操作", false, 0, 0}));

TEST(CommandButton, MarkLightensTheFaceWithCarries)
{
    CCommandButton button(kCmdWrite, "写器件");
    button.SetUp(true, true, 135, 136, 0x00F8F8F8);
    button.SetMark(1);
    EXPECT_EQ(button.FaceColour(), 0x01080807u);
    button.SetMark(0);
    EXPECT_EQ(button.FaceColour(), 0x00F8F8F8u);
}

}  // namespace
