#pragma once

#include <QIcon>

// Images of the main toolbar's image list, by their number (1 to 7), drawn
// by the program: 1 open picture, 2 settings, 3 reload, 5 help, 7 favourites.
namespace ToolbarImages {
QIcon image(int number);
} // namespace ToolbarImages
