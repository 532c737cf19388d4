#pragma once

#include <QString>

#include <memory>
#include <vector>

#include "platform/UiLanguage.h"

class QCoreApplication;
class QTranslator;

// The interface's language for a Qt program, for as long as the object
// lives: the core's texts (CUiText), the program's own translation
// (tamberlink_en.qm, English only; Chinese is the source) and Qt's own texts
// (Qt's Chinese translation, Chinese only; Qt speaks English by itself).
// main() keeps one for the program's life; a test may make one for a scope.
// Going, it takes its translators away and leaves the core Chinese.
class CUiTranslator {
public:
    // folder: where the program's .qm files are; TranslationsFolder() when
    // empty.
    CUiTranslator(QCoreApplication& application, UiLanguage language,
                  const QString& folder = QString());
    ~CUiTranslator();
    CUiTranslator(const CUiTranslator&) = delete;
    CUiTranslator& operator=(const CUiTranslator&) = delete;

    UiLanguage Language() const { return m_language; }
    // The program's translation was found and installed (English only).
    bool ProgramTranslationLoaded() const { return m_bProgramLoaded; }

    // Where the .qm files are looked up: "translations" in the program
    // folder, in the build tree and installed alike. Needs InitAppGlobals.
    static QString TranslationsFolder();
    static constexpr const char* kProgramCatalogue = "tamberlink";

private:
    QCoreApplication& m_application;
    UiLanguage m_language;
    bool m_bProgramLoaded = false;
    std::vector<QTranslator*> m_translators;
};
