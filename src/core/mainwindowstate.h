#pragma once

#include <QString>

#include <cstdint>

// The window-level variables of the main window, owned by MainWindow and handed
// to the controllers that work on its widgets.
struct MainWindowState
{
    QString WindowTitle;
    QString CurrentPath = QStringLiteral("C:\\");
    QString DriveLetter;
    std::int16_t RelistGuard = 0;
    std::int16_t SelectedIndex = -1;
    std::int16_t ScrollPos = 0;
    // How often the catalogue was reset: work that waited sees whether the
    // thumbnail it was for still stands.
    std::uint32_t CatalogueResets = 0;
};
