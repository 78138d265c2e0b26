#pragma once

#include <QIcon>

// The viewer's own pictures, drawn by the program: the four toolbar images
// of its image list (1 zoom in, 2 zoom out, 3 full screen, 4 natural size).
namespace ViewerImages {
QIcon image(int number);
} // namespace ViewerImages
