#pragma once

class QWidget;

// A window that belongs to another (a dialog to the main window): the
// window system keeps it above its owner and takes it for a dialog of it.
// Where windows float freely (Wayland compositors such as GNOME's and
// KDE's), a click on the owner then cannot hide the window beneath it.
namespace WindowOwner {

void SetOwner(QWidget *window, QWidget *owner);

} // namespace WindowOwner
