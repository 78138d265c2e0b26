#pragma once

#include "catalogue/thumbnailprefetch.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>

class Form1;
class Form2;
class LoadGate;
class PlatformContext;
struct ProgramState;

// The thumbnail engine: makes the thumbnails of File1's entries one by one,
// lays out their cells in the grid, records their name and size texts and,
// in caching mode, writes each thumbnail to a cache file. It yields to the
// message loop several times per file so that the stop box stays usable.
class Module1
{
public:
    Module1(Form1 &mainWindow, ProgramState &state, LoadGate &gate);

    void LoadThumbnails();

    // The thumbnail of a picture of natural size W x H twips: unscaled up to
    // 600 x 600, else scaled so that its longer side is 600.
    struct ThumbnailSize
    {
        double width;
        double height;
        bool scaled;
    };
    static ThumbnailSize ThumbnailSizeFor(double width, double height);
    // Colour-on-colour (fast) for names ending in JPG or BMP, halftone otherwise.
    static bool UsesColourOnColour(const QString &entry);
    // Draws a picture at a thumbnail's pixel size with the mode for its name.
    static QImage DrawThumbnail(const QImage &picture, int width, int height, bool colourOnColour);

    // Grid steps shared with the scroll handler.
    static std::int16_t ColumnsFor(double areaWidth, double cellWidth, double scrollBarWidth);
    static std::int16_t PerScreenFor(std::int16_t columns, double areaHeight, double cellHeight);

private:
    void LoadFiles();
    void ComputeGridShape();
    void PlaceCell(int k);
    void CentreImage(int k);
    void GrowRow(int k);
    void FinalRow();
    void MakeThumbnail(int i, int k);
    void WriteCacheFile(int k);
    void EndLoad();

    Form1 &m_main;
    ProgramState &m_state;
    PlatformContext &m_context;
    LoadGate &m_gate;
    Form2 *m_stopBox = nullptr;
    // File1's folder and entries as the load found them: a folder chosen
    // while the load ends never changes the files it is working through.
    QString m_folder;
    QStringList m_entries;
    std::unique_ptr<ThumbnailPrefetch> m_prefetch;

    // Counters of one load.
    std::int16_t ColumnCounter = 0;
    std::int16_t ExtraRows = 0;
    std::int16_t FirstHeldIndex = 0;
};
