#include "settings/form4.h"

#include "platform/eventloops.h"
#include "core/favouritesmenu.h"
#include "core/programstate.h"
#include "core/settings.h"
#include "platform/filelist.h"
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
// Room below the buttons for the second frame of types.
constexpr double DialogHeight = 7560;
constexpr double BoxRow = 440;

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

Form4::Form4(const SettingsDialogParts &parts, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_parts(parts), m_state(parts.state)
{
    setWindowTitle(QStringLiteral("環境設定"));
    setAutoFillBackground(true);
    buildWidgets();
    Twips::setFixedWindowSize(this, DialogWidth, DialogHeight);
    Load();
}

Form4::~Form4() = default;

void Form4::buildWidgets()
{
    Frame1 = new QGroupBox(QStringLiteral("　表示するｲﾒｰｼﾞﾀｲﾌﾟ　"), this);
    Twips::place(Frame1, 120, 120, 3780, 3120);
    // The types of today's cameras, phones and web pages, in the same style below.
    Frame2 = new QGroupBox(QStringLiteral("　その他のｲﾒｰｼﾞﾀｲﾌﾟ　"), this);
    Twips::place(Frame2, 120, 3360, 3780, 420 + (PictureTypes::Count - PictureTypes::FirstFrameCount) * BoxRow + 100);
    for (int i = 0; i < PictureTypes::Count; ++i) {
        const PictureTypes::Type &type = PictureTypes::All()[i];
        const bool first = i < PictureTypes::FirstFrameCount;
        const double top = 420 + (first ? i : i - PictureTypes::FirstFrameCount) * BoxRow;
        QGroupBox *frame = first ? Frame1 : Frame2;
        Check1[i] = new QCheckBox(QString::fromUtf8(type.caption), frame);
        Twips::place(Check1[i], 120, top, first ? 2460 : 2220, 330);
        // The second frame's labels ("*.WEBP") are wider.
        Label1[i] = new QLabel(QString::fromUtf8(type.label), frame);
        Twips::place(Label1[i], first ? 2580 : 2340, top, first ? 1140 : 1380, 330);
    }

    Label3 = new QLabel(QStringLiteral("お気に入り（登録済み）"), this);
    Twips::place(Label3, 4080, 120, 2160, 300);
    Label2 = new QLabel(QStringLiteral("個数"), this);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Twips::place(Label2, 6240, 120, 1500, 300);
    const QString hint = QStringLiteral("ダブルクリックでフォルダに移動します。");
    List = new QListWidget(this);
    List->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List->setToolTip(hint);
    Twips::place(List, 4080, 420, 3660, 1860);
    Label4 = new QLabel(QStringLiteral("削除数 0 個"), this);
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Twips::place(Label4, 6240, 2340, 1500, 300);
    List2 = new QListWidget(this);
    List2->setToolTip(hint);
    Twips::place(List2, 4080, 2640, 3660, 900);
    const char *favouriteButtons[] = {"削除", "すべて削除", "開く"};
    for (int i = 0; i < 3; ++i) {
        Command2[i] = new QPushButton(QString::fromUtf8(favouriteButtons[i]), this);
        Twips::place(Command2[i], 4080 + i * 1240, 3660, 1180, 390);
        connect(Command2[i], &QPushButton::clicked, this, [this, i] { FavouriteButtonClicked(i); });
    }
    connect(List, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) { List->setToolTip(item->text()); });
    connect(List, &QListWidget::itemDoubleClicked, this, [this] {
        m_parts.mainWindow->setEnabled(true);
        OpenSelectedFavourite();
    });

    const char *dialogButtons[] = {"OK", "キャンセル", "適用"};
    for (int i = 0; i < 3; ++i) {
        Command1[i] = new QPushButton(QString::fromUtf8(dialogButtons[i]), this);
        Twips::place(Command1[i], 4080 + i * 1240, 4500, 1180, 390);
    }
    Command1[0]->setDefault(true);
    connect(Command1[0], &QPushButton::clicked, this, [this] {
        ApplySettings();
        m_parts.mainWindow->setEnabled(true);
        m_parts.TreeView1->setFocus();
        Unload();
    });
    connect(Command1[1], &QPushButton::clicked, this, [this] {
        m_parts.mainWindow->setEnabled(true);
        m_parts.TreeView1->setFocus();
        Unload();
    });
    connect(Command1[2], &QPushButton::clicked, this, &Form4::ApplySettings);
}

double Form4::Width() const { return Twips::windowWidth(this); }
double Form4::Height() const { return Twips::windowHeight(this); }

void Form4::Load()
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
            Check1[i]->setChecked(value == 1);
    }
    m_parts.mainWindow->setEnabled(false);
    SetUpFavouritesArea();
}


void Form4::FillFavouritesList()
{
    ReadFavouriteSettings(m_parts.context.profile, m_state);
    List->clear();
    for (int i = 0; i <= m_state.FavCount && i < m_parts.favourites.EntryCount(); ++i)
        List->addItem(m_parts.favourites.FavouritePath(i));
}

void Form4::SetUpFavouritesArea()
{
    if (!m_parts.favourites.FirstEntryShown()) {
        EnableFavourites(false);
        Label2->setText(CountText("登録数 ", 0));
        m_listedMenu.clear();
        return;
    }
    m_state.FavCount = static_cast<std::int16_t>(m_state.FavCount + 1);
    EnableFavourites(true);
    List->setCurrentRow(0);
    Command1[1]->setFocus();
    ShowCount();
    m_listedMenu = m_parts.favourites.ShownFavourites();
}

void Form4::ShowCount() { Label2->setText(CountText("登録数 ", List->count())); }

void Form4::EnableFavourites(bool enabled)
{
    List->setEnabled(enabled);
    for (QPushButton *button : Command2)
        button->setEnabled(enabled);
}

QString Form4::PatternFor(const std::array<bool, PictureTypes::Count> &ticked)
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

void Form4::ApplySettings()
{
    const ProfileStore &profile = m_parts.context.profile;
    std::array<bool, PictureTypes::Count> ticked{};
    for (int i = 0; i < PictureTypes::Count; ++i)
        ticked[i] = Check1[i]->isChecked();
    m_parts.File1->setPattern(PatternFor(ticked));
    WriteSetting(profile, QStringLiteral("SET"), QStringLiteral("HD_DRV"), QStringLiteral("C:"));
    for (int i = 0; i < PictureTypes::Count; ++i)
        WriteSetting(profile, QStringLiteral("CHKBOX"), QStringLiteral("TYPE%1").arg(i),
                     ticked[i] ? QStringLiteral("1") : QStringLiteral("0"));
    WriteSetting(profile, QStringLiteral("PATT"), QStringLiteral("TYPE"), m_parts.File1->pattern());

    if (DeletedBase != 0) {
        for (int i = 0; i <= DeletedBase; ++i)
            WriteSetting(profile, QStringLiteral("FAV"), FavouriteKey(i), i < List->count() ? List->item(i)->text() : QString());
        WriteSetting(profile, QStringLiteral("FAV2"), QStringLiteral("CNT"),
                     List->count() == 0 ? QStringLiteral("0") : QString::number(List->count() - 1));
    }
    ReadFavouriteSettings(profile, m_state);
    m_parts.favourites.RebuildMenu(DeletedBase);
    m_listedMenu = m_parts.favourites.ShownFavourites();
}

void Form4::FavouriteButtonClicked(int index)
{
    SetTextColour(Label2, QColor(0, 192, 0));
    if ((index == 0 || index == 1) && DeletedBase == 0)
        DeletedBase = static_cast<std::int16_t>(List->count());
    for (int i = 0; i < List->count(); ++i) {
        if ((index == 0 && List->item(i)->isSelected()) || index == 1)
            List2->addItem(List->item(i)->text());
    }
    SetTextColour(Label4, QColor(255, 0, 0));
    Label4->setText(CountText("削除数 ", List2->count()));
    if (index == 0) {
        for (int i = List->count() - 1; i >= 0; --i) {
            if (List->item(i)->isSelected())
                delete List->takeItem(i);
        }
    } else if (index == 1) {
        List->clear();
    } else if (index == 2) {
        OpenSelectedFavourite();
    }
    if (List->count() > 0)
        List->setCurrentRow(0);
    ShowCount();
    EnableFavourites(List->count() > 0);
}

void Form4::OpenSelectedFavourite()
{
    // "開く" or a double click again while the favourite opens.
    const EventLoops::OneAtATime once(m_opening);
    if (!once.entered())
        return;
    hide();
    PlatformContext::yield();
    m_parts.mainWindow->setEnabled(true);
    if (List->currentRow() >= 0)
        m_parts.favourites.OKINIIRICLK(List->currentRow());
    m_parts.context.windows->setTopMost(m_parts.mainWindow, true);
    m_parts.context.windows->setTopMost(m_parts.mainWindow, false);
}

void Form4::TakeInAddedFavourites()
{
    // Favourites added through the main window while the dialog is loaded
    // join its list, so that applying a deletion cannot drop them.
    const QStringList menu = m_parts.favourites.ShownFavourites();
    if (menu == m_listedMenu || menu.mid(0, m_listedMenu.size()) != m_listedMenu)
        return;
    const QStringList added = menu.mid(m_listedMenu.size());
    if (m_listedMenu.isEmpty())
        List->clear();
    List->addItems(added);
    if (DeletedBase != 0)
        DeletedBase = static_cast<std::int16_t>(DeletedBase + added.size());
    m_listedMenu = menu;
    if (List->currentRow() < 0)
        List->setCurrentRow(0);
    ShowCount();
    EnableFavourites(true);
}

void Form4::ShowAgain()
{
    TakeInAddedFavourites();
    show();
    raise();
}

void Form4::Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_parts.mainWindow->setEnabled(true);
    // The keyboard goes back to the main window, not to nowhere.
    m_parts.mainWindow->activateWindow();
    DeletedBase = 0;
    hide();
    EventLoops::releaseWhenOutermost(this);
}

void Form4::closeEvent(QCloseEvent *event)
{
    event->ignore();
    Unload();
}

void Form4::keyPressEvent(QKeyEvent *event)
{
    // Escape is "キャンセル".
    if (event->key() == Qt::Key_Escape)
        Command1[1]->click();
    else
        QWidget::keyPressEvent(event);
}
