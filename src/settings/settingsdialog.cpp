#include "settings/settingsdialog.h"

#include "platform/accessibledialogs.h"
#include "platform/windowowner.h"
#include "platform/eventloops.h"
#include "core/favouritesmenu.h"
#include "core/programstate.h"
#include "core/settings.h"
#include "files/filelist.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {

constexpr double DialogWidth = 7860;
constexpr double BoxRow = 440;
// Room below the buttons for the second frame of types.
constexpr double DialogHeight = 3360 + 420 + (PictureTypes::Count - PictureTypes::FirstFrameCount) * BoxRow + 100 + 600;

QString CountText(const char *prefix, int count)
{
    return QString::fromUtf8(prefix) + QString::number(count) + QStringLiteral(" 個");
}

void SetTextColour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

SettingsDialog::SettingsDialog(const SettingsDialogParts &parts, QWidget *parent)
    : UnloadingWindow<QWidget>(parent, Qt::Window | Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_parts(parts), m_state(parts.state)
{
    setWindowTitle(QStringLiteral("環境設定"));
    AccessibleDialogs::MarkAsDialog(this);
    WindowOwner::SetOwner(this, m_parts.mainWindow);
    setAutoFillBackground(true);
    buildWidgets();
    Twips::setFixedWindowSize(this, DialogWidth, DialogHeight);
    Load();
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::buildWidgets()
{
    typesFrame = new QGroupBox(QStringLiteral("　表示するｲﾒｰｼﾞﾀｲﾌﾟ　"), this);
    Twips::place(typesFrame, 120, 120, 3780, 3120);
    // The types of today's cameras, phones and web pages, in the same style below.
    otherTypesFrame = new QGroupBox(QStringLiteral("　その他のｲﾒｰｼﾞﾀｲﾌﾟ　"), this);
    Twips::place(otherTypesFrame, 120, 3360, 3780, 420 + (PictureTypes::Count - PictureTypes::FirstFrameCount) * BoxRow + 100);
    for (int i = 0; i < PictureTypes::Count; ++i) {
        const PictureTypes::Type &type = PictureTypes::All()[i];
        const bool first = i < PictureTypes::FirstFrameCount;
        const double top = 420 + (first ? i : i - PictureTypes::FirstFrameCount) * BoxRow;
        QGroupBox *frame = first ? typesFrame : otherTypesFrame;
        typeBoxes[i] = new QCheckBox(QString::fromUtf8(type.caption), frame);
        // Heard without the full-width space the caption starts with.
        typeBoxes[i]->setAccessibleName(typeBoxes[i]->text().trimmed());
        Twips::place(typeBoxes[i], 120, top, first ? 2460 : 2220, 330);
        // The second frame's labels ("*.WEBP") are wider.
        typeLabels[i] = new QLabel(QString::fromUtf8(type.label), frame);
        Twips::place(typeLabels[i], first ? 2580 : 2340, top, first ? 1140 : 1380, 330);
    }

    favouritesCaption = new QLabel(QStringLiteral("お気に入り（登録済み）"), this);
    Twips::place(favouritesCaption, 4080, 120, 2160, 300);
    countLabel = new QLabel(QStringLiteral("個数"), this);
    countLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Twips::place(countLabel, 6240, 120, 1500, 300);
    const QString hint = QStringLiteral("ダブルクリックでフォルダに移動します。");
    favouritesList = new QListWidget(this);
    favouritesList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    favouritesList->setToolTip(hint);
    Twips::place(favouritesList, 4080, 420, 3660, 1860);
    deletedLabel = new QLabel(QStringLiteral("削除数 0 個"), this);
    deletedLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Twips::place(deletedLabel, 6240, 2340, 1500, 300);
    deletedList = new QListWidget(this);
    deletedList->setToolTip(hint);
    Twips::place(deletedList, 4080, 2640, 3660, 900);
    const char *favouriteCaptions[] = {"削除", "すべて削除", "開く"};
    for (int i = 0; i < 3; ++i) {
        favouriteButtons[i] = new QPushButton(QString::fromUtf8(favouriteCaptions[i]), this);
        Twips::place(favouriteButtons[i], 4080 + i * 1240, 3660, 1180, 390);
        connect(favouriteButtons[i], &QPushButton::clicked, this, [this, i] { FavouriteButtonClicked(i); });
    }
    connect(favouritesList, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) { favouritesList->setToolTip(item->text()); });
    connect(favouritesList, &QListWidget::itemDoubleClicked, this, [this] {
        m_parts.mainWindow->setEnabled(true);
        OpenSelectedFavourite();
    });

    const char *dialogCaptions[] = {"OK", "キャンセル", "適用"};
    for (int i = 0; i < 3; ++i) {
        dialogButtons[i] = new QPushButton(QString::fromUtf8(dialogCaptions[i]), this);
        Twips::place(dialogButtons[i], 4080 + i * 1240, 4500, 1180, 390);
    }
    dialogButtons[0]->setDefault(true);
    connect(dialogButtons[0], &QPushButton::clicked, this, [this] {
        ApplySettings();
        m_parts.mainWindow->setEnabled(true);
        m_parts.treeView->setFocus();
        Unload();
    });
    connect(dialogButtons[1], &QPushButton::clicked, this, [this] {
        m_parts.mainWindow->setEnabled(true);
        m_parts.treeView->setFocus();
        Unload();
    });
    connect(dialogButtons[2], &QPushButton::clicked, this, &SettingsDialog::ApplySettings);
}

double SettingsDialog::Width() const { return Twips::windowWidth(this); }
double SettingsDialog::Height() const { return Twips::windowHeight(this); }

void SettingsDialog::Load()
{
    // Placed by the main window's size, measured from the corner of the
    // screen the main window is on.
    const QPointF corner = Twips::screenCorner(m_parts.mainWindow);
    Twips::setWindowPosition(this, corner.x() + (Twips::windowWidth(m_parts.mainWindow) - Width()) / 2,
                             corner.y() + (Twips::windowHeight(m_parts.mainWindow) - Height()) / 2);
    Twips::keepInsideWorkArea(this, m_parts.mainWindow);
    m_parts.context.windows->setTopMost(this, true);
    const ProfileStore &profile = m_parts.context.profile;
    m_state.HdDrive = ReadSetting(profile, QStringLiteral("SET"), QStringLiteral("HD_DRV"), QStringLiteral("C:"));
    for (int i = 0; i < PictureTypes::Count; ++i)
        m_state.TypeCheck[i] = ReadSetting(profile, QStringLiteral("CHKBOX"), QStringLiteral("TYPE%1").arg(i), QStringLiteral("1"));
    FillFavouritesList();
    for (int i = 0; i < PictureTypes::Count; ++i) {
        bool number = false;
        const int value = m_state.TypeCheck[i].trimmed().toInt(&number);
        if (number && (value == 0 || value == 1))
            typeBoxes[i]->setChecked(value == 1);
    }
    m_parts.mainWindow->setEnabled(false);
    SetUpFavouritesArea();
}


void SettingsDialog::FillFavouritesList()
{
    ReadFavouriteSettings(m_parts.context.profile, m_state);
    favouritesList->clear();
    for (int i = 0; i <= m_state.FavCount && i < m_parts.favourites.EntryCount(); ++i)
        favouritesList->addItem(m_parts.favourites.FavouritePath(i));
}

void SettingsDialog::SetUpFavouritesArea()
{
    if (!m_parts.favourites.FirstEntryShown()) {
        EnableFavourites(false);
        countLabel->setText(CountText("登録数 ", 0));
        m_listedMenu.clear();
        return;
    }
    m_state.FavCount = static_cast<std::int16_t>(m_state.FavCount + 1);
    EnableFavourites(true);
    favouritesList->setCurrentRow(0);
    dialogButtons[1]->setFocus();
    ShowCount();
    m_listedMenu = m_parts.favourites.ShownFavourites();
}

void SettingsDialog::ShowCount() { countLabel->setText(CountText("登録数 ", favouritesList->count())); }

void SettingsDialog::EnableFavourites(bool enabled)
{
    favouritesList->setEnabled(enabled);
    for (QPushButton *button : favouriteButtons)
        button->setEnabled(enabled);
}

QString SettingsDialog::PatternFor(const std::array<bool, PictureTypes::Count> &ticked)
{
    QString pattern = QStringLiteral("*.*");
    bool first = true;
    for (int i = 0; i < PictureTypes::Count; ++i) {
        if (!ticked[i])
            continue;
        const QString piece = QString::fromLatin1(PictureTypes::All()[i].piece);
        pattern = first ? piece : pattern + piece;
        first = false;
    }
    if (pattern.startsWith(QLatin1Char(';')))
        pattern.remove(0, 1);
    if (pattern == QLatin1String("*.*"))
        pattern += QStringLiteral("KUROE");
    return pattern;
}

void SettingsDialog::ApplySettings()
{
    const ProfileStore &profile = m_parts.context.profile;
    std::array<bool, PictureTypes::Count> ticked{};
    for (int i = 0; i < PictureTypes::Count; ++i)
        ticked[i] = typeBoxes[i]->isChecked();
    m_parts.fileList->setPattern(PatternFor(ticked));
    WriteSetting(profile, QStringLiteral("SET"), QStringLiteral("HD_DRV"), QStringLiteral("C:"));
    for (int i = 0; i < PictureTypes::Count; ++i)
        WriteSetting(profile, QStringLiteral("CHKBOX"), QStringLiteral("TYPE%1").arg(i),
                     ticked[i] ? QStringLiteral("1") : QStringLiteral("0"));
    WriteSetting(profile, QStringLiteral("PATT"), QStringLiteral("TYPE"), m_parts.fileList->pattern());

    if (DeletedBase != 0) {
        for (int i = 0; i <= DeletedBase; ++i)
            WriteSetting(profile, QStringLiteral("FAV"), FavouriteKey(i), i < favouritesList->count() ? favouritesList->item(i)->text() : QString());
        WriteSetting(profile, QStringLiteral("FAV2"), QStringLiteral("CNT"),
                     favouritesList->count() == 0 ? QStringLiteral("0") : QString::number(favouritesList->count() - 1));
    }
    ReadFavouriteSettings(profile, m_state);
    m_parts.favourites.RebuildMenu(DeletedBase);
    m_listedMenu = m_parts.favourites.ShownFavourites();
}

void SettingsDialog::FavouriteButtonClicked(int index)
{
    SetTextColour(countLabel, QColor(0, 192, 0));
    if ((index == 0 || index == 1) && DeletedBase == 0)
        DeletedBase = static_cast<std::int16_t>(favouritesList->count());
    for (int i = 0; i < favouritesList->count(); ++i) {
        if ((index == 0 && favouritesList->item(i)->isSelected()) || index == 1)
            deletedList->addItem(favouritesList->item(i)->text());
    }
    SetTextColour(deletedLabel, QColor(255, 0, 0));
    deletedLabel->setText(CountText("削除数 ", deletedList->count()));
    if (index == 0) {
        for (int i = favouritesList->count() - 1; i >= 0; --i) {
            if (favouritesList->item(i)->isSelected())
                delete favouritesList->takeItem(i);
        }
    } else if (index == 1) {
        favouritesList->clear();
    } else if (index == 2) {
        OpenSelectedFavourite();
    }
    if (favouritesList->count() > 0)
        favouritesList->setCurrentRow(0);
    ShowCount();
    EnableFavourites(favouritesList->count() > 0);
}

void SettingsDialog::OpenSelectedFavourite()
{
    // "開く" or a double click again while the favourite opens.
    const EventLoops::OneAtATime once(m_opening);
    if (!once.entered())
        return;
    hide();
    PlatformContext::yield();
    m_parts.mainWindow->setEnabled(true);
    if (favouritesList->currentRow() >= 0)
        m_parts.favourites.OpenFavourite(favouritesList->currentRow());
    m_parts.context.windows->setTopMost(m_parts.mainWindow, true);
    m_parts.context.windows->setTopMost(m_parts.mainWindow, false);
}

void SettingsDialog::TakeInAddedFavourites()
{
    // Favourites added through the main window while the dialog is loaded
    // join its list, so that applying a deletion cannot drop them.
    const QStringList menu = m_parts.favourites.ShownFavourites();
    if (menu == m_listedMenu || menu.mid(0, m_listedMenu.size()) != m_listedMenu)
        return;
    const QStringList added = menu.mid(m_listedMenu.size());
    if (m_listedMenu.isEmpty())
        favouritesList->clear();
    favouritesList->addItems(added);
    if (DeletedBase != 0)
        DeletedBase = static_cast<std::int16_t>(DeletedBase + added.size());
    m_listedMenu = menu;
    if (favouritesList->currentRow() < 0)
        favouritesList->setCurrentRow(0);
    ShowCount();
    EnableFavourites(true);
}

void SettingsDialog::ShowAgain()
{
    TakeInAddedFavourites();
    show();
    raise();
}

void SettingsDialog::Unloading()
{
    m_parts.mainWindow->setEnabled(true);
    // The keyboard goes back to the main window, not to nowhere.
    m_parts.mainWindow->activateWindow();
    DeletedBase = 0;
    hide();
}

void SettingsDialog::keyPressEvent(QKeyEvent *event)
{
    // Escape is "キャンセル".
    if (event->key() == Qt::Key_Escape)
        dialogButtons[1]->click();
    else
        QWidget::keyPressEvent(event);
}
