#pragma once

#include "files/filelist.h"

#include <QObject>

#include <functional>

class Catalogue;
class PlatformContext;
class QAction;
class QActionGroup;
class QMenu;

// The choices of the 表示 menu beside the program's own commands: the size
// of the thumbnails (サムネイルの大きさ, also Ctrl+Plus, Ctrl+Minus and
// Ctrl+wheel over the thumbnails) and their order (並べ替え). A choice is
// kept in the settings file, in a section of its own ("VIEW"), and read at
// the start; the defaults are the program's first size and order, by name.
class ViewChoices : public QObject
{
    Q_OBJECT

public:
    ViewChoices(QMenu *viewMenu, FileList &fileList, Catalogue &catalogue, PlatformContext &context,
                QObject *parent = nullptr);

    // The stored choices, for the start (before the first load).
    void ReadSettings();

    QMenu *sizeMenu = nullptr;
    // The sizes from the smallest, the program's first.
    QList<QAction *> sizeActions;
    QAction *largerAction = nullptr;
    QAction *smallerAction = nullptr;
    // The longer side of a thumbnail of a size (its index) in twips: the
    // first size is 600; the others are pixels of the screen.
    static double SideOf(int size);
    static constexpr int SizeCount = 4;
    // Steps through the sizes: positive to larger ones.
    void StepSize(int steps);

    QMenu *orderMenu = nullptr;
    // By order (FileList::Order), and 逆順.
    QList<QAction *> orderActions;
    QAction *reverseAction = nullptr;

    static QString OrderKey(FileList::Order order);

private:
    void OrderChosen();
    void SizeChosen();
    int ChosenSize() const;

    FileList &m_fileList;
    Catalogue &m_catalogue;
    PlatformContext &m_context;
};
