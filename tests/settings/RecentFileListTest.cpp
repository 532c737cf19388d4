#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ProfileFile.h"
#include "settings/core/RecentFileList.h"
#include "tests/support/TempDir.h"

namespace {

class RecentFileListTest : public ::testing::Test {
protected:
    std::string Ini() const { return m_dir.File(CRecentFileList::kFileName); }

    // Loads, adds each path and saves, as one pass through the open dialog
    // per path.
    void ChooseEach(const std::vector<std::string>& paths)
    {
        for (const std::string& path : paths) {
            CRecentFileList list(Ini());
            list.Load();
            ASSERT_TRUE(list.Add(path)) << path;
            ASSERT_TRUE(list.Save());
        }
    }

    std::vector<std::string> Stored() const
    {
        CRecentFileList list(Ini());
        list.Load();
        return list.Entries();
    }

    static std::vector<std::string> Names(int first, int last)
    {
        std::vector<std::string> names;
        for (int i = first; i <= last; ++i)
            names.push_back("/data/image" + std::to_string(i) + ".bin");
        return names;
    }

    CTempDir m_dir;
};

TEST_F(RecentFileListTest, MissingFileGivesEmptyListAndFirstChoiceIsPositionZero)
{
    EXPECT_TRUE(Stored().empty());
    ChooseEach({"/home/u/first.hex"});
    const CProfileFile ini(Ini());
    EXPECT_EQ(ini.GetInt("File Number", "n", -1), 1);
    EXPECT_EQ(ini.GetString("LastFile", "File 0", ""), "/home/u/first.hex");
}

TEST_F(RecentFileListTest, SameFileMovesToNewestWithoutGrowing)
{
    ChooseEach({"/a.bin", "/b.bin", "/c.bin", "/a.bin"});
    EXPECT_EQ(Stored(), (std::vector<std::string>{"/b.bin", "/c.bin", "/a.bin"}));
    ChooseEach({"/a.bin"});  // already newest: nothing moves
    EXPECT_EQ(Stored(), (std::vector<std::string>{"/b.bin", "/c.bin", "/a.bin"}));
}

TEST_F(RecentFileListTest, EleventhFileDropsTheOldest)
{
    ChooseEach(Names(0, 9));
    ASSERT_EQ(Stored(), Names(0, 9));
    ChooseEach({"/data/image10.bin"});
    EXPECT_EQ(Stored(), Names(1, 10));
    const CProfileFile ini(Ini());
    EXPECT_EQ(ini.GetInt("File Number", "n", -1), 10);
    EXPECT_EQ(ini.GetString("LastFile", "File 9", ""), "/data/image10.bin");
    EXPECT_EQ(ini.GetString("LastFile", "File 0", ""), "/data/image1.bin");

    // The oldest chosen again in a full list: still ten, it becomes newest.
    ChooseEach({"/data/image1.bin"});
    std::vector<std::string> expected = Names(2, 10);
    expected.push_back("/data/image1.bin");
    EXPECT_EQ(Stored(), expected);
}

TEST_F(RecentFileListTest, LetterCaseMakesADifferentEntryAndLongPathsComeBackWhole)
{
    const std::string longPath = "/home/u/" + std::string(400, 'x') + "/固件 v2.hex";
    ChooseEach({"/Data/Image.BIN", "/data/image.bin", longPath});
    EXPECT_EQ(Stored(), (std::vector<std::string>{"/Data/Image.BIN", "/data/image.bin", longPath}));
}

TEST_F(RecentFileListTest, PathsTheFileCannotHoldAreRefused)
{
    CRecentFileList list(Ini());
    for (const std::string& bad : {std::string(), std::string("/a\nb.bin"), std::string("/a.bin "),
                                  std::string(" /a.bin"), std::string("/a\0b", 4)}) {
        EXPECT_FALSE(list.Add(bad)) << bad;
    }
    EXPECT_EQ(list.Size(), 0u);
}

TEST_F(RecentFileListTest, MissingKeysReadAsEmptyEntriesAndLargeCountsKeepTheNewest)
{
    CProfileFile ini(Ini());
    ASSERT_TRUE(ini.WriteString("File Number", "n", "3"));
    ASSERT_TRUE(ini.WriteString("LastFile", "File 2", "/newest.bin"));
    EXPECT_EQ(Stored(), (std::vector<std::string>{"", "", "/newest.bin"}));

    // A hand-edited file with 12 entries: the ten newest, newest last.
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(ini.WriteString("LastFile", CRecentFileList::EntryKey(std::size_t(i)),
                                    "/data/image" + std::to_string(i) + ".bin"));
    ASSERT_TRUE(ini.WriteString("File Number", "n", "12"));
    EXPECT_EQ(Stored(), Names(2, 11));
    // Opening the dialog rewrites the file as those ten: the next opening
    // shows the same ones.
    for (int opening = 0; opening < 2; ++opening) {
        CRecentFileList list(Ini());
        list.Load();
        ASSERT_TRUE(list.WriteCount());
        EXPECT_EQ(list.Entries(), Names(2, 11));
    }
    EXPECT_EQ(ini.GetInt("File Number", "n", -1), 10);
    EXPECT_EQ(ini.GetString("LastFile", "File 0", ""), "/data/image2.bin");

    ASSERT_TRUE(ini.WriteString("File Number", "n", "-4"));
    EXPECT_TRUE(Stored().empty());
}

TEST(RecentFileExtension, TakesTheFileNamesLastDot)
{
    struct Case {
        const char* path;
        const char* ext;
    };
    for (const Case& c : {Case{"/a/b/prog.hex", "hex"}, Case{"/a/b/prog.tar.BIN", "BIN"},
                          Case{"/a/v1.2/prog", ""}, Case{"prog.", ""}, Case{"prog", ""},
                          Case{"", ""}}) {
        EXPECT_EQ(CRecentFileList::ExtensionOf(c.path), c.ext) << c.path;
    }
}

} // namespace
