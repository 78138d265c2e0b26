#pragma once

#include "core/picturetypes.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

// Name and size texts of one thumbnail, shown by the hover box.
struct ThumbInfo
{
    QString NameText;
    QString SizeText;
};

// The program-wide variables, one instance owned by the application and
// passed by reference to every window and controller that shares them.
struct ProgramState
{
    // Mirrors of the settings file.
    QString HdDrive;
    QString TypePattern;
    std::array<QString, PictureTypes::Count> TypeCheck;
    std::array<QString, 31> FavPath;
    QString FavCntText;
    std::int16_t FavCount = 0;

    // Thumbnail catalogue.
    std::int32_t ThumbCount = 0;
    std::int32_t FileCount = 0;
    std::vector<ThumbInfo> InfoList;
    std::array<std::int16_t, 2> GridShape{0, 0};
    double AreaHeight = 0.0;
    QString TempPath;
    bool StopRequest = false;
    std::int16_t LoadFlag = 0;
    std::int16_t CatalogueDone = 0;
    std::int16_t SavedScroll = 0;

    // Viewer.
    std::int16_t ZoomLevel = 5;
    std::int16_t PressCount = 0;
    std::int16_t Draggable = 0;

    // Hover box.
    std::int16_t HoverIndex = 0;
    std::int32_t HoverX = 0;
    std::int32_t HoverY = 0;
    std::int16_t PreviewShown = 0;

    // Main window size recorded before the About box opens.
    std::int16_t MainWindowHeight = 0;
    std::int16_t MainWindowWidth = 0;
};
