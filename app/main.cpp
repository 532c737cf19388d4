#include <QApplication>
#include <QStringList>

#include "app/ProgrammerApp.h"
#include "platform/AppGlobals.h"
#include "platform/UiLanguage.h"
#include "widgets/UiTranslator.h"

int main(int argc, char** argv)
{
    // The command line first: --help and mistakes are answered without a
    // display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CProgrammerApp::ParseResult parsed = CProgrammerApp::ParseArguments(arguments);
    if (parsed.help || !parsed.error.isEmpty())
        return CProgrammerApp::ReportCommandLine(parsed);

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tamberlink"));
    QApplication::setApplicationVersion(QStringLiteral("3.0"));
    // The translations live in the program folder.
    InitAppGlobals();
    const CUiTranslator translator(
        application, ChooseWindowLanguage(parsed.lang.toStdString()));
    CProgrammerApp app;
    return app.InitInstance(parsed.options);
}
