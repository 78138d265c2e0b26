#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>

// The program's icon, drawn by the program: four thumbnail cells on a slate
// tile, the first one selected, each with a small picture. One drawing gives
// the icon at any pixel size and as scalable vector text (SVG), for the
// window, the About box and the desktop's menus.
namespace ProgramIcon {

QImage image(int size);
QIcon icon();
QByteArray svg();

} // namespace ProgramIcon
