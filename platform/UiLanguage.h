#pragma once

#include <functional>
#include <optional>
#include <string_view>

// The two languages the interface speaks. Chinese is the source: every text
// is written in Chinese and looked up for English.
enum class UiLanguage { Chinese, English };

// Reads one environment variable; nullptr when it is not set.
using EnvironmentReader = std::function<const char*(const char*)>;
EnvironmentReader ProcessEnvironment();

// "zh" or "en", as --lang and TAMBERLINK_LANG take them.
std::optional<UiLanguage> UiLanguageFromName(std::string_view name);

// The language of a locale name or LANGUAGE entry ("zh_CN.UTF-8" -> Chinese,
// "de_DE" -> English); nullopt for the C and POSIX locales, which have no
// language of their own.
std::optional<UiLanguage> UiLanguageOfLocale(std::string_view locale);

// The language the user's locale asks for, as gettext picks a message
// catalogue: the first of LC_ALL, LC_MESSAGES and LANG that is set names
// the locale; unless that is C or POSIX, LANGUAGE (a list separated by ':')
// goes first, its first Chinese or English entry winning. Chinese for a
// Chinese locale and for C, POSIX or no locale at all, so scripts and the
// documented behaviour see the original texts; English for any other
// language.
UiLanguage UiLanguageFromLocale(const EnvironmentReader& getenv = ProcessEnvironment());

// The windows' choice: --lang (option, empty when not given) first, then
// TAMBERLINK_LANG, then the locale.
UiLanguage ChooseWindowLanguage(std::string_view option,
                                const EnvironmentReader& getenv = ProcessEnvironment());
// The command line's choice: its log lines are read by scripts, so they stay
// Chinese unless --lang or TAMBERLINK_LANG asks for English.
UiLanguage ChooseCliLanguage(std::string_view option,
                             const EnvironmentReader& getenv = ProcessEnvironment());
