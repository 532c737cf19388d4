#include "app/ProgrammerApp.h"

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>

#include <cstdio>

#include "platform/AppGlobals.h"
#include "platform/UiLanguage.h"

CProgrammerApp::ParseResult CProgrammerApp::ParseArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show the options."));
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("Run on simulated hardware."));
    const QCommandLineOption programmer(QStringLiteral("programmer"),
                                        QStringLiteral("Programmer type for this run."),
                                        QStringLiteral("N"));
    const QCommandLineOption catalogue(QStringLiteral("catalogue"),
                                       QStringLiteral("Device catalogue file."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption lang(QStringLiteral("lang"), QStringLiteral("Interface language."),
                                  QStringLiteral("zh|en"));
    parser.addOption(help);
    parser.addOption(lang);
    parser.addOption(simulate);
    parser.addOption(programmer);
    parser.addOption(catalogue);

    ParseResult result;
    if (!parser.parse(arguments)) {
        result.error = parser.errorText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error = QStringLiteral("unexpected argument: ") + parser.positionalArguments().first();
        return result;
    }
    result.help = parser.isSet(help);
    result.options.simulate = parser.isSet(simulate);
    if (parser.isSet(programmer)) {
        bool ok = false;
        const int type = parser.value(programmer).toInt(&ok);
        if (!ok || type < 0 || type > 6) {
            result.error = QStringLiteral("--programmer takes 0 (serial board), 1..3 "
                                          "(parallel-port cable), 4 (GPIO lines), 5 (FTDI "
                                          "cable) or 6 (Linux SPI)");
            return result;
        }
        result.options.programmer = type;
    }
    if (parser.isSet(lang)) {
        result.lang = parser.value(lang);
        if (!UiLanguageFromName(result.lang.toStdString())) {
            result.error = QStringLiteral("--lang takes zh or en");
            return result;
        }
    }
    if (parser.isSet(catalogue))
        result.options.cataloguePath = parser.value(catalogue).toStdString();
    return result;
}

QString CProgrammerApp::Usage()
{
    return QStringLiteral(
        "Usage: tamberlink [--simulate] [--programmer N] [--catalogue FILE] [--lang zh|en]\n"
        "  --simulate        run on a simulated programmer board (type 0),\n"
        "                    parallel-port cable (types 1..3), GPIO lines (4),\n"
        "                    FTDI cable (5) or Linux SPI (6)\n"
        "  --programmer N    use programmer type N (0..6) for this run only\n"
        "  --catalogue FILE  load the device list from FILE\n"
        "  --lang zh|en      the interface's language: Chinese or English\n"
        "\n"
        "Environment:\n"
        "  TAMBERLINK_LANG   zh or en: the language when --lang is not given\n"
        "  LANGUAGE, LC_ALL, LC_MESSAGES, LANG\n"
        "                    otherwise the locale chooses, in this order: Chinese\n"
        "                    for a Chinese locale and for C or POSIX, English for\n"
        "                    any other language\n");
}

QFont CProgrammerApp::InterfaceFont()
{
    // The interface is Chinese: prefer a font that has its glyphs rather
    // than relying on fallback, which mixes styles and metrics.
    static const char* const kFamilies[] = {"WenQuanYi Micro Hei", "WenQuanYi Zen Hei",
                                            "Noto Sans CJK SC", "Noto Sans SC"};
    const QStringList installed = QFontDatabase::families();
    for (const char* family : kFamilies) {
        if (installed.contains(QString::fromUtf8(family), Qt::CaseInsensitive))
            return QFont(QString::fromUtf8(family), 9);
    }
    return QApplication::font();
}

QFont CProgrammerApp::LogFont()
{
    // A fixed-width Latin font would leave the Chinese glyphs to a
    // proportional fallback; these keep both on one grid.
    static const char* const kFamilies[] = {"WenQuanYi Micro Hei Mono", "WenQuanYi Zen Hei Mono",
                                            "Noto Sans Mono CJK SC"};
    const int points = InterfaceFont().pointSize();
    const QStringList installed = QFontDatabase::families();
    for (const char* family : kFamilies) {
        if (installed.contains(QString::fromUtf8(family), Qt::CaseInsensitive)) {
            QFont font(QString::fromUtf8(family), points);
            font.setStyleHint(QFont::Monospace);
            font.setFixedPitch(true);
            return font;
        }
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (points > 0)
        font.setPointSize(points);
    return font;
}

int CProgrammerApp::ReportCommandLine(const ParseResult& parsed)
{
    if (parsed.error.isEmpty()) {
        std::fputs(Usage().toUtf8().constData(), stdout);
        return 0;
    }
    std::fprintf(stderr, "tamberlink: %s\n%s", parsed.error.toUtf8().constData(),
                 Usage().toUtf8().constData());
    return 2;
}

int CProgrammerApp::InitInstance(const CProgrammerDlg::Options& options)
{
    InitAppGlobals();
    QApplication::setFont(InterfaceFont());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/128.svg")));

    // The dialog is the program: its own loop runs until it closes.
    CProgrammerDlg dialog(options);
    dialog.exec();
    return 0;
}
