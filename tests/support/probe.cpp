// Opens a main window on a sandbox that another process made and reports
// what it shows: kuroeview-probe ROOT FOLDER. Prints one line per fact:
// "folder" (the folder the file list ended on), "thumbnails", "undecodable",
// "messages" and "children KEY: NAMES" for C:\ and FOLDER.
#include "app/mainwindow.h"
#include "core/programstate.h"
#include "catalogue/thumbnailarea.h"
#include "files/filelist.h"
#include "sandbox.h"
#include "tree/keyedtree.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc != 3)
        return 2;
    QDir::setCurrent(QStringLiteral("/"));
    Sandbox sandbox(QString::fromLocal8Bit(argv[1]));
    const QString folder = QString::fromLocal8Bit(argv[2]);
    ProgramState state;
    MainWindow form(*sandbox.context, state);
    form.Load();
    form.fileList->setPattern(QStringLiteral("*"));
    form.treeView->node(QStringLiteral("C:\\"))->setExpanded(true);
    if (QTreeWidgetItem *node = form.treeView->node(folder))
        node->setExpanded(true);
    form.fileList->setPath(folder);
    int undecodable = 0;
    for (int i = 0; i < state.ThumbCount; ++i)
        undecodable += form.thumbnailArea->pictureAt(i).undecodable ? 1 : 0;
    std::printf("folder %s\n", qPrintable(form.fileList->path()));
    std::printf("thumbnails %d\n", state.ThumbCount);
    std::printf("undecodable %d\n", undecodable);
    std::printf("messages %lld\n", static_cast<long long>(sandbox.messages->shown.size()));
    for (const QString &key : {QStringLiteral("C:\\"), folder})
        std::printf("children %s: %s\n", qPrintable(key), qPrintable(form.treeView->childKeys(key).join(',')));
    return 0;
}
