#include "app/ProgrammerDlg.h"
#include "programmer/DeviceCatalogue.h"
#include "sordane/CatalogueEditor.h"
#include "sordane/CatalogueModel.h"
#include "sordane/RecordDlg.h"
#include "sordane/RecordFieldCodec.h"
#include "tests/gui/WindowTestRig.h"
#include "tests/support/TempDir.h"
#include "widgets/HyperLink.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

namespace {

DeviceRecord Device(const char* name, std::uint8_t code, std::int32_t rom, float volts,
                    std::array<std::uint8_t, 3> signature)
{
    DeviceRecord record;
    record.name = name;
    record.deviceCode = code;
    record.romSizeKB = rom;
    record.programVoltage = volts;
    record.signature = signature;
    return record;
}

const std::vector<DeviceRecord> kStart = {
    Device("AT89S52", 2, 8, 5.0f, {0x1E, 0x52, 0x06}),
    Device("AT89C51", 3, 4, 12.0f, {0x1E, 0x51, 0xFF}),
    Device("AT89C2051", 10, 2, 5.0f, {0x1E, 0x21, 0xFF}),
};

std::vector<std::string> Names(const std::vector<DeviceRecord>& records)
{
    std::vector<std::string> names;
    for (const DeviceRecord& record : records)
        names.push_back(record.name);
    return names;
}

}  // namespace

TEST(SordaneModel, EditsRoundTripToAFileTheProgrammerReads)
{
    CTempDir dir;
    const std::string path = dir.File("ChipList.chip");
    ASSERT_TRUE(WriteCatalogueFile(path, kStart));

    CCatalogueModel model;
    QSignalSpy modified(&model, &CCatalogueModel::modifiedChanged);
    ASSERT_TRUE(model.Load(QString::fromStdString(path)));
    EXPECT_EQ(model.Records(), kStart);
    EXPECT_FALSE(model.IsModified());
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.columnCount(), 5);

    // Add in the middle, edit through the table's cells, reorder, remove.
    const DeviceRecord added = Device("STC89C52 中文", 40, 8, 5.5f, {0xD1, 0x7E, 0x02});
    EXPECT_EQ(model.AddRecord(added, 1), 1);
    EXPECT_TRUE(model.IsModified());
    EXPECT_EQ(modified.count(), 1);
    EXPECT_TRUE(model.setData(model.index(0, CRecordFieldCodec::kVoltage), QStringLiteral("4.75")));
    EXPECT_TRUE(model.setData(model.index(0, CRecordFieldCodec::kSignature), QStringLiteral("1e 52 07")));
    EXPECT_TRUE(model.MoveDown(0));  // AT89S52 below the new record
    EXPECT_TRUE(model.MoveUp(3));    // AT89C2051 above AT89C51
    EXPECT_TRUE(model.RemoveRecord(3));  // AT89C51, now last
    EXPECT_EQ(Names(model.Records()),
              (std::vector<std::string>{"STC89C52 中文", "AT89S52", "AT89C2051"}));

    const std::string out = dir.File("edited.chip");
    ASSERT_TRUE(model.Save(QString::fromStdString(out)));
    EXPECT_FALSE(model.IsModified());
    EXPECT_EQ(model.FilePath(), QString::fromStdString(out));

    DeviceRecord s52 = kStart[0];
    s52.programVoltage = 4.75f;
    s52.signature = {0x1E, 0x52, 0x07};
    const std::vector<DeviceRecord> expected = {added, s52, kStart[2]};
    EXPECT_EQ(ReadCatalogueFile(out), expected);
    // The first file is left as it was.
    EXPECT_EQ(ReadCatalogueFile(path), kStart);

    // Shown as the device list and the log show them.
    EXPECT_EQ(model.data(model.index(1, CRecordFieldCodec::kVoltage)).toString(), "4.75");
    EXPECT_EQ(model.data(model.index(1, CRecordFieldCodec::kSignature)).toString(), "1E 52 07");
    EXPECT_EQ(model.data(model.index(0, CRecordFieldCodec::kName)).toString(),
              QStringLiteral("STC89C52 中文"));
}

TEST(SordaneModel, OperationsOutOfRangeChangeNothing)
{
    CCatalogueModel model;
    model.New(QStringLiteral("/nonexistent/ChipList.chip"));
    model.AddRecord(kStart[0]);
    model.AddRecord(kStart[1], 99);  // past the end appends
    EXPECT_FALSE(model.Save(QString()));
    EXPECT_TRUE(model.IsModified());
    EXPECT_EQ(Names(model.Records()), (std::vector<std::string>{"AT89S52", "AT89C51"}));

    EXPECT_FALSE(model.MoveUp(0));
    EXPECT_FALSE(model.MoveDown(1));
    EXPECT_FALSE(model.MoveUp(5));
    EXPECT_FALSE(model.MoveDown(-1));
    EXPECT_FALSE(model.RemoveRecord(2));
    EXPECT_FALSE(model.UpdateRecord(-1, kStart[2]));
    EXPECT_EQ(Names(model.Records()), (std::vector<std::string>{"AT89S52", "AT89C51"}));

    // A folder that does not exist cannot be written: reported, still unsaved.
    EXPECT_FALSE(model.Save(model.FilePath()));
    EXPECT_TRUE(model.IsModified());
}

TEST(SordaneModel, AFailedLoadKeepsTheCurrentCatalogue)
{
    CTempDir dir;
    const std::string path = dir.File("a.chip");
    ASSERT_TRUE(WriteCatalogueFile(path, kStart));
    CCatalogueModel model;
    ASSERT_TRUE(model.Load(QString::fromStdString(path)));
    model.RemoveRecord(0);

    EXPECT_FALSE(model.Load(QString::fromStdString(dir.File("missing.chip"))));
    EXPECT_FALSE(model.Load(QString::fromStdString(dir.Path().string())));  // a folder
    EXPECT_EQ(model.Records().size(), 2u);
    EXPECT_TRUE(model.IsModified());
    EXPECT_EQ(model.FilePath(), QString::fromStdString(path));
}

TEST(SordaneModel, RejectedInlineEditLeavesTheRecordAndSaysWhy)
{
    CCatalogueModel model;
    model.AddRecord(kStart[0]);
    QSignalSpy rejected(&model, &CCatalogueModel::editRejected);

    EXPECT_FALSE(model.setData(model.index(0, CRecordFieldCodec::kCode), QStringLiteral("256")));
    EXPECT_FALSE(model.setData(model.index(0, CRecordFieldCodec::kSignature), QStringLiteral("1E 52")));
    EXPECT_EQ(rejected.count(), 2);
    EXPECT_FALSE(rejected.first().first().toString().isEmpty());
    EXPECT_EQ(model.Records().front(), kStart[0]);
}

// Each bad input names a field and a text the catalogue cannot hold.
struct BadInput {
    int field;
    const char* text;
};

class SordaneRejects : public ::testing::TestWithParam<BadInput> {};

TEST_P(SordaneRejects, BadFieldText)
{
    DeviceRecord record = kStart[0];
    const QString reason =
        CRecordFieldCodec::Parse(GetParam().field, QString::fromUtf8(GetParam().text), record);
    EXPECT_FALSE(reason.isEmpty()) << GetParam().text;
    EXPECT_EQ(record, kStart[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SordaneRejects,
    ::testing::Values(
        BadInput{CRecordFieldCodec::kName, ""}, BadInput{CRecordFieldCodec::kName, "   "},
        BadInput{CRecordFieldCodec::kName, "ABCDEFGHIJKLMNOPQRST"},  // 20 bytes
        BadInput{CRecordFieldCodec::kName, "中文中文中文中文中文"},    // 20 bytes in GBK
        BadInput{CRecordFieldCodec::kName, "AT89😀"},                  // not in GBK
        BadInput{CRecordFieldCodec::kName, "한국"},
        BadInput{CRecordFieldCodec::kName, "A\tB"},
        BadInput{CRecordFieldCodec::kCode, "-1"}, BadInput{CRecordFieldCodec::kCode, "256"},
        BadInput{CRecordFieldCodec::kCode, "0x100"}, BadInput{CRecordFieldCodec::kCode, "2a"},
        BadInput{CRecordFieldCodec::kCode, ""}, BadInput{CRecordFieldCodec::kRomSize, "129"},
        BadInput{CRecordFieldCodec::kRomSize, "-4"}, BadInput{CRecordFieldCodec::kRomSize, "4.5"},
        BadInput{CRecordFieldCodec::kVoltage, "abc"}, BadInput{CRecordFieldCodec::kVoltage, "-5"},
        BadInput{CRecordFieldCodec::kVoltage, "nan"}, BadInput{CRecordFieldCodec::kVoltage, "inf"},
        BadInput{CRecordFieldCodec::kVoltage, "1e9"},
        BadInput{CRecordFieldCodec::kSignature, "1E 51"},
        BadInput{CRecordFieldCodec::kSignature, "1E 51 06 07"},
        BadInput{CRecordFieldCodec::kSignature, "1E 51 G6"},
        BadInput{CRecordFieldCodec::kSignature, "1E 51 106"},
        BadInput{CRecordFieldCodec::kSignature, "1E510"},
        BadInput{CRecordFieldCodec::kSignature, ""}));

TEST(SordaneCodec, AcceptsTheUsualSpellings)
{
    struct Good {
        int field;
        const char* text;
        const char* shown;
    };
    const Good cases[] = {
        {CRecordFieldCodec::kName, "  AT89S8253 ", "AT89S8253"},
        {CRecordFieldCodec::kName, "ABCDEFGHIJKLMNOPQRS", "ABCDEFGHIJKLMNOPQRS"},  // 19 bytes
        {CRecordFieldCodec::kName, "中文中文中文", "中文中文中文"},                  // 12 bytes
        // 19 bytes in GBK, as the file stores it (28 in UTF-8).
        {CRecordFieldCodec::kName, "A芯片模模中文中文中", "A芯片模模中文中文中"},
        {CRecordFieldCodec::kCode, "0", "0"},
        {CRecordFieldCodec::kCode, "255", "255"},
        {CRecordFieldCodec::kCode, "0x1F", "31"},
        {CRecordFieldCodec::kRomSize, "0", "0"},
        {CRecordFieldCodec::kRomSize, "128", "128"},
        {CRecordFieldCodec::kVoltage, "5", "5.00"},
        {CRecordFieldCodec::kVoltage, "12.0V", "12.00"},
        {CRecordFieldCodec::kSignature, "1e5106", "1E 51 06"},
        {CRecordFieldCodec::kSignature, "0x1E,0x51,0x6", "1E 51 06"},
        {CRecordFieldCodec::kSignature, "1E-51-FF", "1E 51 FF"},
    };
    for (const Good& c : cases) {
        DeviceRecord record = kStart[1];
        EXPECT_TRUE(CRecordFieldCodec::Parse(c.field, QString::fromUtf8(c.text), record).isEmpty())
            << c.text;
        EXPECT_EQ(CRecordFieldCodec::Format(record, c.field), QString::fromUtf8(c.shown)) << c.text;
    }
}

TEST(SordaneRecordDlg, OkTakesAllFieldsOrNone)
{
    CRecordDlg dlg(kStart[0]);
    dlg.FieldEdit(CRecordFieldCodec::kName)->setText(QStringLiteral("P89V51RD2"));
    dlg.FieldEdit(CRecordFieldCodec::kRomSize)->setText(QStringLiteral("64"));
    dlg.FieldEdit(CRecordFieldCodec::kSignature)->setText(QStringLiteral("1E 5"));
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.ErrorText().isEmpty());
    EXPECT_EQ(dlg.Record(), kStart[0]);

    dlg.FieldEdit(CRecordFieldCodec::kSignature)->setText(QStringLiteral("BF 91 01"));
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(dlg.ErrorText().isEmpty());
    EXPECT_EQ(dlg.Record(), Device("P89V51RD2", 2, 64, 5.0f, {0xBF, 0x91, 0x01}));
}

// The editor's window as a user drives it: menu commands, the record form
// and the file, with names the catalogue keeps in GBK.
class SordaneWindow : public ::testing::Test {
protected:
    // Triggers the menu command and answers the record form it opens.
    static void RunForm(QWidget& window, const QString& command,
                        const std::function<void(CRecordDlg&)>& fill)
    {
        bool answered = false;
        QTimer::singleShot(0, [&] {
            if (auto* dlg = qobject_cast<CRecordDlg*>(QApplication::activeModalWidget())) {
                fill(*dlg);
                answered = !dlg->isVisible();
                if (!answered)
                    dlg->reject();  // a form left open would hang the test
            }
        });
        for (QAction* action : window.findChildren<QAction*>())
            if (action->text() == command)
                action->trigger();
        EXPECT_TRUE(answered) << command.toStdString();
    }

    CTempDir m_dir;
};

TEST_F(SordaneWindow, OpenAddEditSaveReopenKeepsGbkNames)
{
    const std::string path = m_dir.File("ChipList.chip");
    ASSERT_TRUE(WriteCatalogueFile(path, {Device("芯片", 2, 4, 5.0f, {}), kStart[0]}));
    {
        CCatalogueEditor editor;
        ASSERT_TRUE(editor.OpenFile(QString::fromStdString(path)));
        CCatalogueModel& model = *editor.Model();
        // A name GBK cannot hold is refused, naming the character; the form
        // stays open for a better one.
        QString refusal;
        RunForm(editor, QStringLiteral("添加(&N)..."), [&](CRecordDlg& dlg) {
            dlg.FieldEdit(CRecordFieldCodec::kName)->setText(QStringLiteral("AT89😀"));
            dlg.accept();
            refusal = dlg.ErrorText();
            dlg.FieldEdit(CRecordFieldCodec::kName)->setText(QStringLiteral("模模"));
            dlg.accept();
        });
        EXPECT_TRUE(refusal.contains(QStringLiteral("😀"))) << refusal.toStdString();
        editor.View()->setCurrentIndex(model.index(2, 0));
        RunForm(editor, QStringLiteral("编辑(&E)..."), [&](CRecordDlg& dlg) {
            dlg.FieldEdit(CRecordFieldCodec::kRomSize)->setText(QStringLiteral("16"));
            dlg.accept();
        });
        EXPECT_FALSE(model.setData(model.index(0, CRecordFieldCodec::kName), QStringLiteral("芯😀")));
        EXPECT_TRUE(editor.statusBar()->currentMessage().contains(QStringLiteral("😀")));
        for (QAction* action : editor.findChildren<QAction*>())
            if (action->text() == QStringLiteral("保存(&S)"))
                action->trigger();
        EXPECT_FALSE(model.IsModified());
    }
    // Two bytes a character, as Windows tools write and read them.
    std::ifstream in(path, std::ios::binary);
    const std::string file{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(file.substr(8, 5), std::string("\xD0\xBE\xC6\xAC\0", 5));
    EXPECT_EQ(file.substr(8 + kDeviceRecordSize, 5), std::string("\xC4\xA3\xC4\xA3\0", 5));

    CCatalogueEditor again;
    ASSERT_TRUE(again.OpenFile(QString::fromStdString(path)));
    const std::vector<DeviceRecord>& records = again.Model()->Records();
    ASSERT_EQ(Names(records), (std::vector<std::string>{"芯片", "模模", "AT89S52"}));
    EXPECT_EQ(records[2].romSizeKB, 16);
}

// The main window's link starts the editor from the program folder, with no
// arguments; without one there the click does nothing visible.
class SordaneLaunch : public CWindowTestRig {};

TEST_F(SordaneLaunch, LinkStartsTheToolFromTheProgramFolder)
{
    // A stand-in that records how many arguments it got.
    const std::string tool = m_dir.File("Sordane");
    std::ofstream(tool) << "#!/bin/sh\necho $# > \"$(dirname \"$0\")/launched.tmp\"\n"
                           "mv \"$(dirname \"$0\")/launched.tmp\" \"$(dirname \"$0\")/launched\"\n";
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);

    auto dlg = Open();
    ASSERT_NE(dlg->ToolLink(), nullptr);
    const int logLines = dlg->LogList()->count();
    QTest::mouseClick(dlg->ToolLink(), Qt::LeftButton);

    const std::string marker = m_dir.File("launched");
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(marker); }, kHangGuardMs));
    std::string arguments;
    std::ifstream(marker) >> arguments;
    EXPECT_EQ(arguments, "0");
    EXPECT_EQ(dlg->LogList()->count(), logLines);
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(SordaneLaunch, MissingToolIsSilent)
{
    auto dlg = Open();
    const int logLines = dlg->LogList()->count();
    QTest::mouseClick(dlg->ToolLink(), Qt::LeftButton);
    QTest::qWait(50);
    EXPECT_EQ(dlg->LogList()->count(), logLines);
    EXPECT_TRUE(m_messages.Texts().empty());
}
