#pragma once

class QWidget;

// The program's dialogs are plain windows of the toolkit (their steps of
// going are the program's own); marked here, screen readers hear them as
// dialogs, as they would a QDialog.
namespace AccessibleDialogs {

void MarkAsDialog(QWidget *window);

} // namespace AccessibleDialogs
