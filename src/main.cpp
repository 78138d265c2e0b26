#include "app/commandline.h"
#include "app/form1.h"
#include "widgets/programicon.h"
#include "core/programstate.h"
#include "platform/platformcontext.h"

#include <QApplication>

#include <cstdio>

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

    auto context = PlatformContext::forThisMachine();
    ProgramState state;
    Form1 mainWindow(*context, state);
    mainWindow.Load();
    if (!line.selectedFile.isEmpty())
        mainWindow.SelectFile(line.selectedFile);
    return application.exec();
}
