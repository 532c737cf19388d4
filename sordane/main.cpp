#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>

#include "platform/AppGlobals.h"
#include "sordane/CatalogueEditor.h"
#include "widgets/QtTranslations.h"

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
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("Catalogue to edit (default: ChipList.chip in "
                                                "the program folder)."),
                                 QStringLiteral("[file]"));
    parser.process(application);
    // After the command line: --help stays as the manual page shows it.
    CQtTranslations::Install(application);

    InitAppGlobals();
    const QStringList files = parser.positionalArguments();
    const QString path = files.isEmpty()
        ? QString::fromStdString(g_strAppDir + "ChipList.chip")
        : files.first();

    CCatalogueEditor editor;
    editor.OpenFile(path);
    editor.show();
    return application.exec();
}
