#pragma once

#include <QString>
#include <QStringList>

#include "app/ProgrammerDlg.h"

class QFont;

// The application: sets up the program's globals, reads the window's
// command line and runs the main dialog until it closes.
class CProgrammerApp {
public:
    struct ParseResult {
        CProgrammerDlg::Options options;
        // "zh", "en", or empty: TAMBERLINK_LANG, else the locale.
        QString lang;
        bool help = false;
        QString error;  // empty when the command line was understood
    };

    // Options of the window (arguments[0] is the program):
    //   --simulate        demo mode on simulated hardware
    //   --programmer N    programmer type 0..5 for this run
    //   --catalogue FILE  device catalogue instead of the program folder's
    //   --lang zh|en      the interface's language
    static ParseResult ParseArguments(const QStringList& arguments);
    static QString Usage();

    // For a command line that asks for help or has an error: prints the
    // usage (and the error) and returns the exit status. Needs no display.
    static int ReportCommandLine(const ParseResult& parsed);

    // A font that has the interface's Chinese glyphs (WenQuanYi Micro Hei
    // 9 pt) when one is installed, else the default font.
    static QFont InterfaceFont();
    // The status log's font: fixed width, so the verify report's columns
    // line up, with the Chinese glyphs (WenQuanYi Micro Hei Mono) when one
    // is installed, else the system's fixed font.
    static QFont LogFont();

    // Start-up: the program folder and OS flag, the font, then the main
    // dialog, run modally. Needs the QApplication. Returns the exit status.
    int InitInstance(const CProgrammerDlg::Options& options);
};
