#include "platform/UiLanguage.h"

#include <cstdlib>

namespace {

constexpr const char* kLanguageVariable = "TAMBERLINK_LANG";

std::string_view Value(const EnvironmentReader& getenv, const char* name)
{
    const char* value = getenv ? getenv(name) : nullptr;
    return value ? std::string_view(value) : std::string_view();
}

} // namespace

EnvironmentReader ProcessEnvironment()
{
    return [](const char* name) -> const char* { return std::getenv(name); };
}

std::optional<UiLanguage> UiLanguageFromName(std::string_view name)
{
    if (name == "zh")
        return UiLanguage::Chinese;
    if (name == "en")
        return UiLanguage::English;
    return std::nullopt;
}

std::optional<UiLanguage> UiLanguageOfLocale(std::string_view locale)
{
    // language[_territory][.codeset][@modifier]
    const std::string_view language = locale.substr(0, locale.find_first_of("_.@"));
    if (language.empty() || language == "C" || language == "POSIX")
        return std::nullopt;
    return language == "zh" ? UiLanguage::Chinese : UiLanguage::English;
}

UiLanguage UiLanguageFromLocale(const EnvironmentReader& getenv)
{
    std::string_view locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = Value(getenv, name);
        if (!locale.empty())
            break;
    }
    const std::optional<UiLanguage> ofLocale = UiLanguageOfLocale(locale);
    // gettext ignores LANGUAGE under the C locale; so do we.
    if (!ofLocale)
        return UiLanguage::Chinese;

    std::string_view list = Value(getenv, "LANGUAGE");
    bool anyEntry = false;
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        const std::string_view entry = list.substr(0, colon);
        list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
        // Only a catalogue we have can be picked: Chinese is the source, and
        // English has its own.
        if (entry.substr(0, 2) == "zh" && (entry.size() == 2 || entry[2] == '_'))
            return UiLanguage::Chinese;
        if (entry.substr(0, 2) == "en" && (entry.size() == 2 || entry[2] == '_'))
            return UiLanguage::English;
        anyEntry = anyEntry || !entry.empty();
    }
    return anyEntry ? UiLanguage::English : *ofLocale;
}

UiLanguage ChooseWindowLanguage(std::string_view option, const EnvironmentReader& getenv)
{
    if (const auto chosen = UiLanguageFromName(option))
        return *chosen;
    if (const auto chosen = UiLanguageFromName(Value(getenv, kLanguageVariable)))
        return *chosen;
    return UiLanguageFromLocale(getenv);
}

UiLanguage ChooseCliLanguage(std::string_view option, const EnvironmentReader& getenv)
{
    if (const auto chosen = UiLanguageFromName(option))
        return *chosen;
    if (const auto chosen = UiLanguageFromName(Value(getenv, kLanguageVariable)))
        return *chosen;
    return UiLanguage::Chinese;
}
