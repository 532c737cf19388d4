#pragma once

#include <cstddef>
#include <span>

#include "platform/UiLanguage.h"

// The Qt-free core's texts in the interface's language. Every text the core
// shows is written in Chinese, the source, and looked up by that text,
// byte for byte; in English the catalogue made at build time from
// res/translations/tamberlink_core_en.ts gives its translation. A text
// without one shows in Chinese. Format strings are looked up whole, before
// they are filled in.
class CUiText {
public:
    struct Entry {
        const char* chinese;
        const char* english;
    };

    // Set once at start, before any thread that shows text runs; Chinese
    // until then.
    static void SetLanguage(UiLanguage language);
    static UiLanguage Language();

    // chinese itself in Chinese; its English text in English, or chinese
    // when the catalogue has none. The result lives as long as the program
    // (or as chinese, when that is returned).
    static const char* Translate(const char* chinese);

    // The English catalogue, ordered by the Chinese text (strcmp).
    static std::span<const Entry> Catalogue();
};

// The short form the core's code uses: Tr("编程器:就绪.").
inline const char* Tr(const char* chinese)
{
    return CUiText::Translate(chinese);
}
