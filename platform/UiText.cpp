#include "platform/UiText.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

std::atomic<UiLanguage> g_language{UiLanguage::Chinese};

} // namespace

void CUiText::SetLanguage(UiLanguage language)
{
    g_language.store(language, std::memory_order_relaxed);
}

UiLanguage CUiText::Language()
{
    return g_language.load(std::memory_order_relaxed);
}

const char* CUiText::Translate(const char* chinese)
{
    if (!chinese || Language() != UiLanguage::English)
        return chinese;
    const std::span<const Entry> entries = Catalogue();
    const auto found = std::lower_bound(
        entries.begin(), entries.end(), chinese,
        [](const Entry& entry, const char* key) { return std::strcmp(entry.chinese, key) < 0; });
    if (found == entries.end() || std::strcmp(found->chinese, chinese) != 0)
        return chinese;
    return found->english;
}
