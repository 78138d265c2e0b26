#include "app/cellmenu.h"

#include "catalogue/thumbnailarea.h"
#include "core/mainwindowstate.h"
#include "core/programstate.h"
#include "files/fileoperations.h"
#include "files/nativefile.h"
#include "pictures/sharedthumbnails.h"
#include "pictures/pictureloader.h"
#include "platform/applications.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"
#include "viewer/propertieswindow.h"
#include "viewer/selection.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QPixmap>
#include <QFile>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

namespace {

// The files as a file manager copies them, and a single picture as an
// image too, decoded only when a program asks for it.
class CopiedFiles : public QMimeData
{
public:
    explicit CopiedFiles(const QByteArray &nativePath) : m_nativePath(nativePath)
    {
        const QByteArray uri = NativeFile::UriOf(nativePath);
        setUrls({QUrl::fromEncoded(uri)});
        setData(QStringLiteral("x-special/gnome-copied-files"), "copy\n" + uri);
        setText(QFile::decodeName(nativePath));
    }

    QStringList formats() const override
    {
        QStringList all = QMimeData::formats();
        all << QStringLiteral("application/x-qt-image");
        return all;
    }
    bool hasFormat(const QString &type) const override
    {
        return type == QLatin1String("application/x-qt-image") || QMimeData::hasFormat(type);
    }

protected:
    QVariant retrieveData(const QString &type, QMetaType wanted) const override
    {
        if (type != QLatin1String("application/x-qt-image"))
            return QMimeData::retrieveData(type, wanted);
        if (!m_image) {
            const std::optional<Picture> picture = PictureLoader::Load(m_nativePath);
            m_image = picture && !picture->image.isNull() ? picture->image : QImage();
        }
        return m_image->isNull() ? QVariant() : QVariant(*m_image);
    }

private:
    QByteArray m_nativePath;
    mutable std::optional<QImage> m_image;
};

} // namespace

CellMenu::CellMenu(const CellMenuParts &parts, QObject *parent) : QObject(parent), m_parts(parts)
{
    m_menu = new QMenu(parts.mainWindow);
    m_menu->setObjectName(QStringLiteral("cellMenu"));
    openAction = m_menu->addAction(QStringLiteral("開く(&O)"));
    openAction->setObjectName(QStringLiteral("cellOpenAction"));
    m_openWith = m_menu->addMenu(QStringLiteral("プログラムから開く(&H)"));
    m_openWith->setObjectName(QStringLiteral("openWithMenu"));
    m_menu->addSeparator();
    copyAction = m_menu->addAction(QStringLiteral("コピー(&C)"));
    copyAction->setObjectName(QStringLiteral("copyAction"));
    copyAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    copyPathAction = m_menu->addAction(QStringLiteral("パスをコピー(&A)"));
    copyPathAction->setObjectName(QStringLiteral("copyPathAction"));
    m_menu->addSeparator();
    trashAction = m_menu->addAction(QStringLiteral("ごみ箱に移動(&D)"));
    trashAction->setObjectName(QStringLiteral("trashAction"));
    trashAction->setShortcut(QKeySequence(Qt::Key_Delete));
    undoAction = m_menu->addAction(QStringLiteral("元に戻す(&U)"));
    undoAction->setObjectName(QStringLiteral("undoAction"));
    undoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    undoAction->setEnabled(false);
    renameAction = m_menu->addAction(QStringLiteral("名前の変更(&M)"));
    renameAction->setObjectName(QStringLiteral("renameAction"));
    renameAction->setShortcut(QKeySequence(Qt::Key_F2));
    m_menu->addSeparator();
    propertiesAction = m_menu->addAction(QStringLiteral("プロパティ(&R)"));
    propertiesAction->setObjectName(QStringLiteral("cellPropertiesAction"));
    propertiesAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Return));

    connect(openAction, &QAction::triggered, this, [this] {
        if (m_parts.window.SelectedIndex >= 0)
            m_parts.selection.OpenViewer(m_parts.window.SelectedIndex);
    });
    connect(copyAction, &QAction::triggered, this, &CellMenu::Copy);
    connect(copyPathAction, &QAction::triggered, this, &CellMenu::CopyPath);
    connect(trashAction, &QAction::triggered, this, &CellMenu::MoveToTrash);
    connect(undoAction, &QAction::triggered, this, &CellMenu::Undo);
    connect(propertiesAction, &QAction::triggered, this, &CellMenu::ShowProperties);
    connect(renameAction, &QAction::triggered, this, &CellMenu::Rename);
    // The keys work while the thumbnails have the focus.
    for (QAction *action : {copyAction, trashAction, undoAction, renameAction, propertiesAction}) {
        action->setShortcutContext(Qt::WidgetShortcut);
        parts.thumbnailArea->addAction(action);
    }
    connect(parts.thumbnailArea, &ThumbnailArea::menuRequested, this, &CellMenu::Popup);
    connect(parts.thumbnailArea, &ThumbnailArea::dragRequested, this, &CellMenu::Drag);
}

QByteArray CellMenu::SelectedFile() const
{
    const int index = m_parts.window.SelectedIndex;
    const std::shared_ptr<const FileList::Listing> files = m_parts.shownFiles();
    return index >= 0 && index < files->count() ? files->nativePath(index) : QByteArray();
}

void CellMenu::Popup(int index, const QPoint &global)
{
    const std::uint32_t resets = m_parts.window.CatalogueResets;
    if (index != m_parts.window.SelectedIndex)
        m_parts.selection.ThumbnailClicked(index);
    // The click lets events run: the catalogue may be gone, or another cell chosen.
    if (resets != m_parts.window.CatalogueResets || m_parts.window.SelectedIndex != index ||
        !m_parts.thumbnailArea->isVisible())
        return;
    const QByteArray file = SelectedFile();
    if (file.isEmpty())
        return;
    FillOpenWith(file);
    m_menu->popup(global);
}

void CellMenu::FillOpenWith(const QByteArray &nativePath)
{
    m_openWith->clear();
    const std::vector<Applications::Application> applications = Applications::ForFile(nativePath);
    for (const Applications::Application &application : applications) {
        QAction *action = m_openWith->addAction(application.isDefault ? application.name + QStringLiteral("（既定）")
                                                                      : application.name);
        connect(action, &QAction::triggered, this, [this, id = application.id, nativePath] {
            QString error;
            if (!Applications::Launch(id, {nativePath}, &error))
                Tell(QStringLiteral("プログラムを起動できませんでした。\n\n%1").arg(error));
        });
    }
    if (applications.empty())
        m_openWith->addAction(QStringLiteral("（この種類を開くプログラムがありません）"))->setEnabled(false);
}

void CellMenu::Copy()
{
    const QByteArray file = SelectedFile();
    if (!file.isEmpty())
        QApplication::clipboard()->setMimeData(new CopiedFiles(file));
}

void CellMenu::CopyPath()
{
    const QByteArray file = SelectedFile();
    if (!file.isEmpty())
        QApplication::clipboard()->setText(QFile::decodeName(file));
}

void CellMenu::MoveToTrash()
{
    const QByteArray file = SelectedFile();
    if (file.isEmpty())
        return;
    const Trash::Result result = Trash::MoveToTrash(file, Trash::UsersPlaces());
    if (!result.trashed) {
        Tell(QStringLiteral("ごみ箱に移動できませんでした。\n\n%1\n%2").arg(QFile::decodeName(file), result.error));
        return;
    }
    m_trashed = {*result.trashed};
    undoAction->setEnabled(true);
    // The next picture takes the place of the one trashed, so that Delete goes on.
    const int index = m_parts.window.SelectedIndex;
    const bool focused = m_parts.thumbnailArea->hasFocus();
    FolderWatch::Changes changes;
    changes.listChanged = true;
    m_parts.follow(changes, [this, index, focused] {
        const int count = m_parts.state.ThumbCount;
        if (count <= 0 || m_parts.window.SelectedIndex >= 0 || !m_parts.state.CatalogueDone)
            return;
        m_parts.select(std::min(index, count - 1));
        if (focused && m_parts.thumbnailArea->isVisible())
            m_parts.thumbnailArea->setFocus();
    });
}

void CellMenu::Undo()
{
    if (m_trashed.empty())
        return;
    const std::vector<Trash::Trashed> trashed = std::exchange(m_trashed, {});
    undoAction->setEnabled(false);
    QStringList failed;
    for (const Trash::Trashed &item : trashed) {
        QString error;
        if (!Trash::Restore(item, &error))
            failed << QFile::decodeName(item.original) + QStringLiteral(": ") + error;
    }
    FolderWatch::Changes changes;
    changes.listChanged = true;
    m_parts.follow(changes, {});
    if (!failed.isEmpty())
        Tell(QStringLiteral("元の場所に戻せませんでした。\n\n%1").arg(failed.join(QLatin1Char('\n'))));
}

QMimeData *CellMenu::DraggedFile(const QByteArray &nativePath)
{
    auto *data = new QMimeData;
    // The URI as it is, percent-encoded from the bytes: no round trip through text.
    data->setData(QStringLiteral("text/uri-list"), NativeFile::UriOf(nativePath) + "\r\n");
    data->setText(QFile::decodeName(nativePath));
    return data;
}

void CellMenu::Drag(int index)
{
    const std::shared_ptr<const FileList::Listing> files = m_parts.shownFiles();
    if (index < 0 || index >= std::min<int>(files->count(), m_parts.state.ThumbCount))
        return;
    auto *drag = new QDrag(m_parts.thumbnailArea);
    drag->setMimeData(DraggedFile(files->nativePath(index)));
    const QImage &picture = m_parts.thumbnailArea->pictureAt(index).picture;
    if (!picture.isNull())
        drag->setPixmap(QPixmap::fromImage(picture.scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    // The drag runs its own events until the drop; nothing is done here after it.
    drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
}

void CellMenu::Rename()
{
    const QByteArray file = SelectedFile();
    if (file.isEmpty())
        return;
    if (m_renameDialog)
        m_renameDialog->close();
    const QString name = m_parts.shownFiles()->entries.at(m_parts.window.SelectedIndex);
    auto *dialog = new QInputDialog(m_parts.mainWindow);
    m_renameDialog = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("名前の変更"));
    dialog->setLabelText(QStringLiteral("新しい名前:"));
    dialog->setTextValue(name);
    dialog->setOkButtonText(QStringLiteral("OK"));
    dialog->setCancelButtonText(QStringLiteral("キャンセル"));
    // The dialog renames the file it was opened for, whatever is selected by
    // then; once it has closed, as the selection afterwards lets events run
    // and the dialog is deleted on its close.
    const bool focused = m_parts.thumbnailArea->hasFocus();
    connect(
        dialog, &QInputDialog::textValueSelected, this,
        [this, file, focused](const QString &typed) { RenameTo(file, typed, focused); }, Qt::QueuedConnection);
    // Not modal: the main window can still be closed (the dialog goes with
    // it) and other cells chosen meanwhile.
    dialog->setWindowModality(Qt::NonModal);
    dialog->show();
    // The name without its ending is chosen, as file managers do.
    if (auto *edit = dialog->findChild<QLineEdit *>()) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        edit->setSelection(0, dot > 0 ? int(dot) : int(name.size()));
    }
}

void CellMenu::RenameTo(const QByteArray &nativePath, const QString &name, bool focused)
{
    const QByteArray oldName = nativePath.mid(nativePath.lastIndexOf('/') + 1);
    if (name == QFile::decodeName(oldName))
        return;
    if (const QString problem = FileOperations::NameProblem(name); !problem.isEmpty()) {
        Tell(QStringLiteral("名前を変更できませんでした。\n\n%1").arg(problem));
        return;
    }
    const QByteArray newName = QFile::encodeName(name);
    const FileOperations::Outcome outcome = FileOperations::Rename(nativePath, newName);
    if (!outcome.done) {
        Tell(QStringLiteral("名前を変更できませんでした。\n\n%1\n%2").arg(QFile::decodeName(nativePath), outcome.error));
        return;
    }
    // Its thumbnails are made again under the new name.
    SharedThumbnails(m_parts.context.thumbnailCache).Forget(nativePath);
    FolderWatch::Changes changes;
    changes.listChanged = true;
    changes.renamed.insert(oldName, newName);
    m_parts.follow(changes, [this, newName, focused] { SelectNamed(newName, focused); });
}

void CellMenu::SelectNamed(const QByteArray &name, bool focused)
{
    const std::shared_ptr<const FileList::Listing> files = m_parts.shownFiles();
    for (int i = 0; i < std::min<int>(files->count(), m_parts.state.ThumbCount); ++i) {
        if (files->nativeName(i) != name)
            continue;
        // Selected again, so that the preview holds the new name.
        if (i == m_parts.window.SelectedIndex)
            m_parts.window.SelectedIndex = -1;
        m_parts.select(i);
        if (focused && m_parts.thumbnailArea->isVisible())
            m_parts.thumbnailArea->setFocus();
        return;
    }
}

void CellMenu::ShowProperties()
{
    const QByteArray file = SelectedFile();
    if (file.isEmpty())
        return;
    const int index = m_parts.window.SelectedIndex;
    const QString windowsPath = m_parts.shownFiles()->windowsPath(index);
    Metadata::Shown shown;
    const qsizetype cut = windowsPath.lastIndexOf(QLatin1Char('\\'));
    shown.name = windowsPath.mid(cut + 1);
    shown.folder = cut > 0 ? windowsPath.left(cut) : QString();
    // The preview holds the selected picture's natural size.
    if (m_parts.chosenPicturePath == windowsPath) {
        shown.pixels = QSize(Twips::toPixelsX(m_parts.chosenPicture.widthTwips), Twips::toPixelsY(m_parts.chosenPicture.heightTwips));
        shown.sensor = m_parts.chosenPicture.sensorPixels;
    }
    if (m_properties)
        m_properties->close();
    m_properties = new PropertiesWindow(file, shown, m_parts.mainWindow);
    m_properties->show();
    m_properties->activateWindow();
}

void CellMenu::Tell(const QString &text) const
{
    m_parts.context.messageBox->show(m_parts.mainWindow, text, QStringLiteral("KuRoEView"), MessageBoxService::Icon::None);
}
