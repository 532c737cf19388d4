#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>

#include <cstdio>

#include "platform/AppGlobals.h"
#include "sordane/CatalogueEditor.h"
#include "sordane/SingleInstance.h"
#include "platform/UiLanguage.h"
#include "widgets/UiTranslator.h"

// The device catalogue editor. With no argument it edits the catalogue in
// the program folder, the one the programmer reads at start.
int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sordane"));
    QApplication::setApplicationVersion(QStringLiteral("3.0"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tamberlink device catalogue editor"));
    parser.addHelpOption();
    const QCommandLineOption lang(
        QStringLiteral("lang"),
        QStringLiteral("Interface language: zh or en (default: TAMBERLINK_LANG, else the "
                       "locale: Chinese for a Chinese, C or POSIX locale, English for any "
                       "other)."),
        QStringLiteral("zh|en"));
    parser.addOption(lang);
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("Catalogue to edit (default: the user's own "
                                                "$XDG_CONFIG_HOME/tamberlink/ChipList.chip when it "
                                                "exists, else ChipList.chip in the program folder)."),
                                 QStringLiteral("[file]"));
    parser.process(application);
    if (parser.isSet(lang) && !UiLanguageFromName(parser.value(lang).toStdString())) {
        std::fputs("Sordane: --lang takes zh or en\n", stderr);
        return 2;
    }
    // After the command line: --help stays as the manual page shows it.
    InitAppGlobals();
    const CUiTranslator translator(
        application, ChooseWindowLanguage(parser.value(lang).toStdString()));

    const QStringList files = parser.positionalArguments();
    const QString path = files.isEmpty()
        ? QString::fromStdString(CataloguePath())
        : files.first();

    // One Sordane per catalogue: a second one for the same file brings the
    // first to the front and ends.
    CSingleInstance instance;
    switch (instance.ClaimFile(path)) {
    case CSingleInstance::Claim::Ours:
        break;
    case CSingleInstance::Claim::RaisedOther:
        std::fprintf(stdout, "Sordane: %s is open in another Sordane window; it was brought forward\n",
                     qPrintable(path));
        return 0;
    case CSingleInstance::Claim::HeldByOther:
        std::fprintf(stderr, "Sordane: %s is being edited by another Sordane\n", qPrintable(path));
        return 1;
    }

    CCatalogueEditor editor;
    editor.SetSingleInstance(&instance);
    editor.OpenFile(path);
    editor.show();
    return application.exec();
}
