#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QPushButton>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "app/ProgrammerApp.h"
#include "platform/AppGlobals.h"
#include "platform/ProfileFile.h"
#include "platform/UiText.h"
#include "settings/HotkeyDlg.h"
#include "settings/SettingsGrid.h"
#include "settings/core/SettingsRecord.h"
#include "sordane/CatalogueEditor.h"
#include "tests/gui/WindowTestRig.h"
#include "tests/support/CjkText.h"
#include "widgets/CommandButtonWidget.h"
#include "widgets/PropertyGrid.h"
#include "widgets/UiTranslator.h"

namespace {

QString TranslationsDir()
{
    const char* bin = std::getenv("TAMBERLINK_BIN_DIR");
    return QString::fromUtf8(bin ? bin : ".") + QStringLiteral("/translations");
}

std::string Text(const QString& text)
{
    return text.toStdString();
}

// Every text of the window a person reads: captions, labels, tips, tabs,
// the settings grid and the log.
QStringList ShownTexts(CProgrammerDlg& dlg)
{
    QStringList texts{dlg.windowTitle()};
    for (const QWidget* widget : dlg.findChildren<QWidget*>())
        texts << widget->toolTip();
    for (const QAbstractButton* button : dlg.findChildren<QAbstractButton*>())
        texts << button->text();
    for (const QLabel* label : dlg.findChildren<QLabel*>())
        texts << label->text();
    for (int i = 0; i < dlg.TabControl()->count(); ++i)
        texts << dlg.TabControl()->tabText(i);
    for (QTreeWidgetItemIterator it(dlg.Grid()->Tree()); *it; ++it)
        texts << (*it)->text(0) << (*it)->text(1);
    CSettingsGrid& grid = dlg.SettingsGrid();
    for (const CPropertyGridItem* item :
         {grid.ProgTypeItem(), grid.ComPortItem(), grid.BaudSelItem(), grid.IspSettingItem(),
          grid.AutoDetectItem(), grid.SoundOnItem(), grid.HotkeyOnItem()})
        texts << item->Caption() << item->Description();
    for (int i = 0; i < dlg.LogList()->count(); ++i)
        texts << dlg.LogList()->item(i)->text();
    return texts;
}

// What the user reads must be whole at the template size: no caption cut
// short, no label running out of its box or into its neighbour.
void ExpectNoClippedText(QWidget& window)
{
    for (const CCommandButtonWidget* button : window.findChildren<CCommandButtonWidget*>()) {
        const QFontMetrics fm(button->font());
        EXPECT_LE(fm.horizontalAdvance(button->text()), button->CaptionWidth())
            << Text(button->text());
        EXPECT_LE(fm.height(), button->height()) << Text(button->text());
    }
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty())
            continue;
        const QFontMetrics fm(label->font());
        const QRect room = label->contentsRect();
        EXPECT_LE(fm.horizontalAdvance(label->text()), room.width()) << Text(label->text());
        EXPECT_LE(fm.height(), room.height()) << Text(label->text());
        for (const QObject* other : label->parentWidget()->children()) {
            const auto* sibling = qobject_cast<const QWidget*>(other);
            if (sibling && sibling != label && sibling->isVisible()) {
                EXPECT_FALSE(label->geometry().intersects(sibling->geometry()))
                    << Text(label->text()) << " covers " << sibling->metaObject()->className();
            }
        }
    }
    // Tabs too wide for their bar would need its scroll arrows.
    for (const QTabBar* tabs : window.findChildren<QTabBar*>()) {
        if (tabs->isVisible() && tabs->count() > 0) {
            EXPECT_LE(tabs->tabRect(tabs->count() - 1).right(), tabs->width())
                << Text(tabs->tabText(tabs->count() - 1));
        }
    }
}

class EnglishWindow : public CWindowTestRig {
protected:
    void SetUp() override
    {
        CWindowTestRig::SetUp();
        ASSERT_TRUE(m_translator.ProgramTranslationLoaded()) << Text(TranslationsDir());
    }
    CUiTranslator m_translator{*qApp, UiLanguage::English, TranslationsDir()};
};

TEST_F(EnglishWindow, SpeaksEnglishOnlyAndEveryTextFits)
{
    auto dlg = Open();
    // Every operation button marked for Auto: the longest captions.
    for (int id : {kCmdLoadFile, kCmdErase, kCmdWrite, kCmdRead, kCmdVerify})
        if (!dlg->Session().Button(id).IsMarked())
            dlg->Session().OnToggleMark(id);
    ASSERT_EQ(dlg->size(), dlg->TemplateSize());
    for (const QString& text : ShownTexts(*dlg))
        EXPECT_FALSE(ContainsCjk(Text(text))) << Text(text);
    EXPECT_TRUE(Log(*dlg).contains(QStringLiteral("Programmer: ready.")));
    ExpectNoClippedText(*dlg);

    // The other pages and the hotkey dialog too.
    for (int page = 0; page < 4; ++page) {
        dlg->SelectPage(page);
        ExpectNoClippedText(*dlg);
    }
    CHotkeyDlg hotkey(dlg.get());
    hotkey.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&hotkey));
    EXPECT_FALSE(ContainsCjk(Text(hotkey.windowTitle())));
    ExpectNoClippedText(hotkey);
}

TEST_F(EnglishWindow, SordaneSpeaksEnglish)
{
    CCatalogueEditor editor;
    editor.OpenFile(QString::fromStdString(m_dir.File("ChipList.chip")));
    QStringList texts{editor.windowTitle()};
    for (const QAction* action : editor.findChildren<QAction*>())
        texts << action->text();
    for (int column = 0; column < 5; ++column)
        texts << editor.findChild<QTableView*>()->model()->headerData(column, Qt::Horizontal)
                     .toString();
    for (const QString& text : texts)
        EXPECT_FALSE(ContainsCjk(Text(text))) << Text(text);
    EXPECT_TRUE(texts.contains(QStringLiteral("&Save")));
}

class WindowSizeTest : public CWindowTestRig {};

// The window grows from the template's size; at that size every control is
// where the template puts it, before and after any resizing.
TEST_F(WindowSizeTest, LogPageTakesTheExtraRoomAndTheTemplateSizeLooksAsBefore)
{
    auto dlg = Open();
    const QSize base = dlg->TemplateSize();
    ASSERT_EQ(dlg->size(), base);
    EXPECT_EQ(dlg->minimumSize(), base);
    EXPECT_EQ(dlg->TabControl()->geometry(), dlg->MapDialogRect(142, 1, 209, 261));
    std::map<const QWidget*, QRect> before;
    for (const QWidget* child : dlg->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        before[child] = child->geometry();

    ASSERT_EQ(dlg->CurrentPage(), 2);
    const QRect log = dlg->LogList()->geometry();
    dlg->resize(1000, 700);
    QApplication::processEvents();
    const QSize extra(1000 - base.width(), 700 - base.height());
    EXPECT_EQ(dlg->LogList()->geometry(), log.adjusted(0, 0, extra.width(), extra.height()));
    EXPECT_EQ(dlg->LogList()->geometry(), dlg->PageRect());
    // The command column stays as it is.
    for (const auto& [child, rect] : before) {
        if (child->geometry().left() < dlg->TabControl()->geometry().left()) {
            EXPECT_EQ(child->geometry(), rect) << child->metaObject()->className();
        }
    }
    // Pages brought forward at the new size fill it too.
    dlg->SelectPage(3);
    EXPECT_EQ(dlg->Grid()->geometry(), dlg->PageRect().adjusted(-1, -1, 1, 1));
    dlg->SelectPage(2);

    // A window cannot shrink below the template, and back at its size all is
    // as it was.
    dlg->resize(200, 100);
    QApplication::processEvents();
    EXPECT_EQ(dlg->size(), base);
    for (const auto& [child, rect] : before)
        EXPECT_EQ(child->geometry(), rect) << child->metaObject()->className();
}

TEST_F(WindowSizeTest, SizeAndPlaceComeBackAfterARestartAndTheBlockStaysAsItWas)
{
    const std::string ini = IniFilePath(SettingsRecord::kFileName);
    {
        auto dlg = Open();
        dlg->setGeometry(40, 30, 1000, 700);
        QApplication::processEvents();
        dlg->reject();  // Esc: saves, then closes
    }
    const CProfileFile file(ini);
    const std::string block = file.GetString(SettingsRecord::kSection, SettingsRecord::kKey, "");
    SettingsRecord stored;
    ASSERT_TRUE(stored.Load(ini));
    EXPECT_EQ(block, CProfileFile::EncodeStruct(stored.ToBytes().data(), SettingsRecord::kSize));
    EXPECT_EQ(block.size(), 114u);

    auto dlg = Open();
    EXPECT_EQ(dlg->size(), QSize(1000, 700));
    EXPECT_EQ(dlg->geometry().topLeft(), QPoint(40, 30));
    EXPECT_EQ(dlg->LogList()->geometry(), dlg->PageRect());
}

TEST_F(WindowSizeTest, ADamagedOrTooSmallSizeFallsBackToTheTemplate)
{
    CProfileFile ini(IniFilePath(SettingsRecord::kFileName));
    ini.WriteString("Window", "width", "12");
    ini.WriteString("Window", "height", "9");
    ini.WriteString("Window", "x", "-90000");
    ini.WriteString("Window", "y", "40");
    auto dlg = Open();
    EXPECT_EQ(dlg->size(), dlg->TemplateSize());
    EXPECT_EQ(dlg->TabControl()->geometry(), dlg->MapDialogRect(142, 1, 209, 261));
}

// The window's translation source: every %1 of a text is in its
// translation, and so is its accelerator; every Chinese literal of the Qt
// code has an English text here or in the core catalogue.
struct TsMessage {
    QString context;
    QString source;
    QString translation;
};

std::vector<TsMessage> ReadTs(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << Text(path);
    QXmlStreamReader xml(&file);
    std::vector<TsMessage> messages;
    QString context;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("source"))
            messages.push_back({context, xml.readElementText(), {}});
        else if (xml.name() == QLatin1String("translation") && !messages.empty())
            messages.back().translation = xml.readElementText();
    }
    EXPECT_FALSE(xml.hasError()) << Text(xml.errorString());
    return messages;
}

QString TsPath()
{
    return QStringLiteral(TAMBERLINK_SOURCE_DIR "/res/translations/tamberlink_en.ts");
}

TEST(WindowTranslation, PlaceholdersAndAcceleratorsMatch)
{
    const QRegularExpression placeholder(QStringLiteral("%(\\d+)"));
    auto placeholders = [&](const QString& text) {
        std::multiset<int> found;
        for (const auto& match : placeholder.globalMatch(text))
            found.insert(match.captured(1).toInt());
        return found;
    };
    auto accelerators = [](const QString& text) {
        return QString(text).remove(QStringLiteral("&&")).count(QLatin1Char('&'));
    };
    const std::vector<TsMessage> messages = ReadTs(TsPath());
    ASSERT_GT(messages.size(), 60u);
    for (const TsMessage& m : messages) {
        EXPECT_EQ(placeholders(m.translation), placeholders(m.source)) << Text(m.source);
        EXPECT_EQ(accelerators(m.translation), accelerators(m.source)) << Text(m.source);
        EXPECT_FALSE(ContainsCjk(Text(m.translation))) << Text(m.source);
    }
}

TEST(WindowTranslation, EveryChineseLiteralOfTheQtCodeHasAnEnglishText)
{
    std::set<std::string> known;
    for (const TsMessage& m : ReadTs(TsPath()))
        known.insert(Text(m.source));
    for (const CUiText::Entry& entry : CUiText::Catalogue())
        known.insert(entry.chinese);
    namespace fs = std::filesystem;
    const fs::path root = TAMBERLINK_SOURCE_DIR;
    int literals = 0;
    for (const char* folder : {"app", "settings", "widgets", "sordane"}) {
        // The Qt code's own folder only: app/core and settings/core are the
        // core's, checked with its catalogue.
        for (const fs::directory_entry& file : fs::directory_iterator(root / folder)) {
            const std::string ext = file.path().extension().string();
            if (ext != ".cpp" && ext != ".h")
                continue;
            for (const SourceLiteral& literal : ReadStringLiterals(file.path())) {
                if (!ContainsCjk(literal.text) || literal.notShown)
                    continue;
                ++literals;
                EXPECT_TRUE(known.count(literal.text))
                    << fs::relative(file.path(), root).string() << ":" << literal.line << ": \""
                    << literal.text << "\" is not in res/translations/tamberlink_en.ts "
                    << "(scripts/update-translations.sh adds it)";
            }
        }
    }
    EXPECT_GT(literals, 60);
}

// Qt's own texts come in Chinese only with a Chinese interface; the core
// follows the translator and is Chinese again once it goes.
TEST(WindowLanguageOption, QtOwnTextsAndTheCoreFollowTheTranslator)
{
    auto cancelText = [] {
        QDialogButtonBox buttons(QDialogButtonBox::Cancel);
        return buttons.button(QDialogButtonBox::Cancel)->text();
    };
    {
        const CUiTranslator english(*qApp, UiLanguage::English, TranslationsDir());
        EXPECT_EQ(cancelText(), QStringLiteral("Cancel"));
        EXPECT_EQ(CUiText::Language(), UiLanguage::English);
        EXPECT_EQ(CSettingsGrid::tr(CSettingsGrid::kHotkeyOn), QStringLiteral("Use hotkey"));
    }
    EXPECT_EQ(CUiText::Language(), UiLanguage::Chinese);
    EXPECT_EQ(CSettingsGrid::tr(CSettingsGrid::kHotkeyOn), QStringLiteral("使用热键"));
    const CUiTranslator chinese(*qApp, UiLanguage::Chinese, TranslationsDir());
    if (QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath)
                          + QStringLiteral("/qtbase_zh_CN.qm"))) {
        EXPECT_EQ(cancelText(), QStringLiteral("取消"));
    }
}

TEST(WindowLanguageOption, LangTakesZhOrEn)
{
    const auto english = CProgrammerApp::ParseArguments(
        {QStringLiteral("tamberlink"), QStringLiteral("--lang"), QStringLiteral("en")});
    EXPECT_TRUE(english.error.isEmpty());
    EXPECT_EQ(english.lang, QStringLiteral("en"));
    const auto wrong = CProgrammerApp::ParseArguments(
        {QStringLiteral("tamberlink"), QStringLiteral("--lang"), QStringLiteral("de")});
    EXPECT_FALSE(wrong.error.isEmpty());
    EXPECT_TRUE(CProgrammerApp::Usage().contains(QStringLiteral("TAMBERLINK_LANG")));
}

} // namespace
