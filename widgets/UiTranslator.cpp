#include "widgets/UiTranslator.h"

#include <QCoreApplication>
#include <QTranslator>

#include "platform/AppGlobals.h"
#include "platform/UiText.h"
#include "widgets/QtTranslations.h"

CUiTranslator::CUiTranslator(QCoreApplication& application, UiLanguage language,
                             const QString& folder)
    : m_application(application), m_language(language)
{
    CUiText::SetLanguage(language);
    if (language == UiLanguage::Chinese) {
        if (QTranslator* qt = CQtTranslations::Install(application))
            m_translators.push_back(qt);
        return;
    }
    const QString where = folder.isEmpty() ? TranslationsFolder() : folder;
    auto* own = new QTranslator(&application);
    if (own->load(QLatin1String(kProgramCatalogue) + QStringLiteral("_en"), where)) {
        application.installTranslator(own);
        m_translators.push_back(own);
        m_bProgramLoaded = true;
    } else {
        // The window then shows its Chinese texts beside the core's English
        // ones: a broken install, not a reason to refuse to start.
        qWarning("no English translation in %s", qUtf8Printable(where));
        delete own;
    }
}

CUiTranslator::~CUiTranslator()
{
    for (QTranslator* translator : m_translators) {
        m_application.removeTranslator(translator);
        delete translator;
    }
    CUiText::SetLanguage(UiLanguage::Chinese);
}

QString CUiTranslator::TranslationsFolder()
{
    return QString::fromStdString(g_strAppDir) + QStringLiteral("translations");
}
