#include "widgets/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QTranslator* CQtTranslations::Install(QCoreApplication& application, const QLocale& locale)
{
    auto* translator = new QTranslator(&application);
    // "qtbase" holds the widgets' texts; the file name is chosen from the
    // locale's languages (qtbase_zh_CN.qm for Chinese).
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return nullptr;
    }
    application.installTranslator(translator);
    return translator;
}
