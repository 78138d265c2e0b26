#pragma once

#include "files/filelist.h"
#include "files/trash.h"
#include "platform/folderwatch.h"

#include <QInputDialog>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class PlatformContext;
class PropertiesWindow;
class QAction;
class QMenu;
class QMimeData;
class QPoint;
class QWidget;
class Selection;
class ThumbnailArea;
struct MainWindowState;
struct ProgramState;
struct Picture;

struct CellMenuParts
{
    QWidget *mainWindow;
    ThumbnailArea *thumbnailArea;
    std::function<std::shared_ptr<const FileList::Listing>()> shownFiles;
    Selection &selection;
    MainWindowState &window;
    const ProgramState &state;
    PlatformContext &context;
    // The picture the preview holds, and its file's Windows path.
    const Picture &chosenPicture;
    const QString &chosenPicturePath;
    // The catalogue follows the folder after the program changed its files
    // (a file left it, came back or was renamed), then runs the function given.
    std::function<void(const FolderWatch::Changes &changes, const std::function<void()> &then)> follow;
    // Selects cell i as a click does, scrolled into view.
    std::function<void(int i)> select;
};

// The menu of a thumbnail (the right button, the Menu key, Shift+F10), and
// the keys of its commands while the thumbnails have the focus: open, open
// with one of the desktop's applications, copy the file (Ctrl+C), copy its
// path, move it to the trash (Delete; Ctrl+Z puts it back) and its
// properties (Alt+Enter). The commands act on the selected thumbnail; the
// menu selects its cell first, as a click does.
class CellMenu : public QObject
{
    Q_OBJECT

public:
    CellMenu(const CellMenuParts &parts, QObject *parent = nullptr);

    // Cell index's menu at a global position.
    void Popup(int index, const QPoint &global);

    void Copy();
    void CopyPath();
    void MoveToTrash();
    void Undo();
    // Asks for the selected file's new name; never writes over another file.
    void Rename();
    void ShowProperties();
    // Thumbnail index's file dragged out to another program.
    void Drag(int index);
    // What a drag of a file carries: its URI (from the bytes of its path) as a text/uri-list.
    static QMimeData *DraggedFile(const QByteArray &nativePath);

    QMenu *menu() const { return m_menu; }
    QMenu *openWithMenu() const { return m_openWith; }
    PropertiesWindow *properties() const { return m_properties; }
    QInputDialog *renameDialog() const { return m_renameDialog; }

    QAction *openAction = nullptr;
    QAction *copyAction = nullptr;
    QAction *copyPathAction = nullptr;
    QAction *trashAction = nullptr;
    QAction *undoAction = nullptr;
    QAction *renameAction = nullptr;
    QAction *propertiesAction = nullptr;

private:
    // The selected thumbnail's file: its native path, empty when none.
    QByteArray SelectedFile() const;
    void FillOpenWith(const QByteArray &nativePath);
    void Tell(const QString &text) const;
    void RenameTo(const QByteArray &nativePath, const QString &name, bool focused);
    // Selects the thumbnail of the file of that name (bytes), the keyboard kept if focused.
    void SelectNamed(const QByteArray &name, bool focused);

    CellMenuParts m_parts;
    QMenu *m_menu = nullptr;
    QMenu *m_openWith = nullptr;
    QPointer<PropertiesWindow> m_properties;
    QPointer<QInputDialog> m_renameDialog;
    // What the last Delete moved to the trash, for Ctrl+Z.
    std::vector<Trash::Trashed> m_trashed;
};
