#pragma once

#include <QIcon>

#include <functional>

class QPainter;

// Images of the main toolbar's image list, by their number (1 to 7), drawn
// by the program: 1 open picture, 2 settings, 3 reload, 5 help, 7 favourites.
namespace ToolbarImages {
QIcon image(int number);
// A 16 x 16 icon (with a sharp 32 x 32 copy) drawn by the given function.
QIcon drawn(const std::function<void(QPainter &)> &draw);
} // namespace ToolbarImages
