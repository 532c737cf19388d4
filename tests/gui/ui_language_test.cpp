#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "platform/AppGlobals.h"
#include "platform/ProfileFile.h"
#include "platform/UiText.h"
#include "settings/HotkeyDlg.h"
#include "settings/SettingsGrid.h"
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

// Text a person reads must be whole: no caption cut short, no label out of
// its box or over its neighbour, no tab pushed off its bar.
void ExpectNoClippedText(QWidget& window)
{
    for (const CCommandButtonWidget* button : window.findChildren<CCommandButtonWidget*>())
        EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), button->CaptionWidth())
            << Text(button->text());
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty())
            continue;
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()),
                  label->contentsRect().width())
            << Text(label->text());
        for (const QWidget* other : label->parentWidget()->findChildren<QWidget*>(
                 Qt::FindDirectChildrenOnly)) {
            const bool overlaps = other != label && other->isVisible()
                && label->geometry().intersects(other->geometry());
            EXPECT_FALSE(overlaps) << Text(label->text()) << " covers a "
                                   << other->metaObject()->className();
        }
    }
    for (const QTabBar* tabs : window.findChildren<QTabBar*>()) {
        const bool fits = !tabs->isVisible() || tabs->count() == 0
            || tabs->tabRect(tabs->count() - 1).right() <= tabs->width();
        EXPECT_TRUE(fits) << Text(tabs->tabText(tabs->count() - 1));
    }
}

class EnglishWindow : public CWindowTestRig {
protected:
    CUiTranslator m_translator{*qApp, UiLanguage::English, TranslationsDir()};
};

TEST_F(EnglishWindow, SpeaksEnglishOnlyAndEveryTextFitsAtTheTemplateSize)
{
    ASSERT_TRUE(m_translator.ProgramTranslationLoaded()) << Text(TranslationsDir());
    auto dlg = Open();
    // Every operation button marked for Auto: the longest captions.
    for (int id : {kCmdLoadFile, kCmdErase, kCmdWrite, kCmdRead, kCmdVerify})
        dlg->Session().OnToggleMark(id);
    ASSERT_EQ(dlg->size(), dlg->TemplateSize());

    QStringList texts = Log(*dlg);
    for (const QWidget* widget : dlg->findChildren<QWidget*>())
        texts << widget->toolTip() << widget->property("text").toString();
    for (int i = 0; i < dlg->TabControl()->count(); ++i)
        texts << dlg->TabControl()->tabText(i);
    for (QTreeWidgetItemIterator it(dlg->Grid()->Tree()); *it; ++it)
        texts << (*it)->text(0) << (*it)->text(1);
    texts << dlg->SettingsGrid().HotkeyOnItem()->Description();
    for (const QString& text : texts)
        EXPECT_FALSE(ContainsCjk(Text(text))) << Text(text);
    EXPECT_TRUE(texts.contains(QStringLiteral("Programmer: ready.")));
    EXPECT_TRUE(texts.contains(QStringLiteral("(Auto) Verify data")));

    for (int page = 0; page < 4; ++page) {
        dlg->SelectPage(page);
        ExpectNoClippedText(*dlg);
    }
    CHotkeyDlg hotkey(dlg.get());
    hotkey.show();
    EXPECT_FALSE(ContainsCjk(Text(hotkey.windowTitle())));
    ExpectNoClippedText(hotkey);

    CCatalogueEditor editor;
    editor.OpenFile(QString::fromStdString(m_dir.File("ChipList.chip")));
    EXPECT_FALSE(ContainsCjk(Text(editor.windowTitle())));
    for (const QAction* action : editor.findChildren<QAction*>())
        EXPECT_FALSE(ContainsCjk(Text(action->text()))) << Text(action->text());
}

// Qt's own texts come in Chinese only with a Chinese interface; the core
// follows the translator and is Chinese again once it goes.
TEST(UiTranslatorTest, QtOwnTextsAndTheCoreFollowTheLanguage)
{
    auto cancel = [] {
        QDialogButtonBox buttons(QDialogButtonBox::Cancel);
        return buttons.button(QDialogButtonBox::Cancel)->text();
    };
    {
        const CUiTranslator english(*qApp, UiLanguage::English, TranslationsDir());
        EXPECT_EQ(cancel(), QStringLiteral("Cancel"));
        EXPECT_STREQ(Tr("编程器:就绪."), "Programmer: ready.");
        EXPECT_EQ(CSettingsGrid::tr(CSettingsGrid::kHotkeyOn), QStringLiteral("Use hotkey"));
    }
    EXPECT_EQ(CUiText::Language(), UiLanguage::Chinese);
    EXPECT_EQ(CSettingsGrid::tr(CSettingsGrid::kHotkeyOn), QStringLiteral("使用热键"));
    const CUiTranslator chinese(*qApp, UiLanguage::Chinese, TranslationsDir());
    EXPECT_TRUE(cancel() == QStringLiteral("取消") || cancel() == QStringLiteral("Cancel"));
}

class WindowSizeTest : public CWindowTestRig {};

// The window grows from the template's size: the page shown takes the extra
// room, the command column stays; back at that size all is as before.
TEST_F(WindowSizeTest, LogPageTakesTheExtraRoomAndTheTemplateSizeLooksAsBefore)
{
    auto dlg = Open();
    const QSize base = dlg->TemplateSize();
    ASSERT_EQ(dlg->size(), base);
    EXPECT_EQ(dlg->TabControl()->geometry(), dlg->MapDialogRect(142, 1, 209, 261));
    std::map<const QWidget*, QRect> before;
    for (const QWidget* child : dlg->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        before[child] = child->geometry();

    const QRect log = dlg->LogList()->geometry();
    dlg->resize(1000, 700);
    QApplication::processEvents();
    EXPECT_EQ(dlg->LogList()->geometry(),
              log.adjusted(0, 0, 1000 - base.width(), 700 - base.height()));
    for (const auto& [child, rect] : before) {
        if (rect.right() < dlg->TabControl()->x()) {
            EXPECT_EQ(child->geometry(), rect) << child->metaObject()->className();
        }
    }
    dlg->SelectPage(3);
    EXPECT_EQ(dlg->Grid()->geometry(), dlg->PageRect().adjusted(-1, -1, 1, 1));
    dlg->SelectPage(2);

    dlg->resize(200, 100);  // never below the template
    QApplication::processEvents();
    EXPECT_EQ(dlg->size(), base);
    for (const auto& [child, rect] : before)
        EXPECT_EQ(child->geometry(), rect) << child->metaObject()->className();
}

TEST_F(WindowSizeTest, SizeAndPlaceComeBackAfterARestartBesideAnUntouchedBlock)
{
    const std::string ini = IniFilePath(SettingsRecord::kFileName);
    {
        auto dlg = Open();
        dlg->setGeometry(40, 30, 1000, 700);
        QApplication::processEvents();
        dlg->reject();  // Esc: saves, then closes
    }
    SettingsRecord stored;
    ASSERT_TRUE(stored.Load(ini));
    EXPECT_EQ(CProfileFile(ini).GetString(SettingsRecord::kSection, SettingsRecord::kKey, ""),
              CProfileFile::EncodeStruct(stored.ToBytes().data(), SettingsRecord::kSize));
    {
        auto dlg = Open();
        EXPECT_EQ(dlg->geometry(), QRect(40, 30, 1000, 700));
        EXPECT_EQ(dlg->LogList()->geometry(), dlg->PageRect());
    }
    // A size below the template and a place off every screen are not taken.
    CProfileFile(ini).WriteString("Window", "width", "12");
    CProfileFile(ini).WriteString("Window", "x", "-30000");
    auto dlg = Open();
    EXPECT_EQ(dlg->size(), QSize(dlg->TemplateSize().width(), 700));
    EXPECT_NE(dlg->geometry().x(), -30000);
}

// The window's translation source: placeholders and accelerators kept, no
// Chinese left; and every Chinese literal of the Qt code has an entry in it
// (or, for the core's texts the window shows, in the core catalogue).
TEST(WindowTranslation, SourceFileIsSoundAndComplete)
{
    QFile file(QStringLiteral(TAMBERLINK_SOURCE_DIR "/res/translations/tamberlink_en.ts"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    std::vector<std::pair<QString, QString>> messages;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("source"))
            messages.emplace_back(xml.readElementText(), QString());
        else if (xml.name() == QLatin1String("translation") && !messages.empty())
            messages.back().second = xml.readElementText();
    }
    ASSERT_FALSE(xml.hasError()) << Text(xml.errorString());
    ASSERT_GT(messages.size(), 60u);

    const QRegularExpression placeholder(QStringLiteral("%\\d+"));
    auto marks = [&](const QString& text) {
        QStringList found;
        for (const auto& match : placeholder.globalMatch(text))
            found << match.captured();
        found.sort();
        return found << QString::number(QString(text).remove(QStringLiteral("&&")).count('&'));
    };
    std::set<std::string> known;
    for (const auto& [source, translation] : messages) {
        EXPECT_EQ(marks(translation), marks(source)) << Text(source);
        EXPECT_FALSE(ContainsCjk(Text(translation))) << Text(source);
        known.insert(Text(source));
    }
    for (const CUiText::Entry& entry : CUiText::Catalogue())
        known.insert(entry.chinese);
    for (const std::string& missing :
         ChineseLiteralsNotIn(known, {"app", "settings", "widgets", "sordane"}))
        ADD_FAILURE() << missing << " is not in tamberlink_en.ts (scripts/update-translations.sh)";
}

} // namespace
