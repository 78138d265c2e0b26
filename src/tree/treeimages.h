#pragma once

#include <QHash>
#include <QIcon>
#include <QStringList>

// The ten 16 x 16 node images of the folder tree, by image key, drawn by
// the program: "HDD", "FLOPPY", "CDROM", "REMO", "ROOT", "MyDoc", "MyCom",
// "Fclose", "Fopen", "RMB" (in image-list order).
namespace TreeImages {
QStringList keys();
QHash<QString, QIcon> make();
} // namespace TreeImages
