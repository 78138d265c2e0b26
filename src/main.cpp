#include "app/commandline.h"
#include "app/form1.h"
#include "widgets/programicon.h"
#include "core/programstate.h"
#include "platform/platformcontext.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // Answered before any window (or display) is needed.
    const CommandLine line = CommandLine::Parse(arguments);
    if (line.action == CommandLine::Action::PrintAndExit) {
        std::fputs(line.text.toLocal8Bit().constData(), line.toStandardError ? stderr : stdout);
        return line.exitCode;
    }
    if (!line.startFolder.isEmpty())
        QDir::setCurrent(line.startFolder);

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
