#pragma once

#include "catalogue/catalogueparts.h"
#include "catalogue/picturekeeper.h"
#include "catalogue/thumbnailengine.h"

#include <QObject>


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

private:
    CatalogueParts m_parts;
    ProgramState &m_state;
    PictureKeeper m_keeper;
    ThumbnailEngine m_engine;
};
