#include "app/commandline.h"
#include "app/mainwindow.h"
#include "widgets/programicon.h"
#include "core/programstate.h"
#include "pictures/metadata.h"
#include "platform/backgroundwork.h"
#include "platform/eventloops.h"
#include "platform/platformcontext.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

int main(int argc, char *argv[])
{
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    // Answered before any window (or display) is needed.
    const CommandLine line = CommandLine::Parse(arguments);
    if (line.action == CommandLine::Action::PrintAndExit) {
        std::fputs(line.text.toLocal8Bit().constData(), line.toStandardError ? stderr : stdout);
        return line.exitCode;
    }
    if (!line.startFolder.isEmpty() && ::chdir(line.startFolder.constData()) != 0)
        std::perror("kuroeview");

    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("KuRoEView"));
    application.setQuitOnLastWindowClosed(false);
    application.setWindowIcon(ProgramIcon::icon());
    application.setDesktopFileName(QStringLiteral("org.kuroeview.KuRoEView"));

    // exiv2's XMP parser is set up under its lock before any worker thread starts.
    Metadata::Initialise();
    auto context = PlatformContext::forThisMachine();
    ProgramState state;
    MainWindow mainWindow(*context, state);
    mainWindow.Load();
    if (!line.selectedFile.isEmpty() && !EventLoops::ending())
        mainWindow.SelectFile(line.selectedFile);
    const int code = EventLoops::runMainLoop();
    // No decode may run into the static destruction: the workers are joined,
    // and a decode that cannot be interrupted in time ends with the process,
    // as does a question to a share that never answered.
    if (!BackgroundWork::finish(1500) || context->fileCalls->running() > 0) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
