#pragma once

#include "files/filelist.h"

#include <QObject>

#include <functional>

class Catalogue;
class PlatformContext;
class QAction;
class QActionGroup;
class QMenu;

// The choices of the 表示 menu beside the program's own commands: the order
// of the thumbnails (並べ替え). A choice is kept in the settings file, in a
// section of its own ("VIEW"), and read at the start; the defaults are the
// program's first order, by name.
class ViewChoices : public QObject
{
    Q_OBJECT

public:
    ViewChoices(QMenu *viewMenu, FileList &fileList, Catalogue &catalogue, PlatformContext &context,
                QObject *parent = nullptr);

    // The stored choices, for the start (before the first load).
    void ReadSettings();

    QMenu *orderMenu = nullptr;
    // By order (FileList::Order), and 逆順.
    QList<QAction *> orderActions;
    QAction *reverseAction = nullptr;

    static QString OrderKey(FileList::Order order);

private:
    void OrderChosen();

    FileList &m_fileList;
    Catalogue &m_catalogue;
    PlatformContext &m_context;
};
