#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "platform/FormatSpecs.h"
#include "platform/UiLanguage.h"
#include "platform/UiText.h"
#include "tests/support/CjkText.h"

namespace {

using Env = std::map<std::string, std::string>;

EnvironmentReader Reader(const Env& env)
{
    return [&env](const char* name) -> const char* {
        const auto found = env.find(name);
        return found == env.end() ? nullptr : found->second.c_str();
    };
}

struct LocaleCase {
    const char* what;
    Env env;
    UiLanguage expected;
};

void PrintTo(const LocaleCase& param, std::ostream* out)
{
    *out << param.what;
}

class LocaleTable : public testing::TestWithParam<LocaleCase> {};

TEST_P(LocaleTable, PicksTheLanguage)
{
    EXPECT_EQ(UiLanguageFromLocale(Reader(GetParam().env)), GetParam().expected);
}

constexpr UiLanguage zh = UiLanguage::Chinese;
constexpr UiLanguage en = UiLanguage::English;

INSTANTIATE_TEST_SUITE_P(
    Environments, LocaleTable,
    testing::Values(
        LocaleCase{"nothing_set", {}, zh},
        LocaleCase{"c_locale", {{"LANG", "C"}}, zh},
        LocaleCase{"c_utf8", {{"LANG", "C.UTF-8"}}, zh},
        LocaleCase{"posix", {{"LC_ALL", "POSIX"}}, zh},
        LocaleCase{"chinese", {{"LANG", "zh_CN.UTF-8"}}, zh},
        LocaleCase{"taiwan", {{"LANG", "zh_TW"}}, zh},
        LocaleCase{"english", {{"LANG", "en_US.UTF-8"}}, en},
        LocaleCase{"german", {{"LANG", "de_DE.UTF-8"}}, en},
        LocaleCase{"lc_all_beats_lang", {{"LC_ALL", "zh_CN.UTF-8"}, {"LANG", "en_US.UTF-8"}}, zh},
        LocaleCase{"lc_messages_beats_lang",
                   {{"LC_MESSAGES", "en_GB.UTF-8"}, {"LANG", "zh_CN.UTF-8"}}, en},
        LocaleCase{"empty_lc_all_skipped", {{"LC_ALL", ""}, {"LANG", "zh_CN"}}, zh},
        LocaleCase{"language_first", {{"LANGUAGE", "en"}, {"LANG", "zh_CN.UTF-8"}}, en},
        LocaleCase{"language_list", {{"LANGUAGE", "fr:zh_CN:en"}, {"LANG", "fr_FR"}}, zh},
        LocaleCase{"language_unknown_only", {{"LANGUAGE", "fr:de"}, {"LANG", "zh_CN"}}, en},
        LocaleCase{"language_ignored_under_c", {{"LANGUAGE", "en"}, {"LANG", "C"}}, zh},
        LocaleCase{"language_not_a_prefix", {{"LANGUAGE", "zhx:en"}, {"LANG", "zh_CN"}}, en}),
    [](const testing::TestParamInfo<LocaleCase>& info) { return info.param.what; });

TEST(UiLanguageChoice, OptionThenVariableThenLocale)
{
    const Env german = {{"LANG", "de_DE.UTF-8"}};
    const Env variable = {{"LANG", "de_DE.UTF-8"}, {"TAMBERLINK_LANG", "zh"}};
    const Env wrongVariable = {{"LANG", "zh_CN.UTF-8"}, {"TAMBERLINK_LANG", "fr"}};
    EXPECT_EQ(ChooseWindowLanguage("", Reader(german)), en);
    EXPECT_EQ(ChooseWindowLanguage("zh", Reader(german)), zh);
    EXPECT_EQ(ChooseWindowLanguage("", Reader(variable)), zh);
    EXPECT_EQ(ChooseWindowLanguage("en", Reader(variable)), en);
    EXPECT_EQ(ChooseWindowLanguage("", Reader(wrongVariable)), zh);
    // The command line ignores the locale.
    EXPECT_EQ(ChooseCliLanguage("", Reader(german)), zh);
    EXPECT_EQ(ChooseCliLanguage("", Reader({{"TAMBERLINK_LANG", "en"}})), en);
    EXPECT_EQ(ChooseCliLanguage("zh", Reader({{"TAMBERLINK_LANG", "en"}})), zh);
    EXPECT_FALSE(UiLanguageFromName("EN"));
    EXPECT_FALSE(UiLanguageFromName("zh_CN"));
}

TEST(PrintfArgumentsTest, ReadsWhatTakesAnArgument)
{
    using List = std::vector<std::string>;
    EXPECT_EQ(PrintfArguments("写入%d字节..."), List{"d"});
    EXPECT_EQ(PrintfArguments("    %05d - 地址:%04X  写:%02X  读:%02X"), (List{"d", "X", "X", "X"}));
    EXPECT_EQ(PrintfArguments("(%ld字节) %.2f %-8s %+i"), (List{"ld", "f", "s", "i"}));
    EXPECT_EQ(PrintfArguments("100%% %*.*d"), (List{"*", "*", "d"}));
    EXPECT_EQ(PrintfArguments("%2$s %1$d"), (List{"2$s", "1$d"}));
    EXPECT_EQ(PrintfArguments("%zu %lld %hhx"), (List{"zu", "lld", "hhx"}));
    EXPECT_EQ(PrintfArguments("end %"), List{"?"});
    EXPECT_EQ(PrintfArguments("%d") == PrintfArguments("%s"), false);
}

// A translated format that takes other arguments than its Chinese source
// reads the argument list wrongly: a crash, or garbage in the log.
TEST(CoreCatalogue, EveryEnglishFormatTakesTheSameArguments)
{
    ASSERT_GT(CUiText::Catalogue().size(), 40u);
    for (const CUiText::Entry& entry : CUiText::Catalogue())
        EXPECT_EQ(PrintfArguments(entry.english), PrintfArguments(entry.chinese))
            << entry.chinese << " -> " << entry.english;
}

TEST(CoreCatalogue, OrderedUniqueAndEnglish)
{
    const auto catalogue = CUiText::Catalogue();
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        EXPECT_FALSE(ContainsCjk(catalogue[i].english)) << catalogue[i].english;
        EXPECT_NE(catalogue[i].english[0], '\0') << catalogue[i].chinese;
        if (i > 0) {
            EXPECT_LT(std::strcmp(catalogue[i - 1].chinese, catalogue[i].chinese), 0)
                << catalogue[i].chinese;
        }
    }
}

TEST(CoreCatalogue, TranslatesOnlyInEnglish)
{
    const char* ready = "编程器:就绪.";
    const char* unknown = "没有这个文字";
    EXPECT_EQ(Tr(ready), ready);
    CUiText::SetLanguage(UiLanguage::English);
    EXPECT_STREQ(Tr(ready), "Programmer: ready.");
    EXPECT_EQ(Tr(unknown), unknown);
    EXPECT_EQ(Tr(nullptr), nullptr);
    // Every entry is found, the first and the last too.
    for (const CUiText::Entry& entry : CUiText::Catalogue())
        EXPECT_EQ(Tr(entry.chinese), entry.english) << entry.chinese;
    CUiText::SetLanguage(UiLanguage::Chinese);
    EXPECT_EQ(Tr(ready), ready);
}

// Guards texts added later: every Chinese literal of the Qt-free code is
// either in the core catalogue or marked NOTR (an ini key, a file's name).
TEST(CoreCatalogue, EveryChineseLiteralOfTheCoreHasAnEnglishText)
{
    std::set<std::string> known;
    for (const CUiText::Entry& entry : CUiText::Catalogue())
        known.insert(entry.chinese);
    namespace fs = std::filesystem;
    const fs::path root = TAMBERLINK_SOURCE_DIR;
    int literals = 0;
    for (const char* folder : {"app/core", "formats", "programmer", "isp", "platform",
                               "settings/core", "cli", "sim"}) {
        for (const fs::directory_entry& file : fs::recursive_directory_iterator(root / folder)) {
            const std::string ext = file.path().extension().string();
            if (ext != ".cpp" && ext != ".h")
                continue;
            for (const SourceLiteral& literal : ReadStringLiterals(file.path())) {
                if (!ContainsCjk(literal.text) || literal.notShown)
                    continue;
                ++literals;
                EXPECT_TRUE(known.count(literal.text))
                    << fs::relative(file.path(), root).string() << ":" << literal.line << ": \""
                    << literal.text << "\" has no English text in "
                    << "res/translations/tamberlink_core_en.ts";
            }
        }
    }
    EXPECT_GT(literals, 40);
}

} // namespace
