#include "app/form1.h"
#include "app/programstate.h"
#include "platform/platformcontext.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("KuRoEView"));
    application.setQuitOnLastWindowClosed(false);

    auto context = PlatformContext::forThisMachine();
    ProgramState state;
    Form1 mainWindow(*context, state);
    mainWindow.Load();
    return application.exec();
}
