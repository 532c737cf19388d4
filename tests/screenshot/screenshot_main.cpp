// Takes the picture of the main window for the documentation: the window
// runs on the simulated programmer board, paced like a real 115200-baud
// line, writes an 8 KB image and is grabbed while the write is about half
// done. Runs on any Qt platform, the offscreen one included.

#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPixmap>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

#include "app/ProgrammerApp.h"
#include "app/ProgrammerDlg.h"
#include "platform/AppGlobals.h"
#include "settings/core/SettingsRecord.h"
#include "widgets/CommandButtonWidget.h"
#include "widgets/TextProgressCtrl.h"
#include "widgets/UiTranslator.h"

namespace {

void Fail(const QString& text)
{
    std::fprintf(stderr, "tamberlink-screenshot: %s\n", text.toUtf8().constData());
}

// Runs the event loop until done() holds; false after timeoutMs (a hang
// guard, not a measurement).
bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return true;
}

// A recognisable 8 KB image (the AT89S52's whole flash): no byte is 0xFF,
// so every block is written.
QByteArray DemoImage()
{
    QByteArray image(8192, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char((i * 7 + (i >> 8)) % 0xFF);
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("PNG to write."),
                                       QStringLiteral("FILE"),
                                       QStringLiteral("screenshot.png"));
    const QCommandLineOption imageOption(QStringLiteral("image"),
                                         QStringLiteral("Image to write (.bin or .hex); "
                                                        "default: an 8 KB pattern."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption pageOption(QStringLiteral("page"),
                                        QStringLiteral("Page to show: 0 buffer 1, 1 buffer 2, "
                                                       "2 status (default), 3 settings."),
                                        QStringLiteral("N"), QStringLiteral("2"));
    parser.addOption(outOption);
    parser.addOption(imageOption);
    const QCommandLineOption langOption(QStringLiteral("lang"),
                                        QStringLiteral("Interface language: zh (default) or en."),
                                        QStringLiteral("zh|en"), QStringLiteral("zh"));
    parser.addOption(pageOption);
    parser.addOption(langOption);
    parser.process(application);

    // A program folder of its own: the user's settings stay untouched.
    QTemporaryDir folder;
    if (!folder.isValid()) {
        Fail(QStringLiteral("cannot make a temporary folder"));
        return 1;
    }
    const QString binDir = QString::fromStdString(ExecutableFolder());
    const std::optional<UiLanguage> language =
        UiLanguageFromName(parser.value(langOption).toStdString());
    if (!language) {
        Fail(QStringLiteral("--lang takes zh or en"));
        return 2;
    }
    const CUiTranslator translator(application, *language, binDir + QStringLiteral("translations"));
    const QString appDir = folder.path() + QLatin1Char('/');
    if (!QFile::copy(binDir + QStringLiteral("ChipList.chip"),
                     appDir + QStringLiteral("ChipList.chip"))) {
        Fail(QStringLiteral("no ChipList.chip next to the program in ") + binDir);
        return 1;
    }
    SetAppDir(appDir.toStdString());

    // Stored settings as a user would have them: COM 1 at 115200, Erase,
    // Write and Verify marked for Auto, the AT89S52 selected.
    SettingsRecord settings;
    settings.progType = 0;
    settings.comPort = 1;
    settings.baudSel = 0;
    settings.soundOn = 0;
    settings.hotkeyOn = 0;
    settings.autoErase = 1;
    settings.autoWrite = 1;
    settings.autoVerify = 1;
    settings.deviceIndex = 0;
    settings.Save((appDir + QString::fromUtf8(SettingsRecord::kFileName)).toStdString());

    QString imagePath = parser.value(imageOption);
    if (imagePath.isEmpty()) {
        imagePath = appDir + QStringLiteral("demo.bin");
        QFile file(imagePath);
        if (!file.open(QIODevice::WriteOnly) || file.write(DemoImage()) != 8192) {
            Fail(QStringLiteral("cannot write ") + imagePath);
            return 1;
        }
    }
    imagePath = QFileInfo(imagePath).absoluteFilePath();

    QApplication::setFont(CProgrammerApp::InterfaceFont());
    CProgrammerDlg::Options options;
    options.simulate = true;
    options.pacedSimulation = true;
    CProgrammerDlg dialog(options);
    dialog.show();

    CProgrammerSession& session = dialog.Session();
    if (!WaitFor([&] { return session.SequenceEndCount() > 0; }, 20000)
        || !session.LastSequenceSucceeded()) {
        Fail(QStringLiteral("the simulated board did not report ready"));
        return 1;
    }

    dialog.SetOpenFileChooser([&] { return std::optional<std::string>(imagePath.toStdString()); });
    dialog.ButtonWidget(kCmdLoadFile)->click();
    const int endsBefore = session.SequenceEndCount();
    dialog.ButtonWidget(kCmdWrite)->click();

    CTextProgressCtrl* progress = dialog.Progress();
    const bool halfway = WaitFor(
        [&] {
            return progress->isVisible() && progress->GetPos() >= 45 && progress->GetPos() <= 60;
        },
        60000);
    if (!halfway) {
        Fail(QStringLiteral("the write never showed its progress"));
        return 1;
    }
    // Progress events write no log line, so the page stays while the write
    // goes on.
    dialog.SelectPage(parser.value(pageOption).toInt());
    const QPixmap picture = dialog.grab();
    const QString out = parser.value(outOption);
    QDir().mkpath(QFileInfo(out).absolutePath());
    if (!picture.save(out, "PNG")) {
        Fail(QStringLiteral("cannot save ") + out);
        return 1;
    }
    std::printf("%s (%dx%d, progress %d%%)\n", out.toUtf8().constData(), picture.width(),
                picture.height(), progress->GetPos());

    // Let the write finish, so the board and the port close in good order.
    WaitFor([&] { return session.SequenceEndCount() > endsBefore && !session.IsStepOutstanding(); },
            60000);
    return 0;
}
