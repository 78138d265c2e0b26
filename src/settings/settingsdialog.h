#pragma once

#include "core/picturetypes.h"
#include "platform/unloadingwindow.h"

#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>

class FavouritesMenu;
class FileList;
class PlatformContext;
class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
struct ProgramState;

// What the settings dialog works on.
struct SettingsDialogParts
{
    // Disabled while the dialog is open; the dialog is placed by its size.
    QWidget *mainWindow;
    // Gets the keyboard focus when the dialog closes.
    QWidget *treeView;
    // Its pattern is the file-type setting.
    FileList *fileList;
    PlatformContext &context;
    ProgramState &state;
    FavouritesMenu &favourites;
};

// The settings dialog "環境設定": which picture types the file list shows,
// and the favourites page, where favourites are opened and deleted.
// Deletions wait in the dialog until OK or Apply. While it is open the main
// window is disabled.
class SettingsDialog : public UnloadingWindow<QWidget>
{
    Q_OBJECT

public:
    explicit SettingsDialog(const SettingsDialogParts &parts, QWidget *parent = nullptr);
    ~SettingsDialog() override;

    // Outer size in twips.
    double Width() const;
    double Height() const;

    // The apply procedure of OK and Apply.
    void ApplySettings();
    // Shows a dialog that opening a favourite hid, as it was left; favourites
    // the main window added meanwhile join its list.
    void ShowAgain();
    // Favourites the main window added since the list was filled join it.
    void TakeInAddedFavourites();
    void OpenSelectedFavourite();
    void FavouriteButtonClicked(int index);

    // The pattern the ticked boxes give, in their order.
    static QString PatternFor(const std::array<bool, PictureTypes::Count> &ticked);

    QGroupBox *typesFrame = nullptr;
    QGroupBox *otherTypesFrame = nullptr;
    std::array<QCheckBox *, PictureTypes::Count> typeBoxes{};
    std::array<QLabel *, PictureTypes::Count> typeLabels{};
    QLabel *countLabel = nullptr;
    QLabel *favouritesCaption = nullptr;
    QLabel *deletedLabel = nullptr;
    QListWidget *favouritesList = nullptr;
    QListWidget *deletedList = nullptr;
    std::array<QPushButton *, 3> dialogButtons{};
    std::array<QPushButton *, 3> favouriteButtons{};

    std::int16_t DeletedBase = 0;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // Closing the dialog (Unload): the main window is enabled again.
    void Unloading() override;

private:
    void buildWidgets();
    void Load();
    void FillFavouritesList();
    void SetUpFavouritesArea();
    void ShowCount();
    void EnableFavourites(bool enabled);

    SettingsDialogParts m_parts;
    ProgramState &m_state;
    QStringList m_listedMenu;
    bool m_opening = false;
};
