#pragma once

#include "catalogue/catalogueparts.h"
#include "catalogue/picturekeeper.h"
#include "catalogue/thumbnailengine.h"
#include "platform/folderwatch.h"

#include <QObject>

#include <functional>
#include <vector>


// The catalogue of the main window: every rebuild of the thumbnails is
// ResetCatalogue, LoadThumbnails, ShowLoadResult. It also answers the
// change of the file list's folder and of the scroll bar.
class Catalogue : public QObject
{
    Q_OBJECT

public:
    explicit Catalogue(const CatalogueParts &parts, QObject *parent = nullptr);

    void ResetCatalogue();
    void LoadThumbnails() { m_engine.LoadThumbnails(); }
    // The files the thumbnails stand for (empty after a reset).
    std::shared_ptr<const FileList::Listing> shownFiles() const { return m_engine.shownFiles(); }
    void ShowLoadResult();
    // The three steps of a rebuild.
    void Rebuild();

    // fileList's folder changed.
    void FolderChanged();
    // scrollBar's value changed.
    void ScrollChanged(int value);
    void ReloadVisibleThumbs();
    // The file list's order changed: the thumbnails of a complete catalogue
    // move to their places without a decode (their facts read where the
    // order needs them); another catalogue is shown again.
    void OrderChanged();
    // The folder is read again and the catalogue follows it without a
    // reload: the cells of files gone are removed, files come in take their
    // places (their thumbnails made as they come into view), files written
    // are made again, and the others keep their thumbnails, the selection
    // and the scroll. Files still being written are left out until they are
    // done. A catalogue still loading follows once its load ends; one that
    // was stopped, or the caching mode's, is loaded again when the program
    // itself changed its files (asked), else left as it is. then runs after.
    void Follow(const FolderWatch::Changes &changes, bool asked, const std::function<void()> &then = {});
    FolderWatch &watch() { return m_watch; }

    // Scrolls the area, a row at a time as the scroll bar does, so that
    // thumbnail i is in view.
    void ShowCell(int i);
    // Rows of cells the area shows at once.
    int RowsInView() const;
    // The thumbnails are shown again with their longer side this many twips;
    // the picture selected before is selected again.
    void SizeChanged(double side);
    PictureKeeper &keeper() { return m_keeper; }

    // Top of the thumbnail area at a scroll value.
    static double AreaTopAt(int value, double cellHeight);

    const CatalogueParts &parts() const { return m_parts; }

signals:
    // Thumbnail i is to be selected again, as a click selects it, while the
    // catalogue's reset count is still resets.
    void reselectRequested(int i, std::uint32_t resets);
    // The thumbnails of the catalogue reset `before` times moved: thumbnail
    // i is now thumbnail placeOf[i] (-1: its file went).
    void entriesMoved(const std::vector<int> &placeOf, std::uint32_t before);

private:
    void FollowNow(const FolderWatch::Changes &changes, bool asked);

    CatalogueParts m_parts;
    ProgramState &m_state;
    PictureKeeper m_keeper;
    ThumbnailEngine m_engine;
    FolderWatch m_watch;
};
