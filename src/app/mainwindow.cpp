#include "app/mainwindow.h"

#include "app/cellmenu.h"
#include "widgets/commandtoolbar.h"
#include "core/programstate.h"
#include "core/loadgate.h"
#include "core/settings.h"
#include "widgets/statuspanels.h"
#include "widgets/toolbarimages.h"
#include "catalogue/catalogue.h"
#include "catalogue/thumbnailaccessible.h"
#include "catalogue/thumbnailarea.h"
#include "catalogue/viewchoices.h"
#include "favourites/commands.h"
#include "favourites/favourites.h"
#include "files/filelist.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"
#include "tree/foldernavigation.h"
#include "tree/foldertree.h"
#include "tree/keyedtree.h"
#include "tree/treeimages.h"
#include "viewer/viewerwindow.h"
#include "viewer/hoverpreview.h"
#include "widgets/picturebox.h"
#include "widgets/reachablewindows.h"
#include "viewer/selection.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

namespace {
constexpr double ScrollBarWidth = 240.0;
} // namespace

MainWindow::MainWindow(PlatformContext &context, ProgramState &state, QWidget *parent)
    : QMainWindow(parent), m_context(context), m_state(state)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    fileList = new FileList(context.fileSystem, this);
    if (const auto start = context.fileSystem.toWindows(NativeFile::CurrentFolder()))
        fileList->setPath(*start);
    hoverTimer = new QTimer(this);
    hoverTimer->setInterval(892);
    // Due 892 ms after the first move: never earlier, as a coarse timer may be.
    hoverTimer->setTimerType(Qt::PreciseTimer);
    buildWidgets();
    buildMenus();
    WireControllers();

    new ReachableWindows(this);

    // Disabling the window (the stop box, the dialogs, reading the tree)
    // takes the keyboard focus away; enabling it gives it back.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now && isAncestorOf(now))
            m_lastFocus = now;
    });

    // Design-time placement: inner area 12015 x 8610 twips at (150, 435).
    const int menuHeight = menuBar()->sizeHint().height();
    setGeometry(Twips::toPixelsX(150), Twips::toPixelsY(435), Twips::toPixelsX(12015),
                Twips::toPixelsY(8610) + menuHeight);
}

void MainWindow::WireControllers()
{
    m_gate = new LoadGate(this);
    m_folderTree = new FolderTree(m_context, *treeView, window, this);
    m_catalogue = new Catalogue(CatalogueParts{this, fileList, thumbnailArea, scrollBar, statusPanels, toolbar, openAction, treeView, previewPicture, m_context,
                                               m_state, window, *m_gate,
                                               [this] {
                                                   if (m_commands)
                                                       m_commands->CloseSettingsDialog();
                                               }},
                                this);
    m_navigation = new FolderNavigation(NavigationParts{this, treeView, fileList, scrollBar, *m_folderTree, m_context, m_state,
                                                        window, *m_gate, [this] { m_catalogue->Rebuild(); }},
                                        this);
    m_hover = new HoverPreview(HoverParts{this, hoverTimer, thumbnailArea, m_context, m_state,
                                          [this] { return m_selection->viewer() && m_selection->viewer()->isVisible(); }},
                               this);
    m_selection = new Selection(SelectionParts{this, thumbnailArea, [this] { return m_catalogue->shownFiles(); }, previewPicture, waitLabel, openAction, chosenPicture, chosenPicturePath,
                                               m_context, m_state, window, *m_hover, [this] { CentrePreview(); },
                                               [this](int i) { m_catalogue->ShowCell(i); }, [this] { return m_catalogue->RowsInView(); }},
                                this);
    m_viewChoices = new ViewChoices(viewMenu, *fileList, *m_catalogue, m_context, this);
    fileList->setDateTaken(&PictureLoader::DateTaken);
    connect(redisplayAction, &QAction::triggered, m_navigation, &FolderNavigation::Redisplay);
    connect(openAction, &QAction::triggered, this, &MainWindow::OpenSelectedPicture);
    connect(thumbnailArea, &ThumbnailArea::cellClicked, m_selection, &Selection::ThumbnailClicked);
    connect(thumbnailArea, &ThumbnailArea::cellDoubleClicked, m_selection, &Selection::ThumbnailDoubleClicked);
    connect(thumbnailArea, &ThumbnailArea::stepRequested, m_selection, &Selection::StepSelection);
    // A screen reader hears each thumbnail by the hover box's texts.
    thumbnailArea->setAccessibleItems([this] { return m_state.ThumbCount; },
                                      [this](int i) {
                                          if (i < 0 || size_t(i) >= m_state.InfoList.size())
                                              return QString();
                                          return m_state.InfoList[size_t(i)].NameText + QLatin1Char(' ') + m_state.InfoList[size_t(i)].SizeText;
                                      });
    // After the load at a new size, once the load gate is free again.
    connect(
        m_catalogue, &Catalogue::reselectRequested, this,
        [this](int i, std::uint32_t resets) {
            if (resets != window.CatalogueResets || window.SelectedIndex >= 0 || i >= m_state.ThumbCount)
                return;
            m_catalogue->ShowCell(i);
            m_selection->ThumbnailClicked(i);
        },
        Qt::QueuedConnection);
    connect(m_catalogue, &Catalogue::entriesMoved, m_selection, &Selection::EntriesMoved);
    // Enter opens the selected picture as a double click on it does.
    connect(thumbnailArea, &ThumbnailArea::openRequested, this, [this] {
        if (window.SelectedIndex >= 0)
            m_selection->ThumbnailDoubleClicked(window.SelectedIndex);
    });
    connect(thumbnailArea, &ThumbnailArea::cellMouseMoved, m_hover, &HoverPreview::MovedOverThumbnail);
    m_cellMenu = new CellMenu(CellMenuParts{this, thumbnailArea, [this] { return m_catalogue->shownFiles(); }, *m_selection, window, m_state,
                                            m_context, chosenPicture, chosenPicturePath, [this](const FolderWatch::Changes &changes, const std::function<void()> &then) { m_catalogue->Follow(changes, true, then); },
                                            [this](int i) {
                                                m_catalogue->ShowCell(i);
                                                m_selection->ThumbnailClicked(i);
                                            }},
                              this);
    m_favourites = new Favourites(FavouritesParts{this, favouritesMenu, favouriteEntries, treeView, fileList, *m_navigation, m_context,
                                                  m_state, window, *m_gate},
                                  this);
    connect(addFavouriteAction, &QAction::triggered, m_favourites, &Favourites::AddFavourite);
    m_commands = new Commands(
        CommandsParts{this,
                      settingsAction,
                      organiseFavouritesAction,
                      closeAction,
                      helpAction,
                      aboutAction,
                      toolbar,
                      *m_favourites,
                      m_context,
                      m_state,
                      *m_gate,
                      SettingsDialogParts{this, treeView, fileList, m_context, m_state, *m_favourites},
                      AboutBoxParts{this, {toolbarFrame, toolbar, thumbnailArea, statusPanels, scrollBar, this}, m_context, m_state}},
        this);
}

MainWindow::~MainWindow()
{
    // The windows the controllers own go before the widgets they refer to.
    delete m_commands;
    delete m_selection;
    delete m_hover;
}

void MainWindow::buildWidgets()
{
    client = new QWidget(this);
    setCentralWidget(client);

    ThumbnailAccessible::Install();
    thumbnailArea = new ThumbnailArea(client);
    thumbnailArea->setAccessibleName(QStringLiteral("サムネイル"));
    Twips::place(thumbnailArea, 3690, 405, 8280, 11820);
    thumbnailArea->cellAt(0).background = ThumbnailArea::CellGrey;

    toolbarFrame = new QFrame(client);
    toolbarFrame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    toolbarFrame->setAutoFillBackground(true);
    Twips::place(toolbarFrame, 0, 0, 15195, 405);

    buildToolbar();

    treeView = new KeyedTree(client);
    treeView->setImageList(TreeImages::make());
    Twips::place(treeView, 60, 390, 3540, 5250);

    previewPane = new QLabel(client);
    previewPane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    previewPane->setAccessibleName(QStringLiteral("プレビュー"));
    Twips::place(previewPane, 135, 5625, 3375, 2625);

    toolbarRule = new QFrame(client);
    toolbarRule->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    Twips::place(toolbarRule, 0, 400, 15195, 15);

    previewPicture = new PictureBox(client);
    previewPicture->setAccessibleName(QStringLiteral("プレビュー"));
    previewPicture->hide();

    waitLabel = new QLabel(QStringLiteral("ちょっと待ってね♪"), client);
    waitLabel->setAlignment(Qt::AlignCenter);
    waitLabel->hide();
    Twips::place(waitLabel, 135, 5625 + 2625 / 2 - 150, 3375, 300);

    scrollBar = new QScrollBar(Qt::Vertical, client);
    scrollBar->setRange(0, 0);
    scrollBar->hide();

    statusPanels = new StatusPanels(client);
    statusPanels->setAutoFillBackground(true);
    Twips::place(statusPanels, 0, 8295, 12015, 315);

    // The pointer over these (the status bar's panels and the scroll bar
    // included) cancels the hover box.
    QList<QWidget *> watched{treeView, treeView->viewport(), toolbar, statusPanels, previewPane, scrollBar};
    watched += statusPanels->findChildren<QWidget *>();
    for (QWidget *widget : watched) {
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
    }
    connect(thumbnailArea, &ThumbnailArea::bareAreaMouseMoved, this, &MainWindow::CancelHover);
    // Tab goes from the tree to the thumbnails.
    setTabOrder(treeView, thumbnailArea);
    connect(thumbnailArea, &ThumbnailArea::bareAreaClicked, this, [this] { treeView->setFocus(); });
    // The wheel over the thumbnails moves the scroll bar a step per notch,
    // as a click on its arrows does.
    connect(thumbnailArea, &ThumbnailArea::wheelTurned, this, [this](int notches) {
        CancelHover();
        if (scrollBar->isVisible())
            scrollBar->setValue(scrollBar->value() - notches);
    });
}

void MainWindow::buildToolbar()
{
    toolbar = new CommandToolbar(client);
    toolbar->addSeparatorPosition();
    toolbar->addButtonPosition(ToolbarImages::image(3), QStringLiteral("再読み込み"));
    toolbar->addSeparatorPosition();
    toolbar->addButtonPosition(ToolbarImages::image(1), QStringLiteral("選択された画像を開く"));
    toolbar->addButtonPosition(ToolbarImages::image(2), QStringLiteral("環境設定"));
    toolbar->addButtonPosition(ToolbarImages::image(7), QString(), QStringLiteral("お気に入りの整理"));
    toolbar->addSeparatorPosition();
    toolbar->addMenuButtonPosition(ToolbarImages::image(5), QStringLiteral("ヘルプ"),
                                {QStringLiteral("KuRoEViewヘルプ"), QStringLiteral("バージョン情報")});
    Twips::place(toolbar, 0, 15, 15150, 390);
}

void MainWindow::buildMenus()
{
    fileMenu = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    openAction = fileMenu->addAction(QStringLiteral("選択された画像を開く"));
    openAction->setObjectName(QStringLiteral("openAction"));
    openAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    fileMenu->addSeparator()->setObjectName(QStringLiteral("sen3"));
    settingsAction = fileMenu->addAction(QStringLiteral("環境設定(&O)"));
    settingsAction->setObjectName(QStringLiteral("settingsAction"));
    fileMenu->addSeparator()->setObjectName(QStringLiteral("sen"));
    closeAction = fileMenu->addAction(QStringLiteral("閉じる(&C)"));
    closeAction->setObjectName(QStringLiteral("close"));

    viewMenu = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    viewMenu->setObjectName(QStringLiteral("viewMenu"));
    redisplayAction = viewMenu->addAction(QStringLiteral("再表示"));
    redisplayAction->setObjectName(QStringLiteral("redisplayAction"));
    redisplayAction->setShortcut(QKeySequence(Qt::Key_F5));

    favouritesMenu = menuBar()->addMenu(QStringLiteral("お気に入り(&A)"));
    favouritesMenu->setObjectName(QStringLiteral("favouritesMenu"));
    addFavouriteAction = favouritesMenu->addAction(QStringLiteral("お気に入りに追加(&A)"));
    addFavouriteAction->setObjectName(QStringLiteral("addFavouriteAction"));
    organiseFavouritesAction = favouritesMenu->addAction(QStringLiteral("お気に入りの整理(&C)"));
    organiseFavouritesAction->setObjectName(QStringLiteral("organiseFavouritesAction"));
    favouritesMenu->addSeparator()->setObjectName(QStringLiteral("sen4"));
    // The separator stands under the two commands also with no favourites.
    favouritesMenu->setSeparatorsCollapsible(false);

    helpMenu = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    helpMenu->setObjectName(QStringLiteral("helpMenu"));
    helpAction = helpMenu->addAction(QStringLiteral("VoDaRadezuヘルプ(&C)"));
    helpAction->setObjectName(QStringLiteral("helpAction"));
    helpMenu->addSeparator()->setObjectName(QStringLiteral("sen2"));
    aboutAction = helpMenu->addAction(QStringLiteral("バージョン情報(&A)"));
    aboutAction->setObjectName(QStringLiteral("aboutAction"));

    // The toolbar's buttons run the menus' commands, and are enabled as they are.
    enum Position { Redisplay = 2, Open = 4, Settings = 5, Favourites = 6, Help = 8 };
    toolbar->bindCommand(Redisplay, redisplayAction);
    toolbar->bindCommand(Open, openAction);
    toolbar->bindCommand(Settings, settingsAction);
    toolbar->bindCommand(Favourites, organiseFavouritesAction);
    toolbar->bindCommand(Help, helpAction);
}

double MainWindow::ScaleWidth() const { return Twips::fromPixelsX(client->width()); }
double MainWindow::ScaleHeight() const { return Twips::fromPixelsY(client->height()); }
double MainWindow::WindowWidth() const { return Twips::fromPixelsX(frameGeometry().width()); }
double MainWindow::WindowHeight() const { return Twips::fromPixelsY(frameGeometry().height()); }
double MainWindow::WindowLeft() const { return Twips::fromPixelsX(frameGeometry().x()); }
double MainWindow::WindowTop() const { return Twips::fromPixelsY(frameGeometry().y()); }

void MainWindow::Load()
{
    m_folderTree->BuildTreeRoots();
    LayOutMainWindow();
    treeView->setCurrentItem(treeView->node(QStringLiteral("C:\\")));
    window.CurrentPath = QStringLiteral("C:\\");

    const ProfileStore &profile = m_context.profile;
    m_state.FavCount = 0;
    m_state.HdDrive = ReadSetting(profile, QStringLiteral("SET"), QStringLiteral("HD_DRV"), QStringLiteral("C:"));
    m_state.TypePattern = ReadSetting(profile, QStringLiteral("PATT"), QStringLiteral("TYPE"), PictureTypes::DefaultPattern());
    ReadFavouriteSettings(profile, m_state);
    fileList->setPattern(m_state.TypePattern);
    m_viewChoices->ReadSettings();
    m_favourites->FillMenu();

    openAction->setEnabled(false);
    window.WindowTitle = QStringLiteral("KuRoE Zuziz");
    setWindowTitle(window.WindowTitle);
    thumbnailArea->pictureAt(0).visible = false;
    m_state.StopRequest = false;
    m_catalogue->ResetCatalogue();
    thumbnailArea->cellAt(0).visible = false;
    show();
    // The first load is a request like every other: a folder chosen while
    // it runs waits for it, and overtakes it.
    m_gate->whenIdle(LoadGate::Kind::InOrder, [this] {
        // The window is painted before the start folder is read, however large.
        PlatformContext::yield();
        // The first load measures the area as the window shows it; measured at
        // its design height it would count more thumbnails per screen than fit,
        // and the rows below the window could never be scrolled to.
        Twips::setHeight(thumbnailArea, Twips::top(statusPanels));
        m_catalogue->LoadThumbnails();
        m_catalogue->ShowLoadResult();
    });

    m_context.windows->setTopMost(this, true);
    m_context.windows->setTopMost(this, false);
    // The area reaches down to the status bar, and keeps the rows the load
    // added below it: cut back, they could never be scrolled to or clicked.
    if (Twips::height(thumbnailArea) < Twips::top(statusPanels))
        Twips::setHeight(thumbnailArea, Twips::top(statusPanels));
    PlatformContext::yield();
    treeView->setFocus();
}

void MainWindow::LayOutMainWindow()
{
    // The status bar is docked to the bottom edge, so its top follows the
    // window's inner height.
    Twips::setTop(statusPanels, ScaleHeight() - Twips::height(statusPanels));
    Twips::setWidth(statusPanels, ScaleWidth());
    fileList->width = ScaleWidth() - fileList->left;
    Twips::setTop(previewPane, Twips::top(statusPanels) - Twips::height(previewPane) - 100);
    Twips::setTop(waitLabel, Twips::top(previewPane) + (Twips::height(previewPane) - Twips::height(waitLabel)) / 2);
    Twips::setHeight(treeView, Twips::top(previewPane) - 600);
    fileList->height = Twips::height(treeView) + 100;
    // The preview stays centred in its box wherever the box goes.
    if (!previewPicture->isHidden())
        CentrePreview();
}

void MainWindow::CentrePreview()
{
    Twips::setTop(previewPicture, Twips::top(previewPane) + Twips::height(previewPane) / 2 - Twips::height(previewPicture) / 2);
    Twips::setLeft(previewPicture, Twips::left(previewPane) + Twips::width(previewPane) / 2 - Twips::width(previewPicture) / 2);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (!thumbnailArea)
        return;
    Twips::setWidth(thumbnailArea, ScaleWidth() - Twips::left(thumbnailArea));
    LayOutMainWindow();
    // The scroll bar stands at the right edge, from the toolbar to the status bar.
    Twips::place(scrollBar, ScaleWidth() - ScrollBarWidth, 405, ScrollBarWidth, Twips::top(statusPanels) - 405);
    thumbnailArea->lower();
    scrollBar->raise();
    statusPanels->raise();
}

void MainWindow::OpenFavourite(int index) { m_favourites->OpenFavourite(index); }

void MainWindow::OpenSelectedPicture()
{
    if (window.SelectedIndex >= 0)
        m_selection->OpenViewer(window.SelectedIndex);
}

void MainWindow::SelectFile(const QByteArray &nativeName)
{
    const QByteArray ending = '/' + nativeName;
    const std::shared_ptr<const FileList::Listing> files = m_catalogue->shownFiles();
    for (int i = 0; i < files->count() && i < m_state.ThumbCount; ++i) {
        if (files->nativePath(i).endsWith(ending)) {
            m_selection->ThumbnailClicked(i);
            return;
        }
    }
}

void MainWindow::CancelHover()
{
    if (m_hover)
        m_hover->CancelHover();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        CancelHover();
    // A click on the main window while a box of its own holds it (the stop
    // box, a dialog) brings that box back over it: where windows float and
    // the compositor does not keep a window's own above it, the box would
    // be lost beneath.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !isEnabled()) {
        for (QWidget *other : QApplication::topLevelWidgets()) {
            const QWindow *handle = other->windowHandle();
            if (other != this && other->isVisible() && handle && handle->transientParent() == windowHandle()) {
                other->activateWindow();
                break;
            }
        }
    }
    if (event->type() == QEvent::EnabledChange && isEnabled() && m_lastFocus && m_lastFocus->isEnabled() &&
        !m_lastFocus->hasFocus())
        m_lastFocus->setFocus();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseMove || type == QEvent::HoverMove || type == QEvent::Wheel ||
        (watched == scrollBar && type == QEvent::MouseButtonPress))
        CancelHover();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    Unload();
    event->accept();
}

void MainWindow::Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // A load under way stops after the file in hand, and the other windows
    // go with this one; the program ends once the handlers that are still
    // on the stack have returned.
    if (m_gate->loading())
        m_state.StopRequest = true;
    for (QWidget *other : QApplication::topLevelWidgets())
        if (other != this && other->isVisible())
            other->hide();
    if (!m_state.TempPath.isEmpty()) {
        m_context.fileSystem.deleteFiles(m_state.TempPath + QStringLiteral("\\KRUtemp\\*.tmp"));
        m_context.fileSystem.removeFolder(m_state.TempPath + QStringLiteral("\\KRUtemp"));
    }
    m_context.endProgram(0);
}
