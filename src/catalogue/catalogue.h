#pragma once

#include "catalogue/catalogueparts.h"
#include "catalogue/module1.h"

#include <QObject>


// The catalogue of the main window: every rebuild of the thumbnails is
// ResetCatalogue, LoadThumbnails, ShowLoadResult. It also answers the
// change of File1's folder and the scroll bar VS1.
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

    // File1's folder changed.
    void FolderChanged();
    // VS1's value changed.
    void ScrollChanged(int value);
    void ReloadVisibleThumbs();

    // Top of the thumbnail area at a scroll value.
    static double AreaTopAt(int value, double cellHeight);

    const CatalogueParts &parts() const { return m_parts; }

private:
    CatalogueParts m_parts;
    ProgramState &m_state;
    Module1 m_engine;
};
