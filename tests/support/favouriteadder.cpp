// Adds favourites the way a user does, from a main window on a sandbox that
// another process made: kuroeview-favouriteadder ROOT PREFIX COUNT GOFILE.
// Waits until GOFILE exists, then adds the folders C:\PREFIX00 ... in turn.
#include "app/mainwindow.h"
#include "core/programstate.h"
#include "sandbox.h"
#include "tree/keyedtree.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc != 5)
        return 2;
    QDir::setCurrent(QDir::tempPath());
    Sandbox sandbox(QString::fromLocal8Bit(argv[1]));
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const int count = QByteArray(argv[3]).toInt();
    ProgramState state;
    MainWindow form(*sandbox.context, state);
    form.Load();
    form.treeView->node(QStringLiteral("C:\\"))->setExpanded(true);
    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(QString::fromLocal8Bit(argv[4])) && waited.elapsed() < 30000)
        QThread::usleep(200);
    for (int k = 0; k < count; ++k) {
        const QString key = QStringLiteral("C:\\%1%2").arg(prefix).arg(k, 2, 10, QLatin1Char('0'));
        if (!form.treeView->node(key))
            return 3;
        form.treeView->selectNode(key);
        form.addFavouriteAction->trigger();
    }
    std::printf("%lld\n", static_cast<long long>(sandbox.messages->shown.size()));
    return 0;
}
