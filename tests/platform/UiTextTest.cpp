#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "platform/FormatSpecs.h"
#include "platform/UiLanguage.h"
#include "platform/UiText.h"
#include "tests/support/CjkText.h"

namespace {

using Env = std::map<std::string, std::string>;
constexpr UiLanguage zh = UiLanguage::Chinese;
constexpr UiLanguage en = UiLanguage::English;

EnvironmentReader Reader(const Env& env)
{
    return [env](const char* name) -> const char* {
        const auto found = env.find(name);
        return found == env.end() ? nullptr : found->second.c_str();
    };
}

TEST(UiLanguageChoice, LocaleAsGettextReadsIt)
{
    const std::pair<Env, UiLanguage> cases[] = {
        {{}, zh},
        {{{"LANG", "C.UTF-8"}}, zh},
        {{{"LC_ALL", "POSIX"}, {"LANG", "de_DE"}}, zh},
        {{{"LANG", "zh_TW"}}, zh},
        {{{"LANG", "de_DE.UTF-8"}}, en},
        {{{"LC_MESSAGES", "en_GB"}, {"LANG", "zh_CN"}}, en},
        {{{"LC_ALL", ""}, {"LANG", "zh_CN"}}, zh},
        {{{"LANGUAGE", "en"}, {"LANG", "zh_CN.UTF-8"}}, en},
        {{{"LANGUAGE", "fr:zh_CN:en"}, {"LANG", "fr_FR"}}, zh},
        {{{"LANGUAGE", "fr:zhx"}, {"LANG", "zh_CN"}}, en},
        {{{"LANGUAGE", "en"}, {"LANG", "C"}}, zh},  // ignored under C
    };
    for (const auto& [env, expected] : cases)
        EXPECT_EQ(UiLanguageFromLocale(Reader(env)), expected) << testing::PrintToString(env);
}

TEST(UiLanguageChoice, OptionThenVariableThenLocale)
{
    const Env german = {{"LANG", "de_DE.UTF-8"}};
    EXPECT_EQ(ChooseWindowLanguage("", Reader(german)), en);
    EXPECT_EQ(ChooseWindowLanguage("zh", Reader(german)), zh);
    EXPECT_EQ(ChooseWindowLanguage("", Reader({{"LANG", "de"}, {"TAMBERLINK_LANG", "zh"}})), zh);
    EXPECT_EQ(ChooseWindowLanguage("", Reader({{"LANG", "zh"}, {"TAMBERLINK_LANG", "fr"}})), zh);
    // The command line's log lines ignore the locale.
    EXPECT_EQ(ChooseCliLanguage("", Reader(german)), zh);
    EXPECT_EQ(ChooseCliLanguage("", Reader({{"TAMBERLINK_LANG", "en"}})), en);
    EXPECT_EQ(ChooseCliLanguage("zh", Reader({{"TAMBERLINK_LANG", "en"}})), zh);
    EXPECT_FALSE(UiLanguageFromName("EN"));
}

TEST(CoreCatalogue, PrintfArgumentsAreWhatIsRead)
{
    using List = std::vector<std::string>;
    EXPECT_EQ(PrintfArguments("    %05d - 地址:%04X  写:%02X"), (List{"d", "X", "X"}));
    EXPECT_EQ(PrintfArguments("(%ld字节) %.2f %-8s 100%% %*d"), (List{"ld", "f", "s", "*", "d"}));
    EXPECT_EQ(PrintfArguments("%2$s %zu end %"), (List{"2$s", "zu", "?"}));
}

// A translated format that reads other arguments than its Chinese source
// crashes or garbles the log; every entry is found by the lookup.
TEST(CoreCatalogue, EveryEnglishTextTakesTheSameArgumentsAndIsFound)
{
    const auto catalogue = CUiText::Catalogue();
    ASSERT_GT(catalogue.size(), 40u);
    const char* ready = "编程器:就绪.";
    EXPECT_EQ(Tr(ready), ready);
    CUiText::SetLanguage(en);
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        const CUiText::Entry& entry = catalogue[i];
        EXPECT_EQ(PrintfArguments(entry.english), PrintfArguments(entry.chinese)) << entry.chinese;
        EXPECT_FALSE(ContainsCjk(entry.english)) << entry.english;
        EXPECT_EQ(Tr(entry.chinese), entry.english);
        const int order = i > 0 ? std::strcmp(catalogue[i - 1].chinese, entry.chinese) : -1;
        EXPECT_LT(order, 0) << entry.chinese;
    }
    EXPECT_STREQ(Tr(ready), "Programmer: ready.");
    const char* unknown = "没有这个文字";
    EXPECT_EQ(Tr(unknown), unknown);
    CUiText::SetLanguage(zh);
}

// Guards texts added later: every Chinese literal of the Qt-free code has
// an English text in res/translations/tamberlink_core_en.ts.
TEST(CoreCatalogue, EveryChineseLiteralOfTheCoreHasAnEnglishText)
{
    std::set<std::string> known;
    for (const CUiText::Entry& entry : CUiText::Catalogue())
        known.insert(entry.chinese);
    for (const std::string& missing : ChineseLiteralsNotIn(
             known, {"app/core", "formats", "programmer", "isp", "platform", "platform/x11",
                     "settings/core", "widgets/core", "cli", "sim", "sim/tool"}))
        ADD_FAILURE() << missing << " has no English text";
    EXPECT_TRUE(ChineseLiteralsNotIn({}, {"app/core"}).size() > 40);
}

} // namespace
